// The installer's start-up as its users meet it: the real zfix.exe under Wine, driven by the robot.
#include "installer_test.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

using fixture::Contains;

namespace {

const char kCaption[] = "Incremental Installer";
const char kHelp[] =
    "Command Line Help.\n"
    "\tNOUSER - automatic upgrade mode (must be used with REVERT option for reverting hotfixes only).\n"
    "\tREVERT Label - (witn nouser) in revert mode will try to revert to the specified label.\n"
    "\tLISTFIX - lists installed hotfixes and fixpacks.\n"
    "\tFIXDETAILS - lists files belonging to hotfixes and their status.\n"
    "\tCONTENTS - lists files belonging to this hotfix.\n";

class StartUp : public InstallerTest {};

TEST_F(StartUp, WordsNotUnderstoodShowTheHelpText)
{
    const std::string longLabel(300, 'x');
    struct Case { std::string args, logLine; };
    const Case cases[] = {
        {"bogus", "Not recognised string: bogus"},
        {"-nouser /frobnicate", "Not recognised string: frobnicate"},
        {"revert listfix later", "Not recognised string: later"},   // "listfix" ends the label
        {"revert " + longLabel, "ParseCommandLine: ERROR: the revert label is longer than 287 characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        robot::Program program(Stub() + " " + c.args, dir_);
        robot::MessageBoxInfo box = AnswerNextBox(program, IDOK);
        EXPECT_EQ(kCaption, box.caption);
        EXPECT_EQ("error", box.icon);
        EXPECT_EQ(kHelp, box.text);
        EXPECT_EQ(0, program.WaitExit());
        std::string log = fixture::TempLog();
        EXPECT_TRUE(Contains(log, "\n" + c.logLine + "\r\n")) << log;
        EXPECT_FALSE(Contains(log, "WinMain: Getting ready to show license"));
    }
}

TEST_F(StartUp, LogBeginsWithTheHeader)
{
    robot::Program program(Stub() + " bogus", dir_);
    AnswerNextBox(program, IDOK);
    ASSERT_EQ(0, program.WaitExit());
    std::string log = fixture::TempLog();
    for (size_t i = log.find('\n'); i != std::string::npos; i = log.find('\n', i + 1))
        ASSERT_TRUE(i > 0 && log[i - 1] == '\r') << "every line ends in CR LF";
    std::vector<std::string> lines = fixture::Lines(log);
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ("Tirn Hotfix Installer FI1.01 for W64", lines[0]);
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("Executable created \\d\\d:\\d\\d:\\d\\d [A-Z][a-z]{2} [ 0-9]\\d "
                                                      "\\d{4} for Release 14\\.5\\.1FP1 -> Release 14\\.5\\.1FP1 HF21\\.")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("Upgrade started at \\d\\d:\\d\\d:\\d\\d [A-Z][a-z]{2} [ 0-9]\\d \\d{4} in (.*)\\.")))
        << lines[2];
    EXPECT_EQ("Upgrade started at", lines[2].substr(0, 18));
    EXPECT_TRUE(Contains(lines[2], " in " + dir_ + ".")) << lines[2];
    EXPECT_EQ("", lines[3]);
    EXPECT_EQ("", lines[4]);
    EXPECT_TRUE(std::regex_match(lines[5], std::regex("WinMain: Starting\\.\\.\\. \\([0-9a-f]+, 0, bogus, [0-9a-f]+\\)"))) << lines[5];
    EXPECT_EQ("WinMain: Calling LoadResourceStrings()", lines[6]);
    EXPECT_EQ("WinMain: Calling ParseCommandLine()", lines[7]);
    EXPECT_EQ("Not recognised string: bogus", lines[8]);
}

TEST_F(StartUp, KeywordsAreUnderstoodInAnyCaseAndWithAnyPrefix)
{
    // Accepted words lead past the parser to the licence, which the stub does not carry.
    for (const char* args : {"NOUSER", "-NoUser", "/nouser force", "nouser--FORCE", "nouser revert \"Release 14.5.1FP1\" -HF21"}) {
        SCOPED_TRACE(args);
        robot::Program program(Stub() + " " + args, dir_);
        EXPECT_EQ(1, program.WaitExit());
        std::string log = fixture::TempLog();
        EXPECT_FALSE(Contains(log, "Not recognised string")) << log;
        EXPECT_TRUE(Contains(log, "\r\nFailed to load license entry resource.\r\n")) << log;
    }
    robot::Program program(Stub() + " nouser revert \"Release 14.5.1FP1\" -HF21", dir_);
    EXPECT_EQ(1, program.WaitExit());
    std::string log = fixture::TempLog();
    EXPECT_TRUE(Contains(log, "\r\nAssuming \"Release is a part of a label\r\nAssuming 14.5.1FP1\" is a part of a label\r\n"
                              "Assuming HF21 is a part of a label\r\n")) << log;
}

const char kNoRecord[] = "There are no version resources in this executable. It is either corrupt or built wrong.";

/* The stub carries no fix description: the listing and the extraction say so, and end. */
void ExpectNoRecordBox(robot::Program& program)
{
    robot::MessageBoxInfo box = AnswerNextBox(program, IDOK);
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ("error", box.icon);
    EXPECT_EQ(kNoRecord, box.text);
}

TEST_F(StartUp, ContentsAndExtractEndBeforeTheLicence)
{
    {
        robot::Program program(Stub() + " contents", dir_);
        ExpectNoRecordBox(program);
        robot::MessageBoxInfo box = AnswerNextBox(program, IDOK);
        EXPECT_EQ("Info", box.caption);
        EXPECT_EQ("This fix contains:\n", box.text);
        EXPECT_EQ(0, program.WaitExit());
    }
    {
        robot::Program program(Stub() + " extract nouser", dir_);
        robot::MessageBoxInfo box = AnswerNextBox(program, IDOK);
        EXPECT_EQ("Error", box.caption);
        EXPECT_EQ("error", box.icon);
        EXPECT_EQ("ParseCommandLine: ERROR: nouser is not a valid path: extracting locally", box.text);
        ExpectNoRecordBox(program);
        EXPECT_EQ(0, program.WaitExit());
    }
    for (std::string args : {std::string("extract"), "extract " + fixture::CommandLineDir("ExtractOut"), std::string("nouser extract")}) {
        SCOPED_TRACE(args);
        robot::Program program(Stub() + " " + args, dir_);
        ExpectNoRecordBox(program);
        EXPECT_EQ(0, program.WaitExit());
        std::string log = fixture::TempLog();
        EXPECT_TRUE(Contains(log, "WinMain: Calling ParseCommandLine()\r\nExtractLocally: Starting\r\n")) << log;
        EXPECT_TRUE(Contains(log, std::string("\r\n") + kNoRecord + "\r\n")) << log;
        EXPECT_FALSE(Contains(log, "license"));
    }
}

TEST_F(StartUp, MissingCarriedResourceEndsTheRun)
{
    std::string program_dir = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(program_dir.empty());
    struct Case { bool license, updateVersion, cabarc; const char* text; };
    const Case cases[] = {
        {false, true, true, "Failed to load license entry resource."},
        {true, false, true, "Could not uncompress all resources"},
        {true, true, false, "Failed to load cabarc entry resource."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        fixture::PackageOptions options;
        options.license = c.license;
        options.updateVersion = c.updateVersion;
        options.cabarc = c.cabarc;
        std::string fix = Package(options);
        DeleteFileA((program_dir + "\\UPGRADE.LOG").c_str());

        // Unattended: logged, exit code 1, the program directory's log untouched.
        robot::Program unattended(fix + " nouser", dir_);
        EXPECT_EQ(1, unattended.WaitExit());
        EXPECT_TRUE(Contains(fixture::TempLog(), std::string("\r\n") + c.text + "\r\n"));
        EXPECT_FALSE(fixture::FileExists(program_dir + "\\UPGRADE.LOG"));

        // Interactive: the same text in an error box, then the run ends.
        robot::Program interactive(fix, dir_);
        robot::MessageBoxInfo box = AnswerNextBox(interactive, IDOK);
        EXPECT_EQ(c.text, box.text);
        EXPECT_EQ("Error", box.caption);
        EXPECT_EQ("error", box.icon);
        EXPECT_NE(-1, interactive.WaitExit());
    }
}

TEST_F(StartUp, NormalEndAppendsTheLogToTheProgramDirectory)
{
    std::string program_dir = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(program_dir.empty());
    std::string fix = Package();
    const std::string earlier = "an earlier run\r\n";
    fixture::WriteFile(program_dir + "\\UPGRADE.LOG", earlier);

    std::string runs[2];
    for (std::string& run : runs) {
        robot::Program program(fix, dir_);
        ASSERT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
        EXPECT_TRUE(program.WaitText(IDC_STATE, "0"));
        CloseWizard(program);
        // The temporary log was moved, not copied.
        EXPECT_FALSE(fixture::FileExists(fixture::TempDir() + "\\UPGRADE.LOG"));
        std::string all = fixture::ReadFile(program_dir + "\\UPGRADE.LOG");
        size_t start = all.rfind("Tirn Hotfix Installer FI1.01 for W64\r\n");
        ASSERT_NE(std::string::npos, start);
        run = all.substr(start);
    }
    std::string all = fixture::ReadFile(program_dir + "\\UPGRADE.LOG");
    EXPECT_EQ(earlier + runs[0] + runs[1], all);
    for (const std::string& run : runs) {
        EXPECT_TRUE(Contains(run, "\r\nMainDlgProc: Received IDCANCEL, exiting...\r\nWinMain: Finished while(FALSE)\r\n\r\n\r\n"));
    }
    // Start-up left the licence in the product and the two tools in the temporary directory.
    EXPECT_EQ("Sample licence.\r\nUse at your own risk.\r\n", fixture::ReadFile(program_dir + "\\hotfix\\license\\license.txt"));
    EXPECT_FALSE(fixture::FileExists(dir_ + "\\license.txt"));
    EXPECT_EQ(fixture::ReadFile(fixture::BinDir() + "\\UpdateVersion.exe"), fixture::ReadFile(fixture::TempDir() + "\\UpdateVersion.exe"));
    EXPECT_EQ(fixture::ReadFile(fixture::BinDir() + "\\cabarc.exe"), fixture::ReadFile(fixture::TempDir() + "\\cabarc.exe"));
}

TEST_F(StartUp, SecondInstanceBringsTheFirstForwardAndEnds)
{
    ASSERT_FALSE(fixture::InstallProduct(dir_ + "\\product").empty());
    std::string fix = Package();
    robot::Program first(fix, dir_);
    HWND hDlg = first.WaitWindow(ZFIX_DIALOG_CLASS);
    ASSERT_TRUE(hDlg);
    ASSERT_TRUE(fixture::WaitTempLog("WinMain: Starting our message loop\r\n"));
    std::string log = fixture::TempLog();

    // Another window takes the foreground; the second installer gives it back to the first.
    HWND hOther = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL, NULL, NULL, NULL);
    SetForegroundWindow(hOther);
    robot::Program second(fix, dir_);
    EXPECT_NE(-1, second.WaitExit());
    EXPECT_EQ(hDlg, GetForegroundWindow());
    DestroyWindow(hOther);
    EXPECT_EQ(log, fixture::TempLog()) << "the second installer opened no log";
    EXPECT_TRUE(first.Running());

    CloseWizard(first);
}

}  // namespace
