// The upgrade engine as users meet it: fixes built by zfixbuild installed by the real zfix.exe on
// sample installations (program directory, two data directories, the system directory), unattended
// and through the wizard, compared byte for byte with the fix's trees.
#include "engine_test.h"

#include "package/explode.h"
#include "package/file_entry.h"
#include "resources/resource.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

using fixture::Contains;
using fixture::ReadFile;

namespace {

std::string ReleaseText(const std::string& programDir)
{
    std::string out = programDir + "\\currver.txt";
    DeleteFileA(out.c_str());
    fixture::Run("\"" + fixture::BinDir() + "\\UpdateVersion.exe\" \"" + programDir + "\" myversion read");
    std::string text = ReadFile(out);
    DeleteFileA(out.c_str());
    return text;
}

}  // namespace

// A hotfix with patched, replaced, added and removed files in every directory: unattended it ends
// with exit code 0, every target is the fix's file, and each old file is in the base label's
// backup directory under "%s%04d.IIB", the patched ones included.
TEST_F(EngineTest, HotfixInstallsUnattended)
{
    std::string fix = Fix("hotfix");
    InstallBase();
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    ExpectInstallationIs("fix");
    ExpectBackups(fix, false);
    ExpectNoTempFiles();
    EXPECT_EQ(kFixLabel, ReleaseText(program_));
    ExpectLogLines(log, {"UpgradeZorelVersion: Starting", "UpgradeZorelVersion: Calling CreateUpgradedFiles",
                         "UpgradeZorelVersion: Calling RenameTempFiles", "RenameTempFiles: Finished",
                         "UpgradeZorelVersion: Calling UpdateTessra64",
                         std::string("UpdateTessra64:  Upgraded version to ") + kFixLabel,
                         "UpgradeZorelVersion: Calling UpdateZorelIni", "UpgradeZorelVersion: Calling UpdatePatchInfo",
                         "UpgradeZorelVersion: Exiting with: 1", "CreateUpgradedFiles: Exiting CreateUpgradedFiles: bRtn = 1",
                         "Zorel has been successfully upgraded."});
    // A patched file's backup follows its new content, whether the loop or a thread ahead of it
    // made that content, and is made once.
    const size_t made = log.find("UpgradeFile returned SUCCESS for file nzorel.dll");
    const size_t kept = log.find("Backed up nzorel.dll to ");
    ASSERT_NE(std::string::npos, made) << log;
    ASSERT_NE(std::string::npos, kept) << log;
    EXPECT_LT(made, kept);
    EXPECT_EQ(std::string::npos, log.find("Backed up nzorel.dll to ", kept + 1));
}

// The release-string tool is started by its own path: with a TEMP whose path holds a blank, a
// program planted at the path's first word is never run by the upgrade's release-text write.
TEST_F(EngineTest, ReleaseTextIsWrittenByTheCarriedToolItself)
{
    std::string fix = Fix("hotfix");
    InstallBase();
    std::string temp = dir_ + "\\x\\my temp", planted = dir_ + "\\x\\my.exe";
    CreateDirectoryA((dir_ + "\\x").c_str(), NULL);
    CreateDirectoryA(temp.c_str(), NULL);
    ASSERT_TRUE(CopyFileA((fixture::BinDir() + "\\zplant.exe").c_str(), planted.c_str(), FALSE));
    char old[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", old, sizeof(old));
    SetEnvironmentVariableA("TEMP", temp.c_str());
    int code = RunUnattended(fix, dir_);
    SetEnvironmentVariableA("TEMP", old);
    EXPECT_EQ(0, code);
    EXPECT_FALSE(fixture::FileExists(planted + ".ran"));
    EXPECT_EQ(kFixLabel, ReleaseText(program_));
}

namespace {

/* Holds a file open with a sharing mode ("rw": no delete sharing, "rwd": with it) until released. */
class Holder {
public:
    Holder(const std::string& path, const std::string& share, const std::string& stopFile)
        : stop_(stopFile), holder_("\"" + fixture::BinDir() + "\\zhold.exe\" \"" + path + "\" " + share + " \"" + stopFile + "\"")
    {
        DeleteFileA(stop_.c_str());
        for (int i = 0; i < 250 && !Holding(path); ++i)
            Sleep(20);
    }
    void Release()
    {
        fixture::WriteFile(stop_, "stop");
        holder_.WaitExit();
    }
    ~Holder() { Release(); }

private:
    static bool Holding(const std::string& path)
    {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
        if (h == INVALID_HANDLE_VALUE)
            return true;
        CloseHandle(h);
        return false;
    }
    std::string stop_;
    robot::Program holder_;
};

/* The sample server, which keeps pomvi.dll loaded until stopFile appears. */
class Server {
public:
    Server(const std::string& programDir, const std::string& stopFile)
        : stop_(stopFile), server_("\"" + programDir + "\\HOSTRK.EXE\" \"" + stopFile + "\"", programDir)
    {
        fixture::WaitFileHeld(programDir + "\\pomvi.dll");
    }
    ~Server()
    {
        fixture::WriteFile(stop_, "stop");
        server_.WaitExit();
    }

private:
    std::string stop_;
    robot::Program server_;
};

/* The fix's program tree with the base release's strings library, for fixes that leave the library
   to the release-string tool: trees\\fix-same-strings\\program. */
void SameStringsTree(const std::string& trees)
{
    const std::string same = trees + "\\fix-same-strings";
    if (fixture::FileExists(same + "\\program\\tessra.dll"))
        return;
    fixture::RemoveTree(same);
    CreateDirectoryA(same.c_str(), NULL);
    fixture::CopyTree(trees + "\\fix\\program", same + "\\program");
    ASSERT_TRUE(CopyFileA((trees + "\\base\\program\\tessra.dll").c_str(), (same + "\\program\\tessra.dll").c_str(), FALSE));
}

/* Drives the wizard of an installed fix to its revert list, chooses the first label and, once
   beforeRevert has run, starts the revert. */
void StartWizardRevert(robot::Program& program, const std::function<void()>& beforeRevert)
{
    ASSERT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
    ToDirectoryPage(program);
    ASSERT_TRUE(program.Click(IDC_NEXT));
    WaitIdentified(program);
    ASSERT_TRUE(program.SelectListItem(IDC_LABELS, 0));
    ASSERT_TRUE(program.WaitEnabled(IDC_NEXT, true));
    beforeRevert();
    ASSERT_TRUE(program.Click(IDC_NEXT));
}

/* The name of entry n's backup copy in the label directory. */
std::string BackupCopyName(const std::string& name, uint32_t n)
{
    std::string stem = name.substr(name.find_last_of('\\') + 1);
    stem = stem.substr(0, stem.find_last_of('.'));
    char number[8];
    snprintf(number, sizeof(number), "%04u", n);
    return stem + number + ".IIB";
}

/* A run that fails waits on its failure page, also unattended: waits for it and closes. */
void ExpectFailurePage(robot::Program& program)
{
    ASSERT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
    EXPECT_TRUE(Contains(WaitUpgradeResult(program), "Failed to upgrade Zorel.")) << fixture::TempLog();
    ASSERT_TRUE(program.Click(IDCANCEL));
    EXPECT_EQ(1, program.WaitExit(30000));  /* the failure, also when the page is closed by hand */
}

/* Every file of the installation, by path, for comparing before and after a failed run. */
std::map<std::string, std::string> Snapshot(const std::string& root)
{
    std::map<std::string, std::string> files;
    std::function<void(const std::string&)> walk = [&](const std::string& dir) {
        fixture::ForEachEntry(dir, [&](const std::string& name, bool isDir) {
            if (isDir)
                walk(dir + "\\" + name);
            else
                files[dir + "\\" + name] = ReadFile(dir + "\\" + name);
        });
    };
    walk(root);
    return files;
}

}  // namespace

// Through the wizard while the sample server has pomvi.dll loaded: the library is moved to its ".hf"
// name and the new one installed without a message box; the finish page shows string 36.
TEST_F(EngineTest, HotfixInstallsThroughTheWizardBesideARunningServer)
{
    std::string fix = Fix("hotfix");
    InstallBase();
    std::string original = ReadFile(program_ + "\\pomvi.dll");
    std::unique_ptr<Server> server;
    robot::Program program("\"" + fix + "\"", dir_);
    // The installer refuses to start (and to verify) beside a running product: the server comes after.
    StartWizardUpgrade(program, [&] { server.reset(new Server(program_, dir_ + "\\stop")); });
    EXPECT_EQ("Congratulations, you have successfully upgraded this product.", WaitUpgradeResult(program));
    robot::MessageBoxInfo box;
    EXPECT_FALSE(program.WaitMessageBox(&box, 200)) << box.text;
    ASSERT_TRUE(program.Click(IDCANCEL));
    EXPECT_EQ(0, program.WaitExit());
    server.reset();
    EXPECT_TRUE(ReadFile(program_ + "\\pomvi.dll.hf") == original);
    DeleteFileA((program_ + "\\pomvi.dll.hf").c_str());
    ExpectInstallationIs("fix");
    ExpectBackups(fix, false);
    ExpectNoTempFiles();
    ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG"),
                   {"RenameTempFiles: Successfully renamed pomvi.dll to pomvi.dll.hf", "Renamed UPTMP0003.TMP to pomvi.dll."});
}

// A plain fix keeps each backup beside its file; a fixpack also keeps tessra.dll in its backup
// directory.
TEST_F(EngineTest, PlainFixAndFixpackKeepTheirBackups)
{
    for (const char* kind : {"plain", "fixpack"}) {
        SCOPED_TRACE(kind);
        fixture::RemoveProduct();
        fixture::RemoveTree(dir_ + "\\product");
        std::string fix = Fix(kind);
        InstallBase();
        std::string strings = ReadFile(program_ + "\\tessra.dll");
        ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
        ExpectInstallationIs("fix");
        ExpectNoTempFiles();
        if (std::string(kind) == "plain") {
            ExpectBackups(fix, true);
            EXPECT_FALSE(fixture::FileExists(program_ + "\\" + kLabelDir));
        } else {
            ExpectBackups(fix, false);
            EXPECT_TRUE(ReadFile(program_ + "\\" + kLabelDir + "\\tessra.dll") == ReadFile(program_ + "\\tessra.dll"));
            ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG"), {"UpgradeZorelVersion: Calling CopyFiles"});
        }
    }
}

// A file held open without delete sharing can be neither replaced nor renamed: the box comes, OK
// tries again, Cancel ends the commit with the failure page and the file is as it was. A patched
// file (still in place at the commit) held with delete sharing, where a removal would only mark it
// and take whatever holds the name later with it, ends with the new content in place.
TEST_F(EngineTest, HeldFilesAskTheUserOrEndWithTheNewContent)
{
    std::string fix = Fix("hotfix");
    InstallBase();
    const std::string held = program_ + "\\sig\\nzorel.sf";
    const std::string before = ReadFile(held);
    {
        Holder holder(held, "rw", dir_ + "\\release");
        robot::Program program("\"" + fix + "\" nouser", dir_);
        robot::MessageBoxInfo box;
        for (int answer : {IDOK, IDCANCEL}) {
            ASSERT_TRUE(program.WaitMessageBox(&box, 60000)) << fixture::TempLog();
            EXPECT_EQ("Error", box.caption);
            EXPECT_EQ("Can't rename old sig\\nzorel.sf: access problem", box.text);
            program.Answer(box, answer);
        }
        ExpectFailurePage(program);
        holder.Release();
        EXPECT_TRUE(ReadFile(held) == before);
        ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG"), {"Failed to remove src file sig\\nzorel.sf.",
                                            "UpgradeZorelVersion: ERROR: Failed to RenameTempFiles()"});
    }
    fixture::RemoveProduct();
    fixture::RemoveTree(dir_ + "\\product");
    InstallBase();
    const std::string patched = program_ + "\\nzorel.dll";
    {
        Holder holder(patched, "rwd", dir_ + "\\release2");
        EXPECT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    }
    EXPECT_TRUE(ReadFile(patched) == ReadFile(trees_ + "\\fix\\program\\nzorel.dll"));
    // The name cannot be replaced while it is held; moved aside, the old content stays whole too.
    ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG"), {"RenameTempFiles: Successfully renamed nzorel.dll to nzorel.dll.hf"});
    EXPECT_TRUE(ReadFile(patched + ".hf") == ReadFile(trees_ + "\\base\\program\\nzorel.dll"));
    ExpectInstallationIs("fix");
    ExpectNoTempFiles();
}

// A patched file that cannot be read when its new content is made (held without read sharing, but
// with delete sharing) stops the run before anything is committed, a plain fix's run too, which no
// undo would put back.
TEST_F(EngineTest, PatchedFileUnreadableAtTheUpgradeStaysAsItIs)
{
    for (const char* kind : {"hotfix", "plain"}) {
        SCOPED_TRACE(kind);
        std::string fix = Fix(kind);
        ASSERT_EQ(zfix::FE_PATCH, FilesOf(fix)["nzorel.dll"].operation);
        fixture::RemoveTree(dir_ + "\\product");
        InstallBase();
        const std::string patched = program_ + "\\nzorel.dll";
        const std::string before = ReadFile(patched);
        {
            std::unique_ptr<Holder> holder;
            robot::Program program("\"" + fix + "\"", dir_);
            StartWizardUpgrade(program, [&] { holder.reset(new Holder(patched, "d", dir_ + "\\release")); });
            ExpectFailurePage(program);
        }
        EXPECT_TRUE(ReadFile(patched) == before);
        std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
        ExpectLogLines(log, {"Failed to open the src file nzorel.dll. Skipping.",
                             "UpgradeZorelVersion: ERROR: Failed to CreateUpgradedFiles() "});
        EXPECT_TRUE(Contains(log, "CreateUpgradedFiles: ERROR: nzorel.dll is there but cannot be read")) << log;
        EXPECT_FALSE(Contains(log, "RenameTempFiles: Starting")) << log;
        ExpectInstallationIs("base");
        ExpectNoTempFiles();
    }
}

// A patched file that the installation does not have is skipped: it stays absent, every other file
// is installed and the run succeeds; the revert leaves it absent too.
TEST_F(EngineTest, PatchedFileTheInstallationLacksStaysAbsent)
{
    for (const char* kind : {"hotfix", "plain"}) {
        SCOPED_TRACE(kind);
        std::string fix = Fix(kind);
        ASSERT_EQ(zfix::FE_PATCH, FilesOf(fix)["nzorel.dll"].operation);
        fixture::RemoveTree(dir_ + "\\product");
        InstallBase();
        const std::string patched = program_ + "\\nzorel.dll";
        ASSERT_TRUE(DeleteFileA(patched.c_str()));
        ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
        ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG"),
                       {"Failed to open the src file nzorel.dll. Skipping.", "UpgradeZorelVersion: Exiting with: 1"});
        EXPECT_FALSE(fixture::FileExists(patched));
        ExpectInstallationIs("fix", "nzorel.dll");
        ExpectNoTempFiles();
        // A plain fix run again on its installation reverts it.
        const std::string arguments = std::string(kind) == "plain" ? "nouser" : "nouser revert Release 14.5.1FP1";
        ASSERT_EQ(0, RunUnattended(fix, dir_, arguments)) << fixture::TempLog();
        EXPECT_TRUE(Contains(ReadFile(program_ + "\\UPGRADE.LOG"), "CreateUpgradedFiles: giMode is REVERT"));
        EXPECT_FALSE(fixture::FileExists(patched));
        EXPECT_EQ(kBaseLabel, ReleaseText(program_));
        ExpectNoTempFiles();
    }
}

// A release text that the carried tool cannot write (the strings library held without delete
// sharing, in a fix that leaves the library to the tool) fails the run instead of reporting
// success over the old text: the failure page, exit code 1, and the run undone.
TEST_F(EngineTest, ReleaseTextThatCannotBeWrittenFailsTheRun)
{
    SameStringsTree(trees_);
    const std::string fix = FixOf("fix-same-strings", "hotfix", kFixLabel, "fix-same-strings\\program");
    EXPECT_EQ(0u, FilesOf(fix).count("tessra.dll"));
    InstallBase();
    const std::string strings = program_ + "\\tessra.dll";
    const std::string before = ReadFile(strings);
    {
        // Held once identified: a held library keeps the installer from starting at all.
        std::unique_ptr<Holder> holder;
        robot::Program program("\"" + fix + "\"", dir_);
        StartWizardUpgrade(program, [&] { holder.reset(new Holder(strings, "read", dir_ + "\\release")); });
        ExpectFailurePage(program);
    }
    EXPECT_TRUE(ReadFile(strings) == before);
    EXPECT_EQ(kBaseLabel, ReleaseText(program_));
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    EXPECT_TRUE(Contains(log, "UpdateVersion.exe ended with exit code 1: the release text is not written")) << log;
    EXPECT_FALSE(Contains(log, "UpdateTessra64:  Upgraded version to")) << log;
    ExpectInstallationIs("base");
    ExpectNoTempFiles();
}

// A replaced file whose carried bytes differ from its recorded checksum fails the run at its final
// checksum: nothing is committed, and every installed file is in its place or, byte for byte, in
// its backup copy.
TEST_F(EngineTest, DamagedPayloadFailsBeforeTheCommit)
{
    std::string fix = Fix("hotfix");
    std::map<std::string, FixFile> files = FilesOf(fix);
    const FixFile& conf = files["zfixeng_conf.dat"];
    ASSERT_EQ(zfix::FE_REPLACE, conf.operation);
    std::string damaged = ReadFile(trees_ + "\\fix\\system\\zfixeng_conf.dat");
    damaged[100] ^= 1;
    std::string edited = WithPayload(fix, (int)conf.entry, damaged);
    InstallBase();
    std::map<std::string, std::string> program = Snapshot(program_);
    {
        robot::Program run("\"" + edited + "\" nouser", dir_);
        ExpectFailurePage(run);
    }
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    EXPECT_TRUE(Contains(log, "New file (UPTMP" + std::string(conf.entry < 10 ? "000" : "00") +
                                  std::to_string(conf.entry) + ".TMP) failed at final checksum."))
        << log;
    EXPECT_FALSE(Contains(log, "RenameTempFiles: Starting"));
    // Program files: each in its place or in its backup copy.
    for (const auto& f : program) {
        std::string rel = f.first.substr(program_.size() + 1);
        if (fixture::FileExists(f.first) && ReadFile(f.first) == f.second)
            continue;
        const auto& entry = files.find(rel);
        ASSERT_TRUE(entry != files.end()) << "changed: " << rel;
        std::string stem = rel.substr(rel.find_last_of('\\') + 1);
        stem = stem.substr(0, stem.find_last_of('.'));
        char number[8];
        snprintf(number, sizeof(number), "%04u", entry->second.entry);
        EXPECT_TRUE(ReadFile(program_ + "\\" + kLabelDir + "\\" + stem + number + ".IIB") == f.second) << rel;
    }
    // The system file whose payload was damaged is in its backup copy.
    EXPECT_TRUE(ReadFile(program_ + "\\" + kLabelDir + "\\zfixeng_conf" + (conf.entry < 10 ? "000" : "00") +
                         std::to_string(conf.entry) + ".IIB") == ReadFile(trees_ + "\\base\\system\\zfixeng_conf.dat"));
}

// An installed file that changes after verification is not the one the patch starts from: the run
// fails before the commit and the file stays as it is (an empty temporary file would have removed
// it without a backup).
TEST_F(EngineTest, FileChangedAfterVerificationFailsTheRun)
{
    std::string fix = Fix("hotfix");
    InstallBase();
    const std::string changed = "changed by hand after verification";
    robot::Program program("\"" + fix + "\"", dir_);
    StartWizardUpgrade(program, [&] { ASSERT_TRUE(fixture::WriteFile(program_ + "\\nzorel.dll", changed)); });
    EXPECT_TRUE(Contains(WaitUpgradeResult(program), "Failed to upgrade Zorel."));
    ASSERT_TRUE(program.Click(IDCANCEL));
    EXPECT_EQ(1, program.WaitExit());
    EXPECT_EQ(changed, ReadFile(program_ + "\\nzorel.dll"));
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    ExpectLogLines(log, {"UpgradeFile: original version or size is different for nzorel.dll",
                         "CreateUpgradedFiles: UpgradeFile returned ERROR for file nzorel.dll", "Failed",
                         "UpgradeZorelVersion: ERROR: Failed to CreateUpgradedFiles() "});
    EXPECT_FALSE(Contains(log, "RenameTempFiles: Starting"));
}

// The revert of an installed hotfix brings the base release back file by file (patched files
// through the patch, replaced and removed ones from their backups, added ones removed). A patched
// file changed after the revert was verified fails that revert before its commit, unchanged.
TEST_F(EngineTest, HotfixRevertsAndRefusesAFileChangedOnTheWay)
{
    std::string fix = Fix("hotfix");
    InstallBase();
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    {
        robot::Program run("\"" + fix + "\" nouser revert Release 14.5.1FP1", dir_);
        ASSERT_EQ(0, run.WaitExit(120000)) << fixture::TempLog();
    }
    // tessra.dll comes back from its backup and is then rewritten with the same release text.
    ExpectInstallationIs("base", "tessra.dll");
    ExpectNoTempFiles();
    EXPECT_EQ(kBaseLabel, ReleaseText(program_));

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectInstallationIs("fix");
    const std::string changed = "changed by hand during the revert";
    robot::Program program("\"" + fix + "\"", dir_);
    ASSERT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
    ToDirectoryPage(program);
    ASSERT_TRUE(program.Click(IDC_NEXT));
    WaitIdentified(program);
    ASSERT_TRUE(program.SelectListItem(IDC_LABELS, 0));
    ASSERT_TRUE(program.WaitEnabled(IDC_NEXT, true));
    ASSERT_TRUE(fixture::WriteFile(program_ + "\\nzorel.dll", changed));
    ASSERT_TRUE(program.Click(IDC_NEXT));
    EXPECT_TRUE(Contains(WaitUpgradeResult(program), "Failed to upgrade Zorel."));
    ASSERT_TRUE(program.Click(IDCANCEL));
    EXPECT_EQ(1, program.WaitExit());
    EXPECT_EQ(changed, ReadFile(program_ + "\\nzorel.dll"));
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    EXPECT_TRUE(Contains(log, "RevertFile: fixed version or size is different for nzorel.dll")) << log;
    ExpectLogLines(log, {"CreateUpgradedFiles: RevertFile returned ERROR for file nzorel.dll", "Failed"});
    // Nothing of that run was committed.
    EXPECT_FALSE(Contains(log.substr(log.rfind("RevertFile returned ERROR")), "RenameTempFiles: Starting"));
}

namespace {

/* Bytes that no patch can describe more briefly than themselves. */
std::string Noise(uint32_t seed, size_t n)
{
    std::string s(n, '\0');
    for (char& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = (char)(seed >> 16);
    }
    return s;
}

/* An implode stream written without the project's encoder: binary literals only, then the end
   marker (length code 15, all seven code bits 0, with its eight extra bits set: length 519).
   Any valid stream is a payload, not only the builder's choice of matches. */
std::string LiteralOnlyImplode(const std::string& data)
{
    std::string out = {'\0', '\6'};  // binary literals, a 4 KB window
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t value, int n) {
        bits |= value << count;
        for (count += n; count >= 8; count -= 8, bits >>= 8)
            out += (char)(bits & 0xFF);
    };
    for (unsigned char c : data) {
        put(0, 1);
        put(c, 8);
    }
    put(1, 1);
    put(0, 7);
    put(0xFF, 8);
    if (count > 0)
        out += (char)(bits & 0xFF);
    return out;
}

/* The decompressed payload of FILEENTRY/n's UPDATE resource. */
std::string Payload(const std::string& fix, int n)
{
    std::string res;
    HMODULE module = LoadLibraryExA(fix.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module) {
        HRSRC h = FindResourceExA(module, "UPDATE", MAKEINTRESOURCEA(n), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        if (h)
            res.assign((const char*)LockResource(LoadResource(module, h)), SizeofResource(module, h));
        FreeLibrary(module);
    }
    if (res.size() < 4)
        return std::string();
    std::string out((uint8_t)res[0] | (uint8_t)res[1] << 8 | (uint8_t)res[2] << 16 | (uint32_t)(uint8_t)res[3] << 24, '\0');
    size_t written = 0;
    zfix::ExplodeToBuffer(res.data() + 4, res.size() - 4, &out[0], out.size(), &written);
    out.resize(written);
    return out;
}

/* Whether a patch stream holds a region that writes old bytes only (upgrade: a pure deletion) or
   new bytes only (a pure insertion). */
bool HasPureRegion(const std::string& stream, bool deletion)
{
    for (size_t at = 0; at + zfix::PATCHRECORD_HEAD_SIZE <= stream.size();) {
        auto le32 = [&](size_t i) {
            return (uint32_t)(uint8_t)stream[at + i] | (uint32_t)(uint8_t)stream[at + i + 1] << 8 |
                   (uint32_t)(uint8_t)stream[at + i + 2] << 16 | (uint32_t)(uint8_t)stream[at + i + 3] << 24;
        };
        uint32_t oldLength = le32(12), newLength = le32(16);
        if (deletion ? (oldLength > 0 && newLength == 0) : (oldLength == 0 && newLength > 0))
            return true;
        at += zfix::PATCHRECORD_HEAD_SIZE + std::max(oldLength, newLength);
    }
    return false;
}

}  // namespace

// Patches whose regions only insert or only delete bytes: such a region writes nothing on the
// upgrade (a deletion) or on the revert (an insertion), and the temporary file's checksum must
// still count every byte before and after it. A stretch inserted into nzorel.dll and one taken out
// of pomvi.dll install unattended through the temporary files a plain fix writes, and a hotfix
// reverts them to the base bytes through the revert's temporary files; with the builder's payloads
// and with the same patch streams in literal-only implode streams of another encoder.
TEST_F(EngineTest, PatchesThatOnlyInsertOrOnlyDeleteInstallAndRevert)
{
    const std::string target = trees_ + "\\edges\\program";
    if (!fixture::FileExists(target + "\\pomvi.dll")) {
        CreateDirectoryA((trees_ + "\\edges").c_str(), NULL);
        fixture::CopyTree(trees_ + "\\fix\\program", target);
        std::string inserted = ReadFile(trees_ + "\\base\\program\\nzorel.dll");
        inserted.insert(inserted.size() / 2, Noise(7, 700));
        ASSERT_TRUE(fixture::WriteFile(target + "\\nzorel.dll", inserted));
        std::string removed = ReadFile(trees_ + "\\base\\program\\pomvi.dll");
        ASSERT_GT(removed.size(), 4000u);
        removed.erase(removed.size() / 2, 700);
        ASSERT_TRUE(fixture::WriteFile(target + "\\pomvi.dll", removed));
    }
    for (const char* kind : {"plain", "hotfix"}) {
        const std::string fix = FixOf(std::string("edges-") + kind, kind, kFixLabel, "edges\\program");
        std::map<std::string, FixFile> files = FilesOf(fix);
        const int insertion = (int)files["nzorel.dll"].entry, deletion = (int)files["pomvi.dll"].entry;
        ASSERT_EQ(zfix::FE_PATCH, files["nzorel.dll"].operation);
        ASSERT_EQ(zfix::FE_PATCH, files["pomvi.dll"].operation);
        const std::string inserting = Payload(fix, insertion), deleting = Payload(fix, deletion);
        ASSERT_TRUE(HasPureRegion(inserting, false));
        ASSERT_TRUE(HasPureRegion(deleting, true));

        // The same patch streams, compressed by the literal-only encoder.
        const std::string crafted = trees_ + "\\edges-" + kind + "-crafted.exe";
        ASSERT_TRUE(CopyFileA(fix.c_str(), crafted.c_str(), FALSE));
        HANDLE hUpdate = BeginUpdateResourceA(crafted.c_str(), FALSE);
        ASSERT_TRUE(hUpdate != NULL);
        for (const auto& p : {std::make_pair(insertion, inserting), std::make_pair(deletion, deleting)}) {
            const uint32_t n = (uint32_t)p.second.size();
            std::string res = std::string{(char)n, (char)(n >> 8), (char)(n >> 16), (char)(n >> 24)} + LiteralOnlyImplode(p.second);
            ASSERT_TRUE(UpdateResourceA(hUpdate, "UPDATE", MAKEINTRESOURCEA(p.first), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                        &res[0], (DWORD)res.size()));
        }
        ASSERT_TRUE(EndUpdateResourceA(hUpdate, FALSE));

        for (const std::string& f : {fix, crafted}) {
            SCOPED_TRACE(f);
            InstallBase();
            ASSERT_EQ(0, RunUnattended(f, dir_)) << fixture::TempLog();
            for (const char* name : {"\\nzorel.dll", "\\pomvi.dll"})
                EXPECT_TRUE(ReadFile(target + name) == ReadFile(program_ + name)) << name;
            EXPECT_FALSE(Contains(ReadFile(program_ + "\\UPGRADE.LOG"), "failed at final checksum"));
            if (std::string(kind) == "hotfix") {
                ASSERT_EQ(0, RunUnattended(f, dir_, "nouser revert Release 14.5.1FP1")) << fixture::TempLog();
                for (const char* name : {"\\nzorel.dll", "\\pomvi.dll"})
                    EXPECT_TRUE(ReadFile(trees_ + "\\base\\program" + name) == ReadFile(program_ + name)) << name;
            }
            ExpectNoTempFiles();
            fixture::RemoveProduct();
            fixture::RemoveTree(dir_ + "\\product");
        }
    }
}

// A backup that cannot be moved to its temporary file on revert (held without delete sharing) fails
// the revert before its commit: the installed file is not removed with no content to follow it, the
// backup stays, and the fix run again once the backup is free completes the revert.
TEST_F(EngineTest, RevertWhoseBackupCannotBeMovedFailsAndIsCompletedLater)
{
    std::string fix = Fix("hotfix");
    std::string replaced;
    FixFile entry;
    for (const auto& f : FilesOf(fix))
        if (f.second.operation == zfix::FE_REPLACE && zfix::EffectiveDir(f.second.dir) == zfix::DIR_PROGRAM &&
            f.first != "tessra.dll" &&
            fixture::FileExists(trees_ + "\\base\\program\\" + f.first)) {
            replaced = f.first;
            entry = f.second;
        }
    ASSERT_FALSE(replaced.empty());
    InstallBase();
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    const std::string target = program_ + "\\" + replaced;
    const std::string backup = program_ + "\\" + kLabelDir + "\\" + BackupCopyName(replaced, entry.entry);
    const std::string installed = ReadFile(target);
    {
        std::unique_ptr<Holder> holder;
        robot::Program program("\"" + fix + "\"", dir_);
        StartWizardRevert(program, [&] { holder.reset(new Holder(backup, "rw", dir_ + "\\release")); });
        ExpectFailurePage(program);
    }
    // The revert stopped before its commit.
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    const size_t refused = log.rfind("CreateUpgradedFiles: ERROR: Failed Restoring " + std::string(kLabelDir) + "\\" +
                                     BackupCopyName(replaced, entry.entry));
    ASSERT_NE(std::string::npos, refused) << log;
    EXPECT_FALSE(Contains(log.substr(refused), "RenameTempFiles: Starting")) << log;
    ASSERT_TRUE(fixture::FileExists(target));
    EXPECT_TRUE(ReadFile(target) == installed);
    EXPECT_TRUE(fixture::FileExists(backup));

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    EXPECT_TRUE(Contains(ReadFile(program_ + "\\UPGRADE.LOG"), "CompleteInterruptedRevert: The installation is back at"));
    ExpectInstallationIs("base", "tessra.dll");
    EXPECT_EQ(kBaseLabel, ReleaseText(program_));
    ExpectNoTempFiles();
}

// A temporary file an earlier run left is never what the commit puts in place: a file the upgrade
// removes stays removed, and a file the fix added goes on revert.
TEST_F(EngineTest, TemporaryFilesOfAnEarlierRunAreNotCommitted)
{
    std::string fix = Fix("hotfix");
    std::string removed, added;
    uint32_t removedEntry = 0, addedEntry = 0;
    for (const auto& f : FilesOf(fix)) {
        if (f.second.dir != zfix::DIR_PROGRAM && f.second.dir != 0)
            continue;
        if (f.second.operation == zfix::FE_REMOVE) {
            removed = f.first;
            removedEntry = f.second.entry;
        } else if (f.second.operation == zfix::FE_REPLACE && !fixture::FileExists(trees_ + "\\base\\program\\" + f.first)) {
            added = f.first;
            addedEntry = f.second.entry;
        }
    }
    ASSERT_FALSE(removed.empty());
    ASSERT_FALSE(added.empty());
    auto plant = [&](uint32_t n) {
        char name[32];
        snprintf(name, sizeof(name), "\\UPTMP%04u.TMP", n);
        ASSERT_TRUE(fixture::WriteFile(program_ + name, "left by an earlier run"));
    };
    InstallBase();
    plant(removedEntry);
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    EXPECT_FALSE(fixture::FileExists(program_ + "\\" + removed));
    ExpectInstallationIs("fix");
    ExpectNoTempFiles();

    plant(addedEntry);
    robot::Program run("\"" + fix + "\" nouser revert Release 14.5.1FP1", dir_);
    ASSERT_EQ(0, run.WaitExit(120000)) << fixture::TempLog();
    EXPECT_FALSE(fixture::FileExists(program_ + "\\" + added));
    ExpectInstallationIs("base", "tessra.dll");
    ExpectNoTempFiles();
}

// The revert of a fixpack whose strings library cannot be written back (held against writing) fails
// and keeps the base release's library in the backup directory, its only copy; the fix run again
// once the library is free completes the revert with it.
TEST_F(EngineTest, FixpackRevertKeepsTheStringsLibraryItCouldNotPutBack)
{
    SameStringsTree(trees_);
    const std::string fix = FixOf("fixpack-same-strings", "fixpack", kFixLabel, "fix-same-strings\\program");
    EXPECT_EQ(0u, FilesOf(fix).count("tessra.dll"));
    InstallBase();
    const std::string strings = program_ + "\\tessra.dll";
    const std::string base = ReadFile(strings);
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    const std::string kept = program_ + "\\" + kLabelDir + "\\tessra.dll";
    ASSERT_TRUE(ReadFile(kept) == base);
    {
        std::unique_ptr<Holder> holder;
        robot::Program program("\"" + fix + "\"", dir_);
        StartWizardRevert(program, [&] { holder.reset(new Holder(strings, "read", dir_ + "\\release")); });
        ExpectFailurePage(program);
    }
    EXPECT_TRUE(Contains(ReadFile(program_ + "\\UPGRADE.LOG"), "UpgradeZorelVersion: ERROR: Couldn't copy "));
    EXPECT_TRUE(fixture::FileExists(kept) && ReadFile(kept) == base);

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    EXPECT_TRUE(ReadFile(strings) == base);
    EXPECT_EQ(kBaseLabel, ReleaseText(program_));
    ExpectInstallationIs("base", "tessra.dll");
}

// A data directory's files come back as that data directory had them, not as the first one had
// them: templates that the second data directory holds in versions of its own are its own again
// after the undo of a run that failed after its commit, and after a revert; the first data
// directory's are the base release's. Between the upgrade (unattended or through the wizard) and
// the revert, each data directory holds its own copy of every file the fix patches, replaces or
// removes there; the revert takes them back.
TEST_F(EngineTest, EachDataDirectoryGetsItsOwnFilesBack)
{
    SameStringsTree(trees_);
    const std::string fix = FixOf("fix-same-strings", "hotfix", kFixLabel, "fix-same-strings\\program");
    std::map<std::string, FixFile> files = FilesOf(fix);
    ASSERT_EQ(zfix::FE_PATCH, files["templates\\report.tpl"].operation);
    ASSERT_EQ(zfix::FE_REPLACE, files["templates\\other.tpl"].operation);
    ASSERT_EQ(zfix::FE_REMOVE, files["templates\\gone.tpl"].operation);
    for (const std::string how : {"undo", "revert", "wizard upgrade, revert"}) {
        SCOPED_TRACE(how);
        fixture::RemoveProduct();
        fixture::RemoveTree(dir_ + "\\product");
        InstallBase();
        const std::string second = dir_ + "\\product\\DATA2\\templates\\";
        for (const char* name : {"other.tpl", "gone.tpl"})
            ASSERT_TRUE(fixture::WriteFile(second + name, std::string("the second data directory's own ") + name));
        std::map<std::string, std::string> had, copies;  /* each data directory's file, its own copy */
        for (const char* data : {"DATA1", "DATA2"})
            for (const char* name : {"report.tpl", "other.tpl", "gone.tpl"}) {
                const std::string file = std::string("templates\\") + name, at = dir_ + "\\product\\" + data + "\\";
                had[at + file] = ReadFile(at + file);
                copies[at + kLabelDir + "\\" + BackupCopyName(file, files[file].entry)] = had[at + file];
            }
        if (how == "undo") {
            std::unique_ptr<Holder> holder;
            robot::Program program("\"" + fix + "\"", dir_);
            StartWizardUpgrade(program, [&] { holder.reset(new Holder(program_ + "\\tessra.dll", "read", dir_ + "\\release")); });
            ExpectFailurePage(program);
            EXPECT_TRUE(Contains(ReadFile(program_ + "\\UPGRADE.LOG"), "RenameTempFiles: Finished"));
        } else {
            if (how == "revert") {
                ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
            } else {
                robot::Program program("\"" + fix + "\"", dir_);
                StartWizardUpgrade(program);
                EXPECT_EQ("Congratulations, you have successfully upgraded this product.", WaitUpgradeResult(program));
                ASSERT_TRUE(program.Click(IDCANCEL));
                ASSERT_EQ(0, program.WaitExit());
            }
            for (const auto& copy : copies) {
                EXPECT_TRUE(fixture::FileExists(copy.first)) << "no copy of its own: " << copy.first;
                EXPECT_TRUE(ReadFile(copy.first) == copy.second) << copy.first;
            }
            ASSERT_EQ(0, RunUnattended(fix, dir_, "nouser revert Release 14.5.1FP1")) << fixture::TempLog();
            for (const auto& copy : copies)
                EXPECT_FALSE(fixture::FileExists(copy.first)) << "left: " << copy.first;
        }
        for (const auto& file : had)
            EXPECT_TRUE(ReadFile(file.first) == file.second) << file.first;
        for (const char* name : {"other.tpl", "gone.tpl"})
            EXPECT_TRUE(ReadFile(trees_ + "\\base\\data\\templates\\" + name) ==
                        ReadFile(dir_ + "\\product\\DATA1\\templates\\" + name)) << name;
        EXPECT_FALSE(fixture::FileExists(second + "added.tpl"));
        ExpectNoTempFiles();
    }
}

namespace {

/* A library the fix brings with another build timestamp than the installation's. */
const char kStampedLibrary[] = "zorel_20260921-1234.jar";
const char kInstalledLibrary[] = "zorel_20250101-0000.jar";

/* trees\\stamped-FROM\\program: the program tree FROM ("fix" or "fix-same-strings") with the
   library as the fix built it. */
void StampedTree(const std::string& trees, const std::string& from)
{
    const std::string tree = trees + "\\stamped-" + from + "\\program";
    if (fixture::FileExists(tree + "\\" + kStampedLibrary))
        return;
    fixture::RemoveTree(trees + "\\stamped-" + from);
    CreateDirectoryA((trees + "\\stamped-" + from).c_str(), NULL);
    fixture::CopyTree(trees + "\\" + from + "\\program", tree);
    ASSERT_TRUE(fixture::WriteFile(tree + "\\" + kStampedLibrary, "the library as the fix built it"));
}

}  // namespace

// A library that the upgrade finds by its time-stamped name (the fix brings it with another build
// timestamp) is back under its own name after the undo of a hotfix run that failed after its
// commit, and after the revert of a hotfix and of a plain fix; the fix's library is gone.
TEST_F(EngineTest, FileFoundByItsTimestampedNameComesBack)
{
    SameStringsTree(trees_);
    const std::string library = kStampedLibrary, installed = kInstalledLibrary;
    for (const char* from : {"fix", "fix-same-strings"})
        StampedTree(trees_, from);
    struct Case {
        const char* kind;
        const char* how;
    } cases[] = {{"hotfix", "undo"}, {"hotfix", "revert"}, {"plain", "revert"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.how);
        const bool undo = std::string(c.how) == "undo";
        const std::string name = std::string("stamped-") + (undo ? "fix-same-strings" : "fix");
        const std::string fix = FixOf(name + "-" + c.kind, c.kind, kFixLabel, name + "\\program");
        fixture::RemoveProduct();
        fixture::RemoveTree(dir_ + "\\product");
        InstallBase();
        ASSERT_TRUE(fixture::WriteFile(program_ + "\\" + installed, "the library as the base release built it"));
        if (undo) {
            std::unique_ptr<Holder> holder;
            robot::Program program("\"" + fix + "\"", dir_);
            StartWizardUpgrade(program, [&] { holder.reset(new Holder(program_ + "\\tessra.dll", "read", dir_ + "\\release")); });
            ExpectFailurePage(program);
            EXPECT_TRUE(Contains(ReadFile(program_ + "\\UPGRADE.LOG"), "RenameTempFiles: Finished"));
        } else {
            ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
            EXPECT_TRUE(ReadFile(program_ + "\\" + library) == "the library as the fix built it");
            EXPECT_FALSE(fixture::FileExists(program_ + "\\" + installed));
            const std::string arguments = std::string(c.kind) == "plain" ? "nouser" : "nouser revert Release 14.5.1FP1";
            ASSERT_EQ(0, RunUnattended(fix, dir_, arguments)) << fixture::TempLog();
        }
        EXPECT_TRUE(ReadFile(program_ + "\\" + installed) == "the library as the base release built it");
        EXPECT_FALSE(fixture::FileExists(program_ + "\\" + library));
        ExpectNoTempFiles();
    }
}

// A revert that stops before the library the upgrade found by its time-stamped name (a backup of
// an earlier entry held without delete sharing) is completed by the next run with that library
// back under its own name, before the backup directory that holds it goes; the fix's library is
// gone.
TEST_F(EngineTest, StoppedRevertIsCompletedWithTheFileFoundByItsTimestampedName)
{
    StampedTree(trees_, "fix");
    const std::string fix = FixOf("stamped-fix-hotfix", "hotfix", kFixLabel, "stamped-fix\\program");
    std::map<std::string, FixFile> files = FilesOf(fix);
    const uint32_t library = files[kStampedLibrary].entry;
    ASSERT_NE(0u, library);
    std::string held;
    FixFile entry;
    for (const auto& f : files)
        if (f.second.operation == zfix::FE_REPLACE && zfix::EffectiveDir(f.second.dir) == zfix::DIR_PROGRAM &&
            f.second.entry < library && f.first != "tessra.dll" && fixture::FileExists(trees_ + "\\base\\program\\" + f.first)) {
            held = f.first;
            entry = f.second;
        }
    ASSERT_FALSE(held.empty()) << "no replaced file before entry " << library;
    InstallBase();
    const std::string installed = program_ + "\\" + kInstalledLibrary;
    ASSERT_TRUE(fixture::WriteFile(installed, "the library as the base release built it"));
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ASSERT_FALSE(fixture::FileExists(installed));
    const std::string backup = program_ + "\\" + kLabelDir + "\\" + BackupCopyName(held, entry.entry);
    {
        std::unique_ptr<Holder> holder;
        robot::Program program("\"" + fix + "\"", dir_);
        StartWizardRevert(program, [&] { holder.reset(new Holder(backup, "rw", dir_ + "\\release")); });
        ExpectFailurePage(program);
    }
    // The revert stopped before the library's entry.
    ASSERT_FALSE(fixture::FileExists(installed)) << ReadFile(program_ + "\\UPGRADE.LOG");

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    const std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    EXPECT_TRUE(Contains(log, "CompleteInterruptedRevert: The installation is back at")) << log;
    EXPECT_TRUE(fixture::FileExists(installed) && ReadFile(installed) == "the library as the base release built it") << log;
    EXPECT_FALSE(fixture::FileExists(program_ + "\\" + kStampedLibrary));
    EXPECT_TRUE(ReadFile(program_ + "\\" + held) == ReadFile(trees_ + "\\base\\program\\" + held));
    EXPECT_EQ(kBaseLabel, ReleaseText(program_));
    ExpectNoTempFiles();
}

// The revert of a plain fix that stopped after it had moved the second data directory's own
// template (a version of its own, not the base release's) from its backup to the temporary file
// (a later entry's backup held without delete sharing stops it) leaves that temporary file as
// the template's only copy: the next revert does not delete it, and the template is the second
// data directory's own again.
TEST_F(EngineTest, StoppedPlainRevertKeepsTheOnlyCopyOfADataDirectorysTemplate)
{
    const std::string fix = Fix("plain");
    std::map<std::string, FixFile> files = FilesOf(fix);
    const FixFile tpl = files["templates\\other.tpl"];
    ASSERT_EQ(zfix::FE_REPLACE, tpl.operation);
    ASSERT_EQ(zfix::DIR_DATA, zfix::EffectiveDir(tpl.dir));
    // A later entry whose backup lies beside its file in the system directory.
    std::string held;
    for (const auto& f : files)
        if (held.empty() && f.second.operation == zfix::FE_REPLACE && zfix::EffectiveDir(f.second.dir) == zfix::DIR_SYSTEM &&
            f.second.entry > tpl.entry && fixture::FileExists(trees_ + "\\base\\system\\" + f.first))
            held = system_ + "\\" + BackupCopyName(f.first, f.second.entry);
    ASSERT_FALSE(held.empty()) << "no replaced system file after entry " << tpl.entry;
    InstallBase();
    const std::string own = "the second data directory's own other.tpl";
    const std::string second = dir_ + "\\product\\DATA2\\templates\\other.tpl";
    ASSERT_TRUE(fixture::WriteFile(second, own));
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    {
        std::unique_ptr<Holder> holder;
        robot::Program program("\"" + fix + "\"", dir_);
        // A plain fix on its installation reverts it from the progress page on.
        StartWizardUpgrade(program, [&] { holder.reset(new Holder(held, "rw", dir_ + "\\release")); });
        ExpectFailurePage(program);
    }
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    ASSERT_TRUE(Contains(log, "CreateUpgradedFiles: ERROR: Failed Restoring ")) << log;
    char temp[32];
    snprintf(temp, sizeof(temp), "\\UPTMP%04u.TMP", tpl.entry);
    ASSERT_EQ(own, ReadFile(program_ + temp));

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    EXPECT_TRUE(ReadFile(second) == own) << ReadFile(program_ + "\\UPGRADE.LOG");
    ExpectNoTempFiles();
}
