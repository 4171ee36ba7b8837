// Identification as users meet it: the real installer, run on sample installations at various
// releases with fixes that zfixbuild made, decides between upgrade and revert and says so.
#include "identify_test.h"

#include "resources/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using fixture::Contains;

namespace {

class Identification : public IdentifyTest {};

const char kCustom[] = "FixKind=Custom Fix\r\nStringsLibrary=nzorel.dll\r\n";
const char kTdx[] = "FixKind=TDX\r\n";
const char kRqa[] = "FixKind=RQA\r\nLP=Web Access RQA5.2\r\n";

enum Installed { AT_BASE, AT_FIX, AT_OTHER, AT_7_LINE };

struct Row {
    const char* what;
    std::string fixKeys;
    std::string kind;
    Installed installed;
    std::string setupOptions;
    std::string rqaIni;          /* RQA.INI of the program directory, when not empty */
    bool stx9;
    std::vector<std::string> lines;
    const char* result;          /* INV_UPGRADE, INV_REVERT or INV_UNKNOWN */
};

std::string Title(const char* version) { return std::string("Title=Fix of the tool: ") + version + "\r\n"; }

TEST_F(Identification, EachRowOfTheDecision)
{
    const std::string other = "Release 14.4.0|March 3, 2025";
    const std::string mode = "+ DetermineMode: Returning MODE_";
    const Row rows[] = {
        {"release-strings library missing", Title("14.5.1.7") + kCustom, "hotfix", AT_BASE, "--without nzorel.dll", "",
         false, {"DetermineMode: ERROR: Can't open nzorel.dll", mode + "UPGRADE"}, "INV_UPGRADE"},
        {"ordinary hotfix over its base", "", "hotfix", AT_BASE, "", "", false,
         {"VerifyValidLabels: UPGRADE: Current version [" + std::string(kBaseLabel) + "] is equal to old version: [" +
              kBaseLabel + "]",
          "DetermineMode: Calling RestoreBaseRelease", mode + "UPGRADE"},
         "INV_UPGRADE"},
        {"ordinary fixpack over itself", "", "fixpack", AT_FIX, "", "", false,
         {"DetermineMode: Current version  " + std::string(kFixLabel) + " is equal to new version: " + kFixLabel,
          mode + "REVERT"},
         "INV_REVERT"},
        {"ordinary hotfix over another release", "", "hotfix", AT_OTHER, "", "", false,
         {"DetermineMode: Current version  " + other + " is not equal to new version: " + kFixLabel,
          "DetermineMode: ERROR: RestoreBaseRelease didn't work as expected", mode + "AMBIGUOUS"},
         "INV_UNKNOWN"},
        {"type 0 over its base", "", "plain", AT_BASE, "", "", false, {mode + "UPGRADE"}, "INV_UPGRADE"},
        {"type 0 over another release", "", "plain", AT_OTHER, "", "", false,
         {"DetermineMode: Calling RestoreBaseRelease", "DetermineMode: ERROR: RestoreBaseRelease didn't work as expected",
          mode + "UPGRADE"},
         "INV_UPGRADE"},
        {"diagnostics tool fix sorting after the tool", Title("3.3.0.0") + kTdx, "hotfix", AT_BASE, "", "", false,
         {"current TDX version:3.2.0.0 is different from the new one 3.3.0.0"}, "INV_UPGRADE"},
        // As texts, 3.10.0.0 sorts before 3.2.0.0.
        {"diagnostics tool fix sorting before the tool", Title("3.10.0.0") + kTdx, "hotfix", AT_BASE, "", "", false,
         {"current TDX version:3.2.0.0 is different from the new one 3.10.0.0",
          "new TDX version:3.10.0.0 was built for a different release than your current one: 3.2.0"},
         "INV_REVERT"},
        {"diagnostics tool fix of the installed tool", Title("3.2.0.0") + kTdx, "hotfix", AT_BASE, "", "", false,
         {"current TDX version:3.2.0.0 is the same as the new one 3.2.0.0: REVERT"}, "INV_REVERT"},
        {"custom fix of the installed version", Title("14.5.1.0") + kCustom, "hotfix", AT_BASE, "", "", false,
         {"current Custom version:14.5.1.0 is the same as the new one 14.5.1.0: REVERT"}, "INV_REVERT"},
        {"custom fix newer than the target", Title("14.5.1.7") + kCustom, "hotfix", AT_BASE, "", "", false,
         {"current Custom version:14.5.1.0 is different from the new one 14.5.1.7", "STR_RELEASE_TEXT: " +
                                                                                        std::string(kFixLabel)},
         "INV_UPGRADE"},
        {"custom fix of another release line", Title("7.0.5.3") + kCustom, "hotfix", AT_BASE, "", "", false,
         {"new Custom version:7.0.5.3 was built for a different release. Your current release is : 14.5.1"}, "INV_UNKNOWN"},
        {"custom fix inside its maximum", Title("7.0.5.3") + kCustom + "ReleaseText=Custom fix Maximum:7.0.09\r\n",
         "hotfix", AT_7_LINE, "", "", false,
         {"Max version: 7.0.09", "Maximum targeted Halvex version 7.0.09 is the same or more than the current one 7.0.05"},
         "INV_UPGRADE"},
        // The maximum is read as its first 6 characters.
        {"custom fix with a maximum of 8 characters", Title("7.0.5.3") + kCustom + "ReleaseText=Custom fix Maximum:7.0.0999\r\n",
         "hotfix", AT_7_LINE, "", "", false,
         {"Max version: 7.0.09", "Maximum targeted Halvex version 7.0.09 is the same or more than the current one 7.0.05"},
         "INV_UPGRADE"},
        {"custom fix above its maximum", Title("7.0.5.3") + kCustom + "ReleaseText=Custom fix Maximum:7.0.03\r\n",
         "hotfix", AT_7_LINE, "", "", false,
         {"Maximum targeted Halvex version 7.0.03 less than 7.0.05: this custom fix doesn't apply"}, "INV_UNKNOWN"},
        {"custom fix above its maximum with STX9", Title("7.0.5.3") + kCustom + "ReleaseText=Custom fix Maximum:7.0.03\r\n",
         "hotfix", AT_7_LINE, "", "", true,
         {"Maximum targeted Halvex version 7.0.03 less than 7.0.05: this custom fix doesn't apply"}, "INV_UPGRADE"},
        {"custom fix inside its minimum", Title("7.0.5.3") + kCustom + "ReleaseText=Custom fix Minimum:7.0.01\r\n",
         "hotfix", AT_7_LINE, "", "", false, {"Min version: 7.0.01", "7.0.01 less or more than the current one 7.0.05"},
         "INV_UPGRADE"},
        {"custom fix below its minimum", Title("7.0.5.3") + kCustom + "ReleaseText=Custom fix Minimum:7.0.08\r\n",
         "hotfix", AT_7_LINE, "", "", false,
         {"Minimum targeted version 7.0.08 more than the current one 7.0.05: this custom fix doesn't apply"}, "INV_UNKNOWN"},
        {"custom fix below its minimum with STX9", Title("7.0.5.3") + kCustom + "ReleaseText=Custom fix Minimum:7.0.08\r\n",
         "hotfix", AT_7_LINE, "", "", true,
         {"Minimum targeted version 7.0.08 more than the current one 7.0.05: this custom fix doesn't apply"}, "INV_UPGRADE"},
        {"web-access add-on fix over its own label", kRqa, "hotfix", AT_BASE, "",
         "[HOTFIXES]\r\nLabel001=Web Access RQA5.2|June 1, 2026\r\n", false, {mode + "REVERT"}, "INV_REVERT"},
        {"web-access add-on label without numbers", kRqa, "hotfix", AT_BASE, "",
         "[HOTFIXES]\r\nLabel001=Web Access RQA|June 1, 2026\r\n", false, {mode + "AMBIGUOUS"}, "INV_UNKNOWN"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string fix = Fix(row.fixKeys, "", row.kind);
        std::string program = row.installed == AT_FIX ? InstallFixed(row.setupOptions) : InstallBase(row.setupOptions);
        if (row.installed == AT_OTHER)
            SetRelease(program, other);
        if (row.installed == AT_7_LINE) {
            ASSERT_TRUE(CopyFileA((fixture::BinDir() + "\\..\\product-v7\\tessra.dll").c_str(),
                                  (program + "\\tessra.dll").c_str(), FALSE));
        }
        if (!row.rqaIni.empty())
            fixture::WriteFile(program + "\\RQA.INI", row.rqaIni);
        SetEnvironmentVariableA("STX9", row.stx9 ? "1" : NULL);
        Identified result = RunIdentification(fix, dir_);
        SetEnvironmentVariableA("STX9", NULL);
        std::vector<std::string> lines = row.lines;
        lines.push_back(std::string("IdentifyZorelVersion: DetermineMode returns ") + row.result +
                        (std::string(row.result) == "INV_UNKNOWN" ? " (that is not good)" : ""));
        ExpectLogLines(result.log, lines);
        if (std::string(row.result) == "INV_UNKNOWN") {
            EXPECT_TRUE(result.textShown && Contains(result.text, "Installer found the incorrect version ")) << result.text;
        }
        fixture::RemoveProduct();
    }
}

// A custom fix's revert takes its backup directory from the installed release text (currver.txt,
// written by the release-string tool from tessra.dll): it must name one plain folder below the
// program directory, never a path of its own.
TEST_F(Identification, ACustomFixsBackupDirectoryIsAPlainName)
{
    // The fix's files are installed and the strings library it names (pomvi.dll, which it leaves
    // alone) has its version: a revert, verified, that reaches the custom fix's backup directory.
    std::string fix = Fix(Title("14.5.1.0") + "FixKind=Custom Fix\r\nStringsLibrary=pomvi.dll\r\n", "", "hotfix");
    const struct {
        const char* what;
        std::string release;
        std::string dir;   /* the backup directory shown, "" when refused */
    } rows[] = {
        {"release text of the base", kBaseLabel, "Release1451FP1"},
        {"release text naming a drive's folder", "C:\\hostile_custom|May 1, 2020", ""},
        // The directory name leaves out the dots: \\hostile_custom, a network path.
        {"release text naming a network path", "..\\..\\hostile_custom|May 1, 2020", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string program = InstallFixed();
        SetRelease(program, row.release);
        Identified result = RunIdentification(fix, dir_);
        if (!row.dir.empty()) {
            EXPECT_EQ("Backup directory for custom fix:" + row.dir, result.text);
        } else {
            EXPECT_FALSE(Contains(result.log, "Backup directory for custom fix:")) << result.log;
            EXPECT_TRUE(result.textShown && Contains(result.text, "names no plain backup directory")) << result.text;
        }
        fixture::RemoveProduct();
    }
}

TEST_F(Identification, TypeZeroOverItselfReverts)
{
    // A fix without labels: its table names the files as they were before it.
    std::string fix = Fix("", "", "plain");
    InstallFixed();
    Identified result = RunIdentification(fix, dir_);
    std::vector<std::string> lines = fixture::Lines(result.log);
    bool found = false;
    for (const std::string& l : lines)
        found = found || Contains(l, "DetermineMode: REVERT: Current checksum  ");
    EXPECT_TRUE(found) << result.log;
    ExpectLogLines(result.log, {"+ DetermineMode: Returning MODE_REVERT", "IdentifyZorelVersion: DetermineMode returns INV_REVERT"});
    EXPECT_EQ("Identified Release 14.5.1FP1 HF21. Press Next to begin reverting to Release 14.5.1FP1", result.text);
}

TEST_F(Identification, AnUpgradeIsOfferedWithBothReleases)
{
    InstallBase();
    Identified result = RunIdentification(Fix(""), dir_, [](robot::Program& program) {
        // The directory page is gone, its opened list of data directories too.
        EXPECT_FALSE(program.Visible(IDC_DATADIRS));
        EXPECT_EQ(0, SendMessageA(GetDlgItem(program.Dialog(), IDC_DATADIRS), CB_GETDROPPEDSTATE, 0, 0));
    });
    EXPECT_EQ("Identified Release 14.5.1FP1. Press Next to begin upgrading to Release 14.5.1FP1 HF21", result.text);
    ExpectLogLines(result.log, {"Identified Release 14.5.1FP1.", "Verified " + std::string(kBaseLabel) + "."});
}

TEST_F(Identification, NotEnoughDiskSpace)
{
    std::string fix = EditedFix(Fix(""), [](zfix::FIXRECORD& record) { 
        record.header.dwProgramSpace = 0xFFFFFF00u;
        record.header.dwDataDirSpace = 0;
    });
    std::string program = Upper(InstallBase());
    {
        Identified result = RunIdentification(fix, dir_);
        const std::string start = "There is insufficent disk space available on " + program + ".  You need 4294967040 Kbytes, but have only ";
        EXPECT_EQ(start, result.text.substr(0, start.size())) << result.text;
        EXPECT_TRUE(result.textShown);
        ExpectLogLines(result.log, {"IdentifyZorelVersion: NOT ENOUGH AVAILABLE DISKSPACE!", "Unable to identify release."});
    }
    {
        robot::Program run("\"" + fix + "\" nouser", dir_);
        EXPECT_EQ(1, run.WaitExit());
        std::string log = fixture::TempLog();
        EXPECT_TRUE(Contains(log, "\r\nThere is insufficent disk space available on " + program + ".  You need 4294967040 Kbytes")) << log;
    }
}

}  // namespace
