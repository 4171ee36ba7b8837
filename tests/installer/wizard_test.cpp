// The wizard as users meet it: its pages driven through their controls by the robot, attended and
// unattended, with fixes made by zfixbuild on sample installations.
#include "identify_test.h"

#include "resources/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using fixture::Contains;

namespace {

class Wizard : public IdentifyTest {};

TEST_F(Wizard, LicencePageWaitsForAcceptance)
{
    InstallBase();
    robot::Program program("\"" + Fix("") + "\"", dir_);
    ASSERT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
    // The state number replaces the template's "V4.0" as the dialog opens.
    EXPECT_EQ("0", program.Text(IDC_STATE));
    EXPECT_EQ("Please, read the following license agreement carefully.", program.Text(IDC_TEXT1));
    EXPECT_EQ("Sample licence of the fix.\r\nRead it all.\r\n", program.Text(IDC_LICENSE));
    EXPECT_FALSE(program.Checked(IDC_ACCEPT));
    EXPECT_FALSE(program.Checked(IDC_DECLINE));
    EXPECT_FALSE(program.Enabled(IDC_NEXT));
    EXPECT_FALSE(program.Enabled(IDC_BACK));
    struct Step { int click; bool next; };
    for (const Step& s : {Step{IDC_DECLINE, false}, Step{IDC_ACCEPT, true}, Step{IDC_DECLINE, false}, Step{IDC_ACCEPT, true}}) {
        ASSERT_TRUE(program.Click(s.click));
        EXPECT_TRUE(program.WaitEnabled(IDC_NEXT, s.next)) << s.click;
    }
    CloseWizard(program);
}

TEST_F(Wizard, DirectoryPageRefusesAProgramDirectoryThatIsNotThere)
{
    InstallBase();
    robot::Program program("\"" + Fix("") + "\"", dir_);
    ToDirectoryPage(program);
    EXPECT_EQ("Welcome to the Vorin Zorel Incremental Installer.", program.Text(IDC_TEXT1));
    EXPECT_EQ(Upper(dir_ + "\\product\\PROGRAM"), program.Text(IDC_PROGDIR));
    EXPECT_EQ((std::vector<std::string>{Upper(dir_ + "\\product\\DATA1")}), program.ComboItems(IDC_DATADIRS));
    for (const char* bad : {"NULL", ""}) {
        SCOPED_TRACE(bad);
        ASSERT_TRUE(program.SetText(IDC_PROGDIR, bad));
        ASSERT_TRUE(program.Click(IDC_NEXT));
        robot::MessageBoxInfo box = AnswerNextBox(program, IDOK);
        EXPECT_EQ("Invalid Program directory", box.text);
        EXPECT_EQ("Incremental Installer", box.caption);
        EXPECT_EQ("error", box.icon);
        EXPECT_EQ("1", program.Text(IDC_STATE));
        EXPECT_TRUE(program.Visible(IDC_PROGDIR));
    }
    CloseWizard(program);
}

TEST_F(Wizard, BackFromTheFailurePageRebuildsTheDirectoryPage)
{
    std::string programDir = InstallBase();
    SetRelease(programDir, "Release 14.4.0|March 3, 2025");
    const std::string added = Upper(dir_ + "\\product\\EXTRA");
    CreateDirectoryA(added.c_str(), NULL);
    robot::Program program("\"" + Fix("") + "\"", dir_);
    ToDirectoryPage(program);
    // A data directory typed in and added to the list becomes a partition of the run.
    ASSERT_TRUE(program.TypeComboText(IDC_DATADIRS, added));
    ASSERT_TRUE(program.Click(IDC_NEXT));
    WaitIdentified(program);
    EXPECT_TRUE(Contains(program.Text(IDC_TEXT5), "Installer found the incorrect version Release 14.4.0|March 3, 2025 of Zorel in "));
    EXPECT_TRUE(Contains(fixture::TempLog(), "Using Zorel data directory " + added));
    EXPECT_TRUE(program.Visible(IDC_TEXT5));
    ASSERT_TRUE(program.WaitEnabled(IDC_BACK, true));
    EXPECT_FALSE(program.Enabled(IDC_NEXT));
    ASSERT_TRUE(program.Click(IDC_BACK));
    ASSERT_TRUE(program.WaitText(IDC_STATE, "1"));
    EXPECT_TRUE(program.Visible(IDC_PROGDIR));
    EXPECT_TRUE(program.Visible(IDC_DATADIRS));
    EXPECT_FALSE(program.Visible(IDC_TEXT5));
    EXPECT_EQ(Upper(programDir), program.Text(IDC_PROGDIR));
    EXPECT_EQ((std::vector<std::string>{Upper(dir_ + "\\product\\DATA1"), added}), program.ComboItems(IDC_DATADIRS));
    CloseWizard(program);
}

TEST_F(Wizard, UnattendedRunGoesFromTheLicenceToTheFinishPage)
{
    std::string programDir = InstallBase();
    robot::Program program("\"" + Fix("") + "\" nouser", dir_);
    ASSERT_EQ(0, program.WaitExit(60000)) << fixture::TempLog();
    ExpectLogLines(fixture::ReadFile(programDir + "\\UPGRADE.LOG"),
                   {"ConfigureDialog: case DLSSTATE_LICENSE", "ConfigureDialog: case DLSSTATE_DIRS",
                    "Verified " + std::string(kBaseLabel) + ".", "ConfigureDialog: case DLSSTATE_UPGRADE",
                    "MainDlgProc: Starting case WM_START_UPGRADE", "ConfigureDialog: case DLSSTATE_FINISHED",
                    "Zorel has been successfully upgraded."});
}

TEST_F(Wizard, UnattendedIdentificationFailureEndsTheRun)
{
    std::string programDir = InstallBase();
    SetRelease(programDir, "Release 14.4.0|March 3, 2025");
    robot::Program program("\"" + Fix("") + "\" nouser", dir_);
    EXPECT_EQ(1, program.WaitExit());
    EXPECT_TRUE(Contains(fixture::TempLog(), "\r\nInstaller found the incorrect version Release 14.4.0|March 3, 2025 of Zorel in "));
}

/* Pictures of the wizard's pages in <build>/screenshots/, to be looked at. */
class WizardScreenshots : public IdentifyTest {
protected:
    void Shoot(robot::Program& program, const std::string& name)
    {
        std::string dir = fixture::BinDir() + "\\..\\screenshots";
        CreateDirectoryA(dir.c_str(), NULL);
        int w = 0, h = 0;
        std::vector<DWORD> pixels = robot::CaptureWindow(program.Dialog(), &w, &h);
        EXPECT_TRUE(fixture::WritePng(dir + "\\" + name + ".png", w, h, pixels)) << name;
    }
};

TEST_F(WizardScreenshots, EachPage)
{
    std::string programDir = InstallBase();
    {
        robot::Program program("\"" + Fix("") + "\"", dir_);
        ASSERT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
        ASSERT_TRUE(program.Click(IDC_ACCEPT));
        ASSERT_TRUE(program.WaitEnabled(IDC_NEXT, true));
        Shoot(program, "1-licence");
        ASSERT_TRUE(program.Click(IDC_NEXT));
        ASSERT_TRUE(program.WaitText(IDC_STATE, "1"));
        Shoot(program, "2-directories");
        ASSERT_TRUE(program.Click(IDC_NEXT));
        WaitIdentified(program);
        Shoot(program, "3-identified");
        CloseAnswering(program);
    }
    SetRelease(programDir, "Release 14.4.0|March 3, 2025");
    RunIdentification(Fix(""), dir_, [this](robot::Program& program) { Shoot(program, "5-failure"); });
    fixture::RemoveProduct();

    std::string fix = Fix("", "[Label001]\r\nLabel=Release 14.5.0|January 9, 2026\r\nProgram=base\\program\r\nData=base\\data\r\n");
    std::string fixed = InstallFixed();
    CreateDirectoryA((fixed + "\\Release1451FP1").c_str(), NULL);
    CreateDirectoryA((fixed + "\\Release1450").c_str(), NULL);
    Identified result = RunIdentification(fix, dir_, [this](robot::Program& program) { Shoot(program, "4-revert-labels"); });
    EXPECT_EQ(2u, result.labels.size());
}

}  // namespace
