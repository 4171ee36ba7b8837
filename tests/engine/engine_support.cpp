#include "engine_test.h"

#include "package/file_entry.h"
#include "package/implode.h"
#include "resources/resource.h"

#include <zlib.h>

#include <algorithm>

using fixture::Contains;

const char kLabelDir[] = "Release1451FP1";

std::string EngineTest::trees_;
std::string EngineTest::system_;

/* The system directory's files of the trees carry this prefix, so that tests find and remove them. */
static const char kSystemPrefix[] = "zfixeng_";

static uint32_t Crc(const std::string& bytes)
{
    return (uint32_t)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)bytes.data(), (uInt)bytes.size());
}

/* Content a patch describes more briefly than the whole: the base with a few bytes changed. */
static std::string Changed(std::string s)
{
    for (size_t i = s.size() / 3; i + 8 < s.size(); i += s.size() / 4 + 1)
        s[i] ^= 0x20;
    return s;
}

static std::string Template(int seed, int size = 6000)
{
    std::string text;
    for (int i = 0; i < size; ++i)
        text += (char)('a' + (i * 7919 + seed * 31 + i / 97) % 26);
    return text;
}

static void Write(const std::string& path, const std::string& content)
{
    size_t slash = path.find_last_of('\\');
    for (size_t i = path.find('\\', 3); i != std::string::npos && i <= slash; i = path.find('\\', i + 1))
        CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    ASSERT_TRUE(fixture::WriteFile(path, content)) << path;
}

void EngineTest::SetUpTestSuite()
{
    char szSystem[MAX_PATH];
    GetSystemDirectoryA(szSystem, sizeof(szSystem));
    system_ = szSystem;
    std::string key = std::to_string(Crc(fixture::ReadFile(fixture::BinDir() + "\\zfix.exe"))) + "_" +
                      std::to_string(Crc(fixture::ReadFile(fixture::BinDir() + "\\zfixbuild.exe")));
    trees_ = fixture::BinDir() + "\\..\\scratch-engine\\" + key;
    if (fixture::FileExists(trees_ + "\\ready"))
        return;
    CreateDirectoryA((fixture::BinDir() + "\\..\\scratch-engine").c_str(), NULL);
    fixture::RemoveTree(trees_);
    CreateDirectoryA(trees_.c_str(), NULL);
    const std::string product = fixture::BinDir() + "\\..\\product";
    const std::string base = trees_ + "\\base", fix = trees_ + "\\fix";
    for (const std::string& t : {base, fix}) {
        CreateDirectoryA(t.c_str(), NULL);
        fixture::CopyTree(product, t + "\\program");
    }
    // Program directory: three libraries patched (pomvi.dll is the one the sample server loads),
    // the strings library with the fix's release text, a signature replaced, files added in a new
    // folder and one removed.
    for (const char* name : {"\\nzorel.dll", "\\pomvi.dll", "\\tdx.exe"})
        Write(fix + "\\program" + name, Changed(fixture::ReadFile(base + "\\program" + name)));
    fixture::Run("\"" + fixture::BinDir() + "\\UpdateVersion.exe\" \"" + fix + "\\program\" \"" + kFixLabel + "\" write");
    Write(fix + "\\program\\sig\\nzorel.sf", "signature of the fix, longer than the old one");
    Write(fix + "\\program\\sig\\hf21.sf", "signature of hotfix 21");
    Write(fix + "\\program\\docs\\readme.txt", Template(5, 3000));
    Write(base + "\\program\\lib\\old.dat", Template(6, 2500));
    // Data directories: a template patched, one replaced, one added and one removed.
    Write(base + "\\data\\templates\\report.tpl", Template(0));
    Write(fix + "\\data\\templates\\report.tpl", Changed(Template(0)));
    Write(base + "\\data\\templates\\other.tpl", Template(1));
    Write(fix + "\\data\\templates\\other.tpl", Template(11, 4000));
    Write(fix + "\\data\\templates\\added.tpl", Template(12, 1500));
    Write(base + "\\data\\templates\\gone.tpl", Template(13, 900));
    // System directory: a library patched, a file replaced, one added and one removed.
    const std::string sys = std::string("\\system\\") + kSystemPrefix;
    Write(base + sys + "lib.dll", Template(2, 20000));
    Write(fix + sys + "lib.dll", Changed(Template(2, 20000)));
    Write(base + sys + "conf.dat", Template(3, 3000));
    Write(fix + sys + "conf.dat", Template(14, 3500));
    Write(fix + sys + "new.dat", Template(15, 1200));
    Write(base + sys + "gone.dat", Template(16, 800));
    fixture::WriteFile(trees_ + "\\license.txt", "Sample licence of the fix.\r\nRead it all.\r\n");
    fixture::WriteFile(trees_ + "\\ready", "");
}

void EngineTest::TearDown()
{
    // Leave the shared system directory as it was before the test.
    fixture::ForEachEntry(system_, [&](const std::string& name, bool isDir) {
        if (!isDir && name.compare(0, strlen(kSystemPrefix), kSystemPrefix) == 0)
            DeleteFileA((system_ + "\\" + name).c_str());
    });
    InstallerTest::TearDown();
}

std::string EngineTest::Fix(const std::string& kind) { return FixOf(kind, kind, kFixLabel, "fix\\program"); }

std::string EngineTest::FixOf(const std::string& name, const std::string& kind, const std::string& fixLabel,
                              const std::string& programTree)
{
    std::string title = fixLabel.substr(0, fixLabel.find('|'));
    std::string description = "[Fix]\r\n"
                              "Title=Release 14.5.1FP1 -> " + title + "\r\n"
                              "Kind=" + kind + "\r\n"
                              "BaseLabel=" + std::string(kBaseLabel) + "\r\n"
                              "FixLabel=" + fixLabel + "\r\n"
                              "License=license.txt\r\n"
                              "[Base]\r\nProgram=base\\program\r\nData=base\\data\r\nSystem=base\\system\r\n"
                              "[Target]\r\nProgram=" + programTree + "\r\nData=fix\\data\r\nSystem=fix\\system\r\n";
    std::string path = trees_ + "\\" + name;
    EXPECT_TRUE(fixture::BuildFix(path, description)) << description;
    return path + ".exe";
}

std::map<std::string, FixFile> EngineTest::FilesOf(const std::string& fix)
{
    std::map<std::string, FixFile> files;
    std::string bytes = fixture::VersionRecord(fix);
    zfix::FIXRECORD record;
    EXPECT_TRUE(zfix::ReadFixRecord(bytes.data(), bytes.size(), &record));
    for (const zfix::FILELISTRECORD& f : record.files)
        files[f.lpFile] = FixFile{f.dwFileEntry, f.dwOperation, f.dwDir};
    return files;
}

std::string EngineTest::WithPayload(const std::string& fix, int n, const std::string& content)
{
    std::string path = dir_ + "\\edited.exe";
    EXPECT_TRUE(CopyFileA(fix.c_str(), path.c_str(), FALSE));
    std::vector<uint8_t> res = zfix::MakeCompressedResource(content.data(), content.size());
    HANDLE hUpdate = BeginUpdateResourceA(path.c_str(), FALSE);
    EXPECT_TRUE(hUpdate != NULL);
    EXPECT_TRUE(UpdateResourceA(hUpdate, "UPDATE", MAKEINTRESOURCEA(n), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                res.data(), (DWORD)res.size()));
    EXPECT_TRUE(EndUpdateResourceA(hUpdate, FALSE));
    return path;
}

std::string EngineTest::InstallBase()
{
    program_ = fixture::InstallProduct(dir_ + "\\product", "--partitions 2 --files \"" + trees_ + "\\base\\program\"");
    EXPECT_FALSE(program_.empty());
    for (int i = 1; i <= 2; ++i)
        fixture::CopyTree(trees_ + "\\base\\data", dir_ + "\\product\\DATA" + std::to_string(i));
    for (const std::string& f : fixture::FilesBelow(trees_ + "\\base\\system"))
        EXPECT_TRUE(CopyFileA((trees_ + "\\base\\system\\" + f).c_str(), (system_ + "\\" + f).c_str(), FALSE));
    return program_;
}

static void ExpectFolderIs(const std::string& tree, const std::string& other, const std::string& installed,
                           const std::string& except = std::string())
{
    for (const std::string& f : fixture::FilesBelow(tree)) {
        if (f == except)
            continue;
        std::string path = installed + "\\" + f;
        EXPECT_TRUE(fixture::FileExists(path)) << "missing: " << path;
        EXPECT_TRUE(fixture::ReadFile(tree + "\\" + f) == fixture::ReadFile(path)) << "differs: " << path;
    }
    for (const std::string& f : fixture::FilesBelow(other)) {
        if (!fixture::FileExists(tree + "\\" + f)) {
            EXPECT_FALSE(fixture::FileExists(installed + "\\" + f)) << "left: " << installed << "\\" << f;
        }
    }
}

void EngineTest::ExpectInstallationIs(const std::string& tree, const std::string& except)
{
    const std::string mine = trees_ + "\\" + tree, other = trees_ + "\\" + (tree == "fix" ? "base" : "fix");
    ExpectFolderIs(mine + "\\program", other + "\\program", program_, except);
    for (int i = 1; i <= 2; ++i)
        ExpectFolderIs(mine + "\\data", other + "\\data", dir_ + "\\product\\DATA" + std::to_string(i));
    ExpectFolderIs(mine + "\\system", other + "\\system", system_);
}

void EngineTest::ExpectBackups(const std::string& fix, bool beside)
{
    for (const auto& f : FilesOf(fix)) {
        if (f.second.operation == zfix::FE_REPLACE && !fixture::FileExists(trees_ + "\\base\\" +
                                                                           (f.second.dir == zfix::DIR_DATA ? "data\\" : f.second.dir == zfix::DIR_SYSTEM ? "system\\" : "program\\") + f.first))
            continue;  // a new file has nothing to back up
        const std::string& name = f.first;
        std::string base = trees_ + "\\base\\" +
                           (f.second.dir == zfix::DIR_DATA ? "data\\" : f.second.dir == zfix::DIR_SYSTEM ? "system\\" : "program\\") + name;
        std::string stem = name.substr(0, name.find_last_of('.'));
        char number[8];
        snprintf(number, sizeof(number), "%04u", f.second.entry);
        std::string backup;
        if (beside) {
            std::string dir = f.second.dir == zfix::DIR_DATA ? dir_ + "\\product\\DATA1" : f.second.dir == zfix::DIR_SYSTEM ? system_ : program_;
            backup = dir + "\\" + stem + number + ".IIB";
        } else {
            std::string shortStem = stem.substr(stem.find_last_of('\\') + 1);
            backup = program_ + "\\" + kLabelDir + "\\" + shortStem + number + ".IIB";
        }
        if (name == "tessra.dll" && !beside)
            continue;  // the strings library: its own checks below
        if (beside && f.second.operation == zfix::FE_PATCH) {
            // Without a fix registry nothing restores from it: the patch alone turns the file back.
            EXPECT_FALSE(fixture::FileExists(backup)) << backup;
            continue;
        }
        EXPECT_TRUE(fixture::FileExists(backup)) << "no backup of " << name << ": " << backup;
        EXPECT_TRUE(fixture::ReadFile(backup) == fixture::ReadFile(base)) << "backup differs: " << backup;
    }
}

void EngineTest::ExpectNoTempFiles()
{
    fixture::ForEachEntry(program_, [&](const std::string& name, bool) {
        EXPECT_FALSE(Upper(name).compare(0, 5, "UPTMP") == 0) << "left: " << name;
    });
}

int RunUnattended(const std::string& fix, const std::string& dir, const std::string& arguments)
{
    robot::Program program("\"" + fix + "\" " + arguments, dir);
    // A failed unattended run waits on its failure page for the user: the page is closed as soon as
    // it shows, so that a failure costs seconds rather than the whole time limit.
    for (int waited = 0; waited < 120000; waited += 250) {
        int code = program.WaitExit(250);
        if (code != -1)
            return code;
        if (!program.Dialog())
            program.WaitWindow(ZFIX_DIALOG_CLASS, 1);
        if (program.Dialog() && Contains(program.Text(IDC_TEXT5), "Failed to upgrade Zorel."))
            break;
    }
    if (program.Running()) {
        if (!program.Dialog())
            program.WaitWindow(ZFIX_DIALOG_CLASS, 1000);
        CloseAnswering(program);
    }
    return -1;
}

void StartWizardUpgrade(robot::Program& program, const std::function<void()>& beforeUpgrade)
{
    ASSERT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
    ToDirectoryPage(program);
    ASSERT_TRUE(program.Click(IDC_NEXT));
    ASSERT_TRUE(fixture::WaitTempLog("Verified ", 60000)) << fixture::TempLog();
    ASSERT_TRUE(program.WaitEnabled(IDC_NEXT, true, 30000));
    if (beforeUpgrade)
        beforeUpgrade();
    ASSERT_TRUE(program.Click(IDC_NEXT));
}

std::string WaitUpgradeResult(robot::Program& program)
{
    const std::string done = "Congratulations", failed = "Failed to upgrade Zorel.";
    for (int i = 0; i < 6000; ++i) {
        std::string text = program.Text(IDC_TEXT5);
        if (Contains(text, done) || Contains(text, failed)) {
            Sleep(200);  // the text may be caught while it is being set
            return program.Text(IDC_TEXT5);
        }
        if (!program.Running())
            break;
        Sleep(20);
    }
    return program.Text(IDC_TEXT5);
}
