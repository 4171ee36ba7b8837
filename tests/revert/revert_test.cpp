// Reverts as users meet them: fixes built by zfixbuild from trees of the sample product, installed
// and reverted by the real zfix.exe on installations laid by zsetup.exe (program directory, two
// data directories, the system directory), unattended and through the wizard. Each state is
// compared byte for byte with its tree, with the release text, the LP keys of ZOREL.INI and
// PATCH.INI.
#include "revert_test.h"

#include "resources/resource.h"

using fixture::Contains;
using fixture::ReadFile;

namespace {

const char kBaseDir[] = "Release1451FP1";
const char kHf21Dir[] = "Release1451FP1HF21";

std::string WithoutDate(const std::string& label) { return label.substr(0, label.find('|')); }

// A hotfix reverted unattended with a label and then, installed again, through the wizard's
// list: each time the installation is the base release again (added files gone, removed ones
// back), the LP keys are those of before the fix with CFP_LP_PREV naming the hotfix, and neither
// the registry nor a backup directory is left.
TEST_F(RevertTest, HotfixRevertsUnattendedAndThroughTheWizard)
{
    std::string fix = Fix("hotfix");
    InstallBase();
    const std::string lpBefore = LpKeys();
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "unattended" : "wizard");
        ASSERT_EQ(0, Run(fix)) << fixture::TempLog();
        ExpectTree("fix");
        ASSERT_TRUE(BackupDirExists(kBaseDir));
        if (pass == 0) {
            ASSERT_EQ(0, Run(fix, "revert " + WithoutDate(kBaseLabel))) << fixture::TempLog();
        } else {
            robot::Program program("\"" + fix + "\"", dir_);
            ToDirectoryPage(program);
            ASSERT_TRUE(program.Click(IDC_NEXT));
            WaitIdentified(program);
            ASSERT_EQ(std::vector<std::string>{kBaseLabel}, program.ListItems(IDC_LABELS));
            ASSERT_TRUE(program.SelectListItem(IDC_LABELS, 0));
            ASSERT_TRUE(program.WaitEnabled(IDC_NEXT, true));
            ASSERT_TRUE(program.Click(IDC_NEXT));
            EXPECT_EQ("Congratulations, you have successfully reverted this product.", WaitUpgradeResult(program));
            ASSERT_TRUE(program.Click(IDCANCEL));
            EXPECT_EQ(0, program.WaitExit());
        }
        ExpectTree("base");
        EXPECT_EQ(kBaseLabel, Release());
        std::string lpAfter = lpBefore;
        for (size_t at = 0; (at = lpAfter.find("CFP_LP_PREV=", at)) != std::string::npos; at += 12)
            lpAfter.replace(at + 12, lpAfter.find('\n', at) - at - 12, kFixLabel);
        EXPECT_EQ(lpAfter, LpKeys());
        EXPECT_EQ("(none)", Registry());
        EXPECT_FALSE(BackupDirExists(kBaseDir));
        EXPECT_FALSE(BackupDirExists(kHf21Dir));
        ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG"),
                       {"UpgradeZorelVersion: Calling RemoveBackupDirectories 2", "Zorel has been successfully reverted."});
    }
}

}  // namespace
