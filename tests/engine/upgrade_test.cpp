// The upgrade engine as users meet it: fixes built by zfixbuild installed by the real zfix.exe on
// sample installations (program directory, two data directories, the system directory), unattended
// and through the wizard, compared byte for byte with the fix's trees.
#include "engine_test.h"

#include "package/file_entry.h"
#include "resources/resource.h"

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
}
