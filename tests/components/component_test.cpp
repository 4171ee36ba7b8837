// The component updaters as users meet them: fixes built by zfixbuild whose component trees
// changed, installed by the real zfix.exe on sample installations laid by zsetup.exe.
#include "component_test.h"

#include "resources/resource.h"

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
                         "CreateUpgradedFiles: Calling ProcessJvm (2): canFileName = jvm\\jvm.cab",
                         "ProcessJvm: Removed jvm dir successfully", "Zorel has been successfully upgraded."});

    DeleteFileA(fixture::TempLog().c_str());
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectComponentsAre("base");
}
