// The component updaters as users meet them: fixes built by zfixbuild whose component trees
// changed, installed by the real zfix.exe on sample installations laid by zsetup.exe.
#include "component_test.h"

#include "resources/resource.h"

#include <algorithm>
#include <functional>

using fixture::Contains;
using fixture::FileExists;
using fixture::ReadFile;

// Every component tree is the fix's after the upgrade and the base's after the revert, byte for
// byte, with no file more (no archive left inside a tree, no old tree nested in a new place),
// in both data directories.
TEST_F(ComponentTest, UpgradeReplacesEachTreeAndRevertRestoresIt)
{
    std::string fix = Fix();
    InstallBase();
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    ExpectComponentsAre("fix");
    for (const char* stem : {"jvm", "kwswindows", "osgi_plugins", "ckeditor", "hlv-dojo"})
        EXPECT_FALSE(BackupOf(stem).empty()) << "no backup of " << stem;
    ExpectLogLines(log, {"Parsed dojo version 'dojo-1.17.0' from '" + Upper(Data(1)) + "\\halvex\\js\\dojo-1.17.0\\hlv-dojo.cab'",
                         "ProcessOsgi: Removed old osgi successfully",
                         "Successfully upgrade OSGi under " + Upper(program_) + "\\osgi\\shared\\eclipse\\plugins",
                         "Successfully upgrade KWS under " + Upper(program_) + "\\kws",
                         "ProcessCkEditor: Successfully upgrade ckeditor under " + Upper(Data(2)) + "\\halvex\\html\\ckeditor",
                         "CreateUpgradedFiles: Release1451FP1\\jvm0001.IIB does NOT exist! (this can be ok)",
                         "CreateUpgradedFiles: " + Upper(program_) + "\\jvm\\jvm_standalone_bck.zip does NOT exist! (this may be ok)",
                         "CreateUpgradedFiles: Calling ProcessJvm (2): canFileName = jvm\\jvm.cab",
                         "ProcessJvm: Removed jvm dir successfully", "Zorel has been successfully upgraded."});

    DeleteFileA(fixture::TempLog().c_str());
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectComponentsAre("base");
}

namespace {

const char kJvmBackup[] = "Release1451FP1\\jvm0001.IIB";
const char kDojoEntry[] = "halvex\\js\\dojo-1.17.0\\hlv-dojo.cab";

/* Runs a command line with its standard output and error into a file; the output, and the exit
   code in *code. */
std::string Output(const std::string& commandLine, const std::string& file, DWORD* code = NULL)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = h;
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    if (CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 120000);
        if (code)
            GetExitCodeProcess(pi.hProcess, code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(h);
    return ReadFile(file);
}

}  // namespace

// The builder lists each changed component tree as the one archive that its updater unpacks,
// under the name that places it inside its tree, and none of the trees' files one by one;
// inspect names the component of each.
TEST_F(ComponentTest, BuilderCarriesEachChangedTreeAsOneArchive)
{
    std::string fix = Fix();
    std::string text = Output("\"" + fixture::BinDir() + "\\zfixbuild.exe\" inspect \"" + fix + "\"", dir_ + "\\inspect.txt");
    std::vector<std::string> listed;
    bool inFileList = false;
    for (const std::string& line : fixture::Lines(text)) {
        if (line == "files:" || line == "entries:")
            inFileList = line == "files:";
        else if (inFileList && line.compare(0, 10, "    file: ") == 0)
            listed.push_back(line.substr(10));
    }
    EXPECT_EQ((std::vector<std::string>{"\"jvm\\jvm.cab\"", "\"kws\\kwswindows.zip\"",
                                        "\"osgi\\shared\\eclipse\\plugins\\osgi_plugins.cab\"", "\"tessra.dll\"",
                                        "\"halvex\\html\\ckeditor\\ckeditor.cab\"", "\"halvex\\js\\dojo-1.17.0\\hlv-dojo.cab\""}),
              listed) << text;
    for (const char* what : {"JVM", "web server", "OSGi plug-ins", "editor", "script library"})
        EXPECT_TRUE(Contains(text, std::string("    component: \"") + what + "\"")) << what;
}

// Component trees that the updaters cannot take stop the build with a message that names them.
TEST_F(ComponentTest, BuilderRefusesTreesTheUpdatersCannotTake)
{
    const std::string fix = dir_ + "\\fix", js = fix + "\\data\\halvex\\js\\", tpl = fix + "\\data\\halvex\\template\\";
    struct Case {
        const char* what;
        std::function<void()> edit;
        const char* message;
    } cases[] = {
        {"a component removed", [&] { fixture::RemoveTree(fix + "\\program\\osgi"); },
         "the fix removes the OSGi plug-ins (osgi\\shared\\eclipse\\plugins); a component tree can only be replaced"},
        {"two script library versions", [&] { PutFile(js + "dojo-1.18.0\\dojo.js", "/* dojo 1.18.0 */"); },
         "the fix's script library has more than one version directory (dojo-1.17.0, dojo-1.18.0)"},
        {"a version directory of 21 characters",
         [&] {
             MoveFileA((js + "dojo-1.17.0").c_str(), (js + "dojo-1.17.0-build.123").c_str());
             MoveFileA((tpl + "dojo-1.17.0").c_str(), (tpl + "dojo-1.17.0-build.123").c_str());
         },
         "the script library's version directory dojo-1.17.0-build.123 has 21 characters; the installer takes at most 20"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::RemoveTree(fix);
        CreateDirectoryA(fix.c_str(), NULL);
        fixture::CopyTree(trees_ + "\\fix\\program", fix + "\\program");
        fixture::CopyTree(trees_ + "\\fix\\data", fix + "\\data");
        c.edit();
        std::string description = "[Fix]\r\nTitle=Component trees\r\nKind=hotfix\r\n"
                                  "BaseLabel=" + std::string(kBaseLabel) + "\r\nFixLabel=" + std::string(kFixLabel) + "\r\n"
                                  "License=" + trees_ + "\\license.txt\r\n"
                                  "[Base]\r\nProgram=" + trees_ + "\\base\\program\r\nData=" + trees_ + "\\base\\data\r\n"
                                  "[Target]\r\nProgram=fix\\program\r\nData=fix\\data\r\n";
        ASSERT_TRUE(fixture::WriteFile(dir_ + "\\refused.ini", description));
        DWORD code = 0;
        std::string out = Output("\"" + fixture::BinDir() + "\\zfixbuild.exe\" build \"" + dir_ + "\\refused.ini\"",
                                 dir_ + "\\build.txt", &code);
        EXPECT_EQ(1u, code) << out;
        EXPECT_TRUE(Contains(out, c.message)) << out;
        EXPECT_FALSE(FileExists(dir_ + "\\refused.exe"));
    }
}

// The script library with no earlier version in a data directory: nothing there to back up,
// which is no failure; the new version is installed beside the site's own script, and the other
// data directory is upgraded as well.
TEST_F(ComponentTest, ScriptLibraryWithoutEarlierVersionIsInstalled)
{
    std::string fix = Fix();
    InstallBase();
    fixture::RemoveTree(Data(1) + "\\halvex\\js\\dojo-1.16.2");
    fixture::RemoveTree(Data(1) + "\\halvex\\template\\dojo-1.16.2");
    PutFile(Data(1) + "\\halvex\\js\\site.js", "the site's own script");
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    std::vector<std::string> js = FilesIn(trees_ + "\\fix\\data\\halvex\\js");
    js.push_back("SITE.JS");
    std::sort(js.begin(), js.end());
    EXPECT_EQ(js, FilesIn(Data(1) + "\\halvex\\js"));
    EXPECT_EQ("the site's own script", ReadFile(Data(1) + "\\halvex\\js\\site.js"));
    ExpectSameFiles(trees_ + "\\fix\\data\\halvex\\template", Data(1) + "\\halvex\\template");
    EXPECT_FALSE(Contains(log, "Failed Backing up " + Upper(Data(1)) + "\\" + kDojoEntry + " to ")) << log;
    ExpectSameFiles(trees_ + "\\fix\\data\\halvex\\js", Data(2) + "\\halvex\\js");
    ExpectSameFiles(trees_ + "\\fix\\data\\halvex\\template", Data(2) + "\\halvex\\template");
}

// Two earlier versions: both go into the one backup and are deleted, the new version is unpacked
// and its templates moved below halvex\template; the revert brings both back.
TEST_F(ComponentTest, ScriptLibraryPacksEveryEarlierVersionIntoOneBackup)
{
    std::string fix = Fix();
    InstallBase(1);
    PutFile(Data(1) + "\\halvex\\js\\dojo-1.15.0\\dojo.js", "/* dojo 1.15.0 */\r\n");
    PutFile(Data(1) + "\\halvex\\template\\dojo-1.15.0\\old\\page.html", "<div>dojo 1.15.0</div>\r\n");
    const std::string before = dir_ + "\\before";
    CreateDirectoryA(before.c_str(), NULL);
    CreateDirectoryA((before + "\\halvex").c_str(), NULL);
    fixture::CopyTree(Data(1) + "\\halvex\\js", before + "\\halvex\\js");
    fixture::CopyTree(Data(1) + "\\halvex\\template", before + "\\halvex\\template");

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectSameFiles(trees_ + "\\fix\\data\\halvex\\js", Data(1) + "\\halvex\\js");
    ExpectSameFiles(trees_ + "\\fix\\data\\halvex\\template", Data(1) + "\\halvex\\template");
    ExpectSameFiles(before, Unpacked(BackupOf("hlv-dojo"), "dojo-backup"));
    ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG"),
                   {"Moved " + Upper(Data(1)) + "\\halvex\\js\\dojo-1.17.0\\template to " + Upper(Data(1)) +
                    "\\halvex\\template\\dojo-1.17.0"});

    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectSameFiles(before + "\\halvex\\js", Data(1) + "\\halvex\\js");
    ExpectSameFiles(before + "\\halvex\\template", Data(1) + "\\halvex\\template");
}

// The version directory's name is held in 21 bytes: one of 20 characters is taken, one of 21 is
// refused with error 3 and the script library stays as it is.
TEST_F(ComponentTest, ScriptLibraryVersionNameOf21CharactersIsRefused)
{
    struct Case {
        const char* version;
        bool taken;
    } cases[] = {{"dojo-1.17.0-build.12", true}, {"dojo-1.17.0-build.123", false}};
    for (const Case& c : cases) {
        std::string entry = std::string("halvex\\js\\") + c.version + "\\hlv-dojo.cab";
        std::string fix = RenamedFix(kDojoEntry, entry);
        InstallBase(1);
        ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
        std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
        std::string refused = "Failed to parse dojo version from the dojo cab file name " + Upper(Data(1)) + "\\" + entry +
                              ", error 3";
        EXPECT_EQ(!c.taken, Contains(log, refused)) << c.version;
        EXPECT_EQ(c.taken, !FilesIn(Data(1) + "\\halvex\\js\\" + c.version).empty()) << c.version;
        if (!c.taken) {
            ExpectSameFiles(trees_ + "\\base\\data\\halvex\\js", Data(1) + "\\halvex\\js");
            ExpectSameFiles(trees_ + "\\base\\data\\halvex\\template", Data(1) + "\\halvex\\template");
        }
        fixture::RemoveProduct();
        fixture::RemoveTree(dir_ + "\\product");
    }
}

// A backup that cannot be written (a file holds the backup directory's name) leaves every
// component tree as it is: no tree is deleted without its backup. The run stops at the first
// file whose backup copy cannot be written (the commit would replace it with nothing to bring it
// back), commits nothing, and ends on its failure page.
TEST_F(ComponentTest, FailedPackLeavesEveryTreeAsItIs)
{
    std::string fix = Fix();
    InstallBase();
    ASSERT_TRUE(fixture::WriteFile(program_ + "\\Release1451FP1", "a file where the backup directory belongs"));
    std::string log;
    {
        robot::Program run("\"" + fix + "\" nouser", dir_);
        ASSERT_TRUE(run.WaitWindow(ZFIX_DIALOG_CLASS, 60000));
        EXPECT_TRUE(Contains(WaitUpgradeResult(run), "Failed to upgrade Zorel."));
        log = fixture::TempLog();
        CloseAnswering(run);
    }
    ExpectComponentsAre("base");
    for (const std::string& line :
         {std::string("ProcessJvm: Failed Backing up jvm\\jvm.cab to Release1451FP1\\jvm0001.IIB ("),
          std::string("Failed Backing up PROG_DIR\\kws\\* to Release1451FP1\\kwswindows0002.IIB ("),
          std::string("ProcessOsgi: Failed Backing up osgi\\shared\\eclipse\\plugins\\osgi_plugins.cab to "),
          std::string("CreateUpgradedFiles: ERROR: Failed Backing up "), std::string("UpgradeZorelVersion: ERROR: Failed to CreateUpgradedFiles() ")})
        EXPECT_TRUE(Contains(log, line)) << line << "\n" << log;
    EXPECT_FALSE(Contains(log, "RenameTempFiles: Starting")) << log;
}

// A component tree that is absent, or a folder without a file, has nothing to back up: that is
// no failure. The fix's tree is installed, and the revert removes it again, in both data
// directories.
TEST_F(ComponentTest, AbsentOrEmptyTreeIsInstalledAndRevertRemovesIt)
{
    for (bool keepFolders : {false, true}) {
        SCOPED_TRACE(keepFolders ? "empty trees" : "absent trees");
        std::string fix = Fix();
        InstallBase();
        std::vector<std::string> trees = {program_ + "\\jvm", program_ + "\\kws",
                                          program_ + "\\osgi\\shared\\eclipse\\plugins"};
        for (int i = 1; i <= partitions_; ++i)
            for (const char* t : {"\\halvex\\js\\dojo-1.16.2", "\\halvex\\template\\dojo-1.16.2", "\\halvex\\html\\ckeditor"})
                trees.push_back(Data(i) + t);
        for (const std::string& tree : trees) {
            fixture::RemoveTree(tree);
            if (keepFolders) {
                ASSERT_TRUE(CreateDirectoryA(tree.c_str(), NULL)) << tree;
            }
        }
        if (!keepFolders)
            fixture::RemoveTree(program_ + "\\osgi");

        ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
        ExpectComponentsAre("fix");
        for (const char* stem : {"jvm", "kwswindows", "osgi_plugins", "ckeditor", "hlv-dojo"})
            EXPECT_FALSE(BackupOf(stem).empty()) << "no backup of " << stem;

        DeleteFileA(fixture::TempLog().c_str());
        ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
        std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
        for (const std::string& tree : trees)
            EXPECT_TRUE(FilesIn(tree).empty()) << tree;
        for (int i = 1; i <= partitions_; ++i)
            for (const char* t : {"\\halvex\\js\\dojo-1.17.0", "\\halvex\\template\\dojo-1.17.0"})
                EXPECT_FALSE(FileExists(Data(i) + t)) << Data(i) + t;
        EXPECT_FALSE(FileExists(program_ + "\\jvm")) << log;
        EXPECT_FALSE(FileExists(program_ + "\\kws")) << log;
        fixture::RemoveProduct();
        fixture::RemoveTree(dir_ + "\\product");
    }
}

// A tree that an earlier attempt backed up and then lost (its unpack stopped): that attempt's
// backup copy is the release's tree and stays; the empty copy that stands for "no tree" does not
// replace it.
TEST_F(ComponentTest, AnEarlierAttemptsBackupOfALostTreeIsKept)
{
    std::string fix = Fix();
    InstallBase();
    const std::string tree = program_ + "\\kws";
    fixture::RemoveTree(tree);
    ASSERT_TRUE(CreateDirectoryA(tree.c_str(), NULL));
    CreateDirectoryA((program_ + "\\Release1451FP1").c_str(), NULL);
    const std::string back = program_ + "\\Release1451FP1\\kwswindows0002.IIB";
    const std::string earlier = "the cabinet an earlier attempt made of the release's web server";
    ASSERT_TRUE(fixture::WriteFile(back, earlier));
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    EXPECT_EQ(earlier, ReadFile(back)) << ReadFile(program_ + "\\UPGRADE.LOG");
    EXPECT_TRUE(Contains(ReadFile(program_ + "\\UPGRADE.LOG"), "\\Release1451FP1\\kwswindows0002.IIB of an earlier attempt is kept"))
        << ReadFile(program_ + "\\UPGRADE.LOG");
}
