// The JVM updater through the real zfix.exe: the gold runtime comes back first (from the base
// release's backup, then from the JVM patcher's zip), and a failed update is reported on the
// finish page.
#include "component_test.h"
#include "zip_writer.h"

#include "resources/resource.h"

#include <algorithm>

using fixture::Contains;
using fixture::FileExists;
using fixture::ReadFile;

namespace {

const char kJvmBackup[] = "Release1451FP1\\jvm0001.IIB";

/* The gold runtime: the base release's JVM with its own class library and policy. */
std::vector<ZipMember> GoldRuntime(const std::string& baseJvm)
{
    std::vector<ZipMember> members;
    for (const std::string& f : FilesIn(baseJvm)) {
        std::string name = f, content = ReadFile(baseJvm + "\\" + f);
        if (name == "LIB\\RT.JAR")
            content = "gold core classes\r\n";
        if (name == "LIB\\SECURITY\\JAVA.POL")
            content = "gold policy\r\n";
        for (char& c : name)
            if (c == '\\')
                c = '/';
        members.push_back({name, content});
    }
    return members;
}

/* The members written as files below dir. */
void WriteMembers(const std::string& dir, const std::vector<ZipMember>& members)
{
    for (const ZipMember& m : members) {
        std::string name = m.name;
        for (char& c : name)
            if (c == '/')
                c = '\\';
        PutFile(dir + "\\" + name, m.content);
    }
}

/* A control's whole text, asked for in UTF-16: an ANSI request across processes may come back
   cut short. */
std::string ControlText(robot::Program& program, int id)
{
    wchar_t text[2048] = L"";
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(program.Dialog(), id), WM_GETTEXT, 2048, (LPARAM)text, SMTO_ABORTIFHUNG, 5000, &result);
    char ansi[4096] = "";
    WideCharToMultiByte(CP_ACP, 0, text, -1, ansi, sizeof(ansi), NULL, NULL);
    return ansi;
}

}  // namespace

// The patcher's zip holds the gold runtime: it replaces the patched runtime before the new one
// is installed (so the JVM's backup holds the gold runtime), the site's policy file is kept, and
// work folders left by an interrupted run are removed.
TEST_F(ComponentTest, JvmGoldRuntimeFromThePatcherZipComesFirst)
{
    std::string fix = Fix();
    InstallBase(1);
    const std::string jvm = program_ + "\\jvm";
    std::vector<ZipMember> gold = GoldRuntime(jvm);
    ASSERT_TRUE(WriteZip(jvm + "\\jvm_standalone_bck.zip", gold));
    PutFile(jvm + "\\lib\\rt.jar", "patched core classes\r\n");
    PutFile(jvm + "\\lib\\security\\java.pol", "the site's policy\r\n");
    PutFile(program_ + "\\jvm_old\\stale.txt", "left by an interrupted run");
    PutFile(program_ + "\\jvm_dst\\lib\\stale.txt", "left by an interrupted run");

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    ExpectSameFiles(trees_ + "\\fix\\program\\jvm", jvm);
    for (const char* gone : {"jvm_old", "jvm_dst", "java.pol.tmp"})
        EXPECT_FALSE(FileExists(program_ + "\\" + gone)) << gone;
    const std::string expected = dir_ + "\\gold";
    WriteMembers(expected + "\\jvm", gold);
    PutFile(expected + "\\jvm\\lib\\security\\java.pol", "the site's policy\r\n");
    ExpectSameFiles(expected, Unpacked(program_ + "\\" + kJvmBackup, "jvm-backup"));
    ExpectLogLines(log, {"CreateUpgradedFiles: Release1451FP1\\jvm0001.IIB does NOT exist! (this can be ok)",
                         "CreateUpgradedFiles: Restore gold JVM with backup file by JVM patcher: " + Upper(program_) +
                             "\\jvm\\jvm_standalone_bck.zip. ",
                         "CreateUpgradedFiles: Restore new JVM by JVM Patcher to gold JVM successfully. ",
                         "CreateUpgradedFiles: Calling ProcessJvm (2): canFileName = jvm\\jvm.cab"});
}

// The base release's backup of the JVM's cabinet is the gold runtime: it goes back in place
// before the new runtime is installed.
TEST_F(ComponentTest, JvmGoldRuntimeFromTheBaseReleaseBackupComesFirst)
{
    std::string fix = Fix();
    InstallBase(1);
    const std::string jvm = program_ + "\\jvm", staged = dir_ + "\\gold";
    WriteMembers(staged + "\\jvm", GoldRuntime(jvm));
    CreateDirectoryA((program_ + "\\Release1451FP1").c_str(), NULL);
    ASSERT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\cabarc.exe\" -r -p n \"" + program_ + "\\" + kJvmBackup +
                                  "\" jvm\\*",
                              staged));
    PutFile(jvm + "\\lib\\rt.jar", "patched core classes\r\n");

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    ExpectSameFiles(trees_ + "\\fix\\program\\jvm", jvm);
    ExpectSameFiles(staged, Unpacked(program_ + "\\" + kJvmBackup, "jvm-backup"));
    EXPECT_FALSE(FileExists(program_ + "\\GOLD_JVM.bak"));
    ExpectLogLines(log, {"CreateUpgradedFiles: Restore gold JVM with backup file by previous FP: Release1451FP1\\jvm0001.IIB.",
                         "CreateUpgradedFiles: Calling ProcessJvm: canTempName = GOLD_JVM.bak",
                         "CreateUpgradedFiles: " + Upper(program_) + "\\jvm\\jvm_standalone_bck.zip does NOT exist! (this may be ok)"});
}

// A JVM update that fails (its backup cannot be written: a folder holds the backup's name)
// leaves the runtime as it was and the finish page says so.
TEST_F(ComponentTest, FailedJvmUpdateWarnsOnTheFinishPage)
{
    std::string fix = Fix();
    InstallBase(1);
    CreateDirectoryA((program_ + "\\Release1451FP1").c_str(), NULL);
    ASSERT_TRUE(CreateDirectoryA((program_ + "\\" + kJvmBackup).c_str(), NULL));
    robot::Program program("\"" + fix + "\"", dir_);
    StartWizardUpgrade(program);
    WaitUpgradeResult(program);
    std::string text = ControlText(program, IDC_TEXT5);
    EXPECT_TRUE(Contains(text, "WARNING: JVM was not upgraded. Please, see UPGRADE.log and jvmpatcher.log for details."))
        << text;
    CloseAnswering(program);
    EXPECT_TRUE(Contains(fixture::TempLog() + ReadFile(program_ + "\\UPGRADE.LOG"),
                         "ProcessJvm: Failed Backing up jvm\\jvm.cab to Release1451FP1\\jvm0001.IIB ("));
    ExpectSameFiles(trees_ + "\\base\\program\\jvm", program_ + "\\jvm");
}

// A full disk: the JVM's backup cannot be written, and the runtime stays as it is. The
// installation lies on a small tmpfs that full_disk.sh mounts; elsewhere the test is skipped.
TEST_F(ComponentTest, FullDiskPackLeavesTheTreeAsItIs)
{
    const std::string disk = fixture::BinDir() + "\\..\\scratch-full";
    ULARGE_INTEGER avail, total, free;
    if (!GetDiskFreeSpaceExA((disk + "\\").c_str(), &avail, &total, &free) || total.QuadPart > 16u * 1024 * 1024)
        GTEST_SKIP() << "no small disk at " << disk << " (full_disk.sh mounts one)";
    std::string fix = Fix();
    const std::string root = disk + "\\product";
    fixture::RemoveTree(root);
    program_ = fixture::InstallProduct(root, "--files \"" + trees_ + "\\base\\program\" --data-files \"" + trees_ +
                                                 "\\base\\data\"");
    ASSERT_FALSE(program_.empty());
    // A runtime whose backup needs more room than is left: 400 KB that does not compress.
    std::string big;
    for (uint32_t x = 12345; big.size() < 400 * 1024;) {
        x = x * 1103515245u + 12345u;
        big += (char)(x >> 24);
    }
    PutFile(program_ + "\\jvm\\lib\\big.jar", big);
    const std::string before = dir_ + "\\jvm";
    fixture::CopyTree(program_ + "\\jvm", before);
    ASSERT_TRUE(GetDiskFreeSpaceExA((disk + "\\").c_str(), &avail, &total, &free));
    const uint64_t room = 160 * 1024;
    ASSERT_GT(avail.QuadPart, room);
    ASSERT_TRUE(fixture::WriteFile(disk + "\\filler", std::string((size_t)(avail.QuadPart - room), 'f')));

    RunUnattended(fix, dir_);
    std::string log = fixture::TempLog() + ReadFile(program_ + "\\UPGRADE.LOG");
    DeleteFileA((disk + "\\filler").c_str());
    EXPECT_TRUE(Contains(log, "ProcessJvm: Failed Backing up jvm\\jvm.cab to Release1451FP1\\jvm0001.IIB (")) << log;
    ExpectSameFiles(before, program_ + "\\jvm");
    fixture::RemoveProduct();
    fixture::RemoveTree(root);
}

// The runtime is replaced only by a complete one. A gold copy that cannot be copied or is no
// cabinet is passed over: the runtime stays whole, goes into the backup and gives way to the
// fix's. A patcher zip that cannot be extracted whole, or whose work folder cannot be made (a
// file holds its name), fails the upgrade before anything changed: the runtime stays as it was,
// and no member lands in the program directory.
TEST_F(ComponentTest, JvmIsReplacedOnlyByAWholeRuntime)
{
    enum Lay { GOLD_NOT_COPIED, GOLD_NO_CABINET, ZIP_DAMAGED, ZIP_WORK_FOLDER_A_FILE };
    struct Case {
        const char* what;
        Lay lay;
        bool upgraded;
    } cases[] = {{"gold copy that cannot be copied", GOLD_NOT_COPIED, true},
                 {"gold copy that is no cabinet", GOLD_NO_CABINET, true},
                 {"patcher zip with a damaged member", ZIP_DAMAGED, false},
                 {"patcher zip whose work folder is a file", ZIP_WORK_FOLDER_A_FILE, false}};
    std::string fix = Fix();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallBase(1);
        const std::string jvm = program_ + "\\jvm", label = program_ + "\\Release1451FP1";
        std::vector<ZipMember> gold = GoldRuntime(jvm);
        PutFile(jvm + "\\lib\\rt.jar", "patched core classes\r\n");
        CreateDirectoryA(label.c_str(), NULL);
        if (c.lay == GOLD_NOT_COPIED) {
            const std::string staged = dir_ + "\\gold";
            fixture::RemoveTree(staged);
            WriteMembers(staged + "\\jvm", gold);
            ASSERT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\cabarc.exe\" -r -p n \"" + program_ + "\\" +
                                          kJvmBackup + "\" jvm\\*",
                                      staged));
            ASSERT_TRUE(CreateDirectoryA((program_ + "\\GOLD_JVM.bak").c_str(), NULL));
        } else if (c.lay == GOLD_NO_CABINET) {
            ASSERT_TRUE(fixture::WriteFile(program_ + "\\" + kJvmBackup, "not a cabinet"));
        } else {
            const std::string zip = jvm + "\\jvm_standalone_bck.zip";
            ASSERT_TRUE(WriteZip(zip, gold));
            if (c.lay == ZIP_DAMAGED)
                ASSERT_TRUE(fixture::WriteFile(zip, DamagedMember(ReadFile(zip), gold.back().name)));
            else
                ASSERT_TRUE(fixture::WriteFile(program_ + "\\jvm_dst", "a file where the work folder belongs"));
        }
        const std::string before = dir_ + "\\before";
        fixture::RemoveTree(before);
        fixture::CopyTree(jvm, before);

        int code = RunUnattended(fix, dir_);
        std::string log = fixture::TempLog() + ReadFile(program_ + "\\UPGRADE.LOG");
        if (c.upgraded) {
            EXPECT_EQ(0, code) << log;
            ExpectSameFiles(trees_ + "\\fix\\program\\jvm", jvm);
            ExpectSameFiles(before, Unpacked(program_ + "\\" + kJvmBackup, "jvm-backup") + "\\jvm");
        } else {
            EXPECT_EQ(-1, code) << log;
            ExpectSameFiles(before, jvm);
            for (const ZipMember& m : gold)
                EXPECT_FALSE(FileExists(program_ + "\\" + m.name)) << m.name;
        }
        for (const char* gone : {"jvm_old", "jvm_new", "java.pol.tmp"})
            EXPECT_FALSE(FileExists(program_ + "\\" + gone)) << gone;
        fixture::RemoveProduct();
        fixture::RemoveTree(dir_ + "\\product");
    }
}
