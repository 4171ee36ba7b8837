// The installer's environment as its users meet it: where it finds the product, the running-product
// probe, and the contents listing and local extraction of a fix.
#include "installer_test.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using fixture::Contains;

namespace {

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return (char)toupper(c); });
    return s;
}

class Environment : public InstallerTest {};

struct DirectoryPage {
    std::string program;
    std::vector<std::string> data;
};

/* Accepts the licence, reads the directory page, and closes the installer. */
DirectoryPage ReadDirectoryPage(const std::string& fix, const std::string& dir)
{
    DirectoryPage page;
    robot::Program program(fix, dir);
    EXPECT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
    EXPECT_TRUE(program.Click(IDC_ACCEPT));
    EXPECT_TRUE(program.WaitEnabled(IDC_NEXT, true));
    EXPECT_TRUE(program.Click(IDC_NEXT));
    EXPECT_TRUE(program.WaitText(IDC_STATE, "1"));
    page.program = program.Text(IDC_PROGDIR);
    page.data = program.ComboItems(IDC_DATADIRS);
    CloseWizard(program);
    return page;
}

TEST_F(Environment, FindsTheProgramAndDataDirectories)
{
    const std::string root = dir_ + "\\product";
    const std::string other = dir_ + "\\other";
    struct Case { std::string options, program; std::vector<std::string> data; };
    const Case cases[] = {
        {"--partitions 2", root + "\\PROGRAM", {root + "\\DATA1", root + "\\DATA2"}},
        {"--key vorin", root + "\\PROGRAM", {root + "\\DATA1"}},
        // Both product keys: the former brand's "Path" wins.
        {"--key both --vorin-path \"" + other + "\"", other, {root + "\\DATA1"}},
        // Only the "5.0" subkey: the data directory comes from ZOREL.INI.
        {"--only-50 --windows-ini", root + "\\PROGRAM", {root + "\\DATA1"}},
        // A partition without "DataPath" is passed over; the others keep registry order.
        {"--partitions 3 --no-datapath 2", root + "\\PROGRAM", {root + "\\DATA1", root + "\\DATA3"}},
        {"--trailing-backslash", root + "\\PROGRAM", {root + "\\DATA1"}},
        // "DataPath" values longer than every value of the product key itself are read whole.
        {"--partitions 2 --data-name PARTITION_DATA_DIRECTORY_OF_THE_SERVER_", root + "\\PROGRAM",
         {root + "\\PARTITION_DATA_DIRECTORY_OF_THE_SERVER_1", root + "\\PARTITION_DATA_DIRECTORY_OF_THE_SERVER_2"}},
    };
    CreateDirectoryA(other.c_str(), NULL);
    ASSERT_TRUE(CopyFileA((fixture::BinDir() + "\\..\\product\\tessra.dll").c_str(), (other + "\\tessra.dll").c_str(), FALSE));
    std::string fix = Package();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        ASSERT_FALSE(fixture::InstallProduct(root, c.options).empty());
        DirectoryPage page = ReadDirectoryPage(fix, dir_);
        EXPECT_EQ(Upper(c.program), page.program);
        std::vector<std::string> expected;
        for (const std::string& d : c.data)
            expected.push_back(Upper(d));
        EXPECT_EQ(expected, page.data);
        std::string log = fixture::ReadFile(Upper(c.program) + "\\UPGRADE.LOG");
        EXPECT_TRUE(Contains(log, "\r\nThe process is running under WOW64.\r\n\r\n")) << log;
        fixture::RemoveProduct();
    }
}

/* Starts the sample product's server, which holds pomvi.dll loaded until stopFile appears. */
class RunningProduct {
public:
    RunningProduct(const std::string& programDir, const std::string& stopFile)
        : stop_(stopFile), server_("\"" + programDir + "\\HOSTRK.EXE\" \"" + stopFile + "\"", programDir)
    {
        fixture::WaitFileHeld(programDir + "\\pomvi.dll");
    }
    void Stop()
    {
        fixture::WriteFile(stop_, "stop");
        server_.WaitExit();
    }
    ~RunningProduct() { Stop(); }

private:
    std::string stop_;
    robot::Program server_;
};

TEST_F(Environment, RunningProductStopsTheRun)
{
    std::string programDir = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(programDir.empty());
    std::string fix = Package();
    RunningProduct server(programDir, dir_ + "\\stop");

    // Unattended: logged, exit code 1, and the program directory's log is not touched.
    {
        robot::Program program(fix + " nouser", dir_);
        EXPECT_EQ(1, program.WaitExit());
        EXPECT_TRUE(Contains(fixture::TempLog(), "\r\nHalvex is still running. Please, shut it down before proceeding.\r\n"));
        EXPECT_TRUE(Contains(fixture::TempLog(), "Please find the processes using file " + Upper(programDir) + "\\pomvi.dll"));
        EXPECT_FALSE(fixture::FileExists(programDir + "\\UPGRADE.LOG"));
    }
    // Interactive: string 8 with OK and Cancel until the product is gone or Cancel is pressed.
    {
        robot::Program program(fix, dir_);
        for (int answer : {IDOK, IDCANCEL}) {
            robot::MessageBoxInfo box;
            ASSERT_TRUE(program.WaitMessageBox(&box));
            EXPECT_EQ("Incremental Installer", box.caption);
            EXPECT_EQ("Vorin Zorel/Halvex or a Zorel/Halvex related process is still running.  Please close it before "
                      "pressing OK to continue.\n On systems with UAC you need to Run as administrator.", box.text);
            EXPECT_EQ((std::vector<std::string>{"OK", "Cancel"}), box.buttons);
            program.Answer(box, answer);
        }
        EXPECT_EQ(1, program.WaitExit());
        EXPECT_FALSE(fixture::FileExists(programDir + "\\UPGRADE.LOG"));
    }
    // OK after the product has stopped goes on to the wizard.
    {
        robot::Program program(fix, dir_);
        robot::MessageBoxInfo box;
        ASSERT_TRUE(program.WaitMessageBox(&box));
        server.Stop();
        program.Answer(box, IDOK);
        EXPECT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
        CloseWizard(program);
    }
    // The probe renamed the library aside and back: it is under its own name, nothing left behind.
    EXPECT_TRUE(fixture::FileExists(programDir + "\\pomvi.dll"));
    EXPECT_FALSE(fixture::FileExists(programDir + "\\pomvi1.dll"));
}

TEST_F(Environment, LockUncheckProbesOnlyTheReleaseStringsLibrary)
{
    std::string programDir = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(programDir.empty());
    std::string fix = Package();
    RunningProduct server(programDir, dir_ + "\\stop");
    SetEnvironmentVariableA("LOCKUNCHECK", "1");
    robot::Program program(fix, dir_);
    EXPECT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
    CloseWizard(program);
}

TEST_F(Environment, ContentsListsAndExtractWritesTheFixFiles)
{
    fixture::PackageOptions options;
    options.files = {
        {"nzorel.dll", 2, 1, "new network library", "old"},
        {"sig\\nzorel.sf", 2, 1, "new signature", "old signature"},
        {"templates\\report.tpl", 2, 2, std::string(100000, 't') + "end", ""},
    };
    std::string fix = Package(options);
    {
        robot::Program program(fix + " contents", dir_);
        robot::MessageBoxInfo box = AnswerNextBox(program, IDOK);
        EXPECT_EQ("Info", box.caption);
        EXPECT_EQ("This fix contains:\nnzorel.dll, sig\\nzorel.sf, templates\\report.tpl", box.text);
        EXPECT_EQ(0, program.WaitExit());
    }
    std::string out = fixture::CommandLineDir("ExtractOut");
    robot::Program program(fix + " extract " + out, dir_);
    EXPECT_EQ(0, program.WaitExit());
    for (const fixture::PackageFile& f : options.files) {
        std::string shortName = f.name.substr(f.name.rfind('\\') == std::string::npos ? 0 : f.name.rfind('\\') + 1);
        EXPECT_EQ(f.content, fixture::ReadFile(out + "\\" + shortName)) << shortName;
    }
    EXPECT_FALSE(Contains(fixture::TempLog(), "Getting ready to show license"));
}

TEST_F(Environment, ExtractKeepsEveryFileInsideTheTargetDirectory)
{
    // A name that could leave the target directory makes the whole fix a damaged one: nothing
    // of it is written, anywhere.
    const struct {
        const char* name;
    } cases[] = {{"sub/../../escaped.txt"}, {".."}, {"C:evil.txt"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixture::PackageOptions options;
        options.files = {
            {"first.txt", 2, 1, "zero", ""},
            {c.name, 2, 1, "one", ""},
            {"last.txt", 2, 1, "four", ""},
        };
        std::string fix = Package(options);
        std::string deep = fixture::CommandLineDir("ExtractDeep");
        std::string out = deep + "\\out";
        CreateDirectoryA(out.c_str(), NULL);
        robot::Program program(fix + " extract " + out, dir_);
        robot::MessageBoxInfo box = AnswerNextBox(program, IDOK);
        EXPECT_EQ(std::string("This fix is damaged: the file name \"") + c.name + "\" is not a plain name inside its directory.",
                  box.text);
        EXPECT_EQ(1, program.WaitExit());
        for (const char* name : {"first.txt", "escaped.txt", "last.txt", "evil.txt"}) {
            EXPECT_FALSE(fixture::FileExists(out + "\\" + name)) << name;
            EXPECT_FALSE(fixture::FileExists(deep + "\\" + name)) << name;
            EXPECT_FALSE(fixture::FileExists(fixture::TempDir() + "\\" + name)) << name;
        }
    }
}

}  // namespace

namespace {

TEST_F(Environment, ListingsReadTheInstalledReleaseThroughTheReleaseStringTool)
{
    std::string programDir = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(programDir.empty());
    std::string fix = Package();
    // Without the fix registry there is nothing to list. A listing word ends a revert label and
    // leaves only its own options, so the second command line lists too.
    for (const char* args : {" listfix", " nouser revert Release listfix"}) {
        SCOPED_TRACE(args);
        robot::Program program(fix + args, dir_);
        robot::MessageBoxInfo box = AnswerNextBox(program, IDOK);
        EXPECT_EQ("Info", box.caption);
        EXPECT_EQ("Can't find patch.ini", box.text);
        EXPECT_EQ(1, program.WaitExit());
    }
    ASSERT_TRUE(fixture::WriteFile(programDir + "\\PATCH.INI", ""));
    robot::Program program(fix + " fixdetails", dir_);
    robot::MessageBoxInfo box;
    while (program.WaitMessageBox(&box, 5000)) {
        EXPECT_TRUE(box.caption == "Info" || box.caption == "Error") << box.caption;
        program.Answer(box, IDOK);
    }
    EXPECT_EQ(0, program.WaitExit());
    EXPECT_EQ("Release 14.5.1FP1|May 21, 2026", fixture::ReadFile(programDir + "\\currver.txt"));
    std::string log = fixture::TempLog();
    EXPECT_TRUE(Contains(log, "LoadCurrentZorelVersion64: Calling CreateProcess with " + fixture::TempDir() +
                                  "\\UpdateVersion.exe \"" + Upper(programDir) + "\" myversion read \r\n")) << log;
    EXPECT_TRUE(Contains(log, "\tRelease 14.5.1FP1|May 21, 2026\r\n")) << log;
}

}  // namespace
