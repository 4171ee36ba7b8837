// The files a fix patches are verified before it starts, and a revert is offered the labels whose
// backups are complete: the real installer on sample installations, fixes made by zfixbuild.
#include "identify_test.h"

#include "package/checksum.h"
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

using fixture::Contains;

namespace {

std::string Hex(const std::string& bytes)
{
    char text[32];
    snprintf(text, sizeof(text), "%#lx", (unsigned long)zfix::Crc32(bytes.data(), bytes.size()));
    return text;
}

/* Holds a file open for reading and writing, letting others only read it, until destroyed. */
class Holder {
public:
    Holder(const std::string& path, const std::string& stop)
        : stop_(stop), holder_("\"" + fixture::BinDir() + "\\zhold.exe\" \"" + path + "\" read \"" + stop + "\"")
    {
        fixture::WaitFileHeld(path);
    }
    ~Holder()
    {
        fixture::WriteFile(stop_, "stop");
        holder_.WaitExit();
    }

private:
    std::string stop_;
    robot::Program holder_;
};

class Verification : public IdentifyTest {};

TEST_F(Verification, ABaseFileWithAnotherChecksumFails)
{
    std::string program = InstallBase();
    std::string base = fixture::ReadFile(program + "\\nzorel.dll");
    std::string changed = base;
    changed[100] ^= 1;
    fixture::WriteFile(program + "\\nzorel.dll", changed);
    Identified result = RunIdentification(Fix(""), dir_);
    ExpectLogLines(result.log, {"File nzorel.dll failed checksum. (Found " + Hex(changed) + ", Expected " + Hex(base) + ")",
                                "Unable to verify release."});
    EXPECT_EQ("Installer found the incorrect version " + std::string(kBaseLabel) + " of Zorel in " + Upper(program) +
                  ".  Please check to ensure this is the correct directory or use a corresponding installer. See the "
                  "file UPGRADE.LOG for more information.",
              result.text);
    EXPECT_TRUE(result.textShown);
}

TEST_F(Verification, AFileHeldInTheProgramDirectoryFails)
{
    std::string program = InstallBase();
    Holder held(program + "\\nzorel.dll", dir_ + "\\stop");
    Identified result = RunIdentification(Fix(""), dir_);
    ExpectLogLines(result.log, {"The file nzorel.dll is missing or in use by another process. Skipping",
                                "Unable to verify release."});
}

TEST_F(Verification, AFileHeldInOnePartitionLeavesThatPartitionAlone)
{
    InstallBase("--partitions 2");
    const std::string data1 = Upper(dir_ + "\\product\\DATA1"), data2 = Upper(dir_ + "\\product\\DATA2");
    // other.tpl comes first in the fix: held in DATA1, that partition is left out of the rest of
    // the verification, so that the wrong report.tpl of DATA1 is not looked at.
    fixture::WriteFile(data1 + "\\templates\\report.tpl", "not the base release's report");
    Holder held(data1 + "\\templates\\other.tpl", dir_ + "\\stop");
    Identified result = RunIdentification(Fix(""), dir_);
    ExpectLogLines(result.log, {"The file " + data1 + "\\templates\\other.tpl is missing or in use by another process. Skipping",
                                "Verified " + std::string(kBaseLabel) + "."});
    EXPECT_TRUE(Contains(result.log, "VerifyFiles: Checksum for file " + data2 + "\\templates\\report.tpl (0x"));
    EXPECT_FALSE(Contains(result.log, "File " + data1 + "\\templates\\report.tpl failed checksum"));
    EXPECT_EQ("Identified Release 14.5.1FP1. Press Next to begin upgrading to Release 14.5.1FP1 HF21", result.text);
}

TEST_F(Verification, FaultsInEveryPartitionFail)
{
    InstallBase("--partitions 2");
    fixture::WriteFile(Upper(dir_ + "\\product\\DATA1") + "\\templates\\report.tpl", "changed in the first");
    fixture::WriteFile(Upper(dir_ + "\\product\\DATA2") + "\\templates\\other.tpl", "changed in the second");
    Identified result = RunIdentification(Fix(""), dir_);
    ExpectLogLines(result.log, {"VerifyFiles: No valid partitions found", "Unable to verify release."});
}

const char kOlderSection[] = "[Label001]\r\nLabel=Release 14.5.0|January 9, 2026\r\nProgram=base\\program\r\nData=base\\data\r\n";

class RevertLabels : public IdentifyTest {
protected:
    /* The backup copy of a program file under a label directory. */
    std::string Copy(const std::string& program, const std::string& dir, const std::string& fix, const char* file,
                     const char* stem)
    {
        char name[64];
        snprintf(name, sizeof(name), "%s%04d.IIB", stem, EntryOf(fix, file));
        return program + "\\" + dir + "\\" + name;
    }
};

TEST_F(RevertLabels, BackupsOfTwoEarlierLabelsAreBothOffered)
{
    std::string fix = Fix("", kOlderSection);
    std::string program = InstallFixed();
    std::string base = fixture::ReadFile(trees_ + "\\base\\program\\nzorel.dll");
    for (const char* dir : {"Release1451FP1", "Release1450"}) {
        CreateDirectoryA((program + "\\" + dir).c_str(), NULL);
        fixture::WriteFile(Copy(program, dir, fix, "nzorel.dll", "nzorel"), base);
    }
    Identified result = RunIdentification(fix, dir_, [](robot::Program& p) {
        EXPECT_EQ("Please, select release version to revert to:", p.Text(IDC_TEXT9));
        EXPECT_FALSE(p.Enabled(IDC_NEXT));
        // Choosing a label enables Next.
        EXPECT_TRUE(p.SelectListItem(IDC_LABELS, 1));
        EXPECT_TRUE(p.WaitEnabled(IDC_NEXT, true));
        EXPECT_TRUE(fixture::WaitTempLog("Selected Label to revert to: " + std::string(kOlderLabel)));
    });
    EXPECT_EQ((std::vector<std::string>{kBaseLabel, kOlderLabel}), result.labels);
    ExpectLogLines(result.log, {"+ DetermineMode: Returning MODE_REVERT", "gpcanFixLabels[i] : " + std::string(kBaseLabel) + " ",
                                "gpcanFixLabels[i] : " + std::string(kOlderLabel) + " "});
}

TEST_F(RevertLabels, NoBackupsLeaveNothingToRevertTo)
{
    InstallFixed();
    Identified result = RunIdentification(Fix(""), dir_);
    EXPECT_EQ("Installer hasn't found the correct backup version of zorel to revert to.", result.text);
    EXPECT_TRUE(result.textShown);
    ExpectLogLines(result.log, {"Can't find valid labels", "Unable to identify release."});
}

TEST_F(RevertLabels, AMissingCopyIsTakenFromAnotherLabel)
{
    std::string fix = Fix("", kOlderSection);
    std::string program = InstallFixed();
    std::string base = fixture::ReadFile(trees_ + "\\base\\program\\nzorel.dll");
    CreateDirectoryA((program + "\\Release1451FP1").c_str(), NULL);
    CreateDirectoryA((program + "\\Release1450").c_str(), NULL);
    std::string older = Copy(program, "Release1450", fix, "nzorel.dll", "nzorel");
    std::string missing = Copy(program, "Release1451FP1", fix, "nzorel.dll", "nzorel");
    fixture::WriteFile(older, base);
    Identified result = RunIdentification(fix, dir_);
    EXPECT_EQ(base, fixture::ReadFile(missing));
    std::string name = missing.substr(missing.rfind('\\') + 1);
    ExpectLogLines(result.log, {"FoundBackup: Copied Release1450\\" + name + " to Release1451FP1\\" + name});
    EXPECT_EQ((std::vector<std::string>{kBaseLabel, kOlderLabel}), result.labels);
}

TEST_F(RevertLabels, AMissingCopyIsTakenFromTheInstalledFileWhenItFits)
{
    std::string fix = Fix("");
    std::string program = InstallBase();
    CreateDirectoryA((program + "\\Release1451FP1").c_str(), NULL);
    std::string tdx = fixture::ReadFile(program + "\\tdx.exe");
    tdx[200] ^= 1;
    fixture::WriteFile(program + "\\tdx.exe", tdx);
    Identified result = RunIdentification(fix, dir_);
    std::string copy = Copy(program, "Release1451FP1", fix, "nzorel.dll", "nzorel");
    EXPECT_EQ(fixture::ReadFile(program + "\\nzorel.dll"), fixture::ReadFile(copy));
    ExpectLogLines(result.log, {"FoundBackup: file nzorel.dll found in the current directory"});
    // The changed tool does not fit its label: no copy is made of it.
    EXPECT_FALSE(fixture::FileExists(Copy(program, "Release1451FP1", fix, "tdx.exe", "tdx")));
    EXPECT_TRUE(Contains(result.log, "FoundBackup: file tdx.exe has different checksum: 0x"));
}

TEST_F(RevertLabels, UnattendedRevertTakesTheFirstLabelStartingWithTheGivenText)
{
    std::string fix = Fix("", kOlderSection);
    struct Case { const char* given; const char* chosen; };
    for (const Case& c : {Case{"Release 14.5", kBaseLabel}, Case{"Release 14.5.0", kOlderLabel}}) {
        SCOPED_TRACE(c.given);
        // The revert runs on its own to its end and changes the installation: each case has its own.
        fixture::RemoveTree(dir_ + "\\product");
        std::string program = InstallFixed();
        CreateDirectoryA((program + "\\Release1451FP1").c_str(), NULL);
        CreateDirectoryA((program + "\\Release1450").c_str(), NULL);
        DeleteFileA(fixture::TempLog().c_str());
        robot::Program run("\"" + fix + "\" nouser revert " + c.given, dir_);
        if (run.WaitExit(60000) == -1 && run.WaitWindow(ZFIX_DIALOG_CLASS))
            CloseAnswering(run);
        ExpectLogLines(fixture::ReadFile(program + "\\UPGRADE.LOG"),
                       {"MainDlgProc: Starting case WM_START_UPGRADE", "Revert label " + std::string(c.chosen) + " "});
    }
}

TEST_F(RevertLabels, UnattendedRevertWithOneLabelTakesIt)
{
    std::string fix = Fix("");
    std::string program = InstallFixed();
    CreateDirectoryA((program + "\\Release1451FP1").c_str(), NULL);
    robot::Program run("\"" + fix + "\" nouser", dir_);
    ASSERT_TRUE(fixture::WaitTempLog("MainDlgProc: Starting case WM_START_UPGRADE"));
    ExpectLogLines(fixture::TempLog(), {"Revert label " + std::string(kBaseLabel) + " "});
    ASSERT_TRUE(run.WaitWindow(ZFIX_DIALOG_CLASS));
    CloseAnswering(run);
}

TEST_F(RevertLabels, UnattendedRevertOfAFixNotInstalledWaitsForTheUpgrade)
{
    InstallBase();
    robot::Program run("\"" + Fix("") + "\" nouser revert Release 14.5", dir_);
    ASSERT_TRUE(run.WaitWindow(ZFIX_DIALOG_CLASS));
    const std::string text = "You need to upgrade to " + std::string(kFixLabel) + " before reverting. \n\tPress Next to upgrade. Press Close to abort.";
    ASSERT_TRUE(run.WaitText(IDC_TEXT1, text));
    EXPECT_TRUE(run.Visible(IDC_TEXT1));
    EXPECT_FALSE(run.Visible(IDC_TEXT5));
    // The run has become attended: it waits on the identification page until Next.
    EXPECT_TRUE(run.WaitEnabled(IDC_NEXT, true));
    EXPECT_EQ("2", run.Text(IDC_STATE));
    ASSERT_TRUE(run.Click(IDC_NEXT));
    ASSERT_TRUE(run.WaitText(IDC_STATE, "3"));
    CloseAnswering(run);
}

TEST_F(RevertLabels, MoreThanFiftyTwoLabelsAreAllOffered)
{
    std::string sections;
    std::vector<std::string> expected = {kBaseLabel};
    std::string program = InstallFixed();
    CreateDirectoryA((program + "\\Release1451FP1").c_str(), NULL);
    for (int i = 1; i <= 60; ++i) {
        char section[256], label[64], dir[32];
        snprintf(label, sizeof(label), "Release 14.4.%d|March 3, 2025", i);
        snprintf(section, sizeof(section), "[Label%03d]\r\nLabel=%s\r\nProgram=base\\program\r\nData=base\\data\r\n", i, label);
        snprintf(dir, sizeof(dir), "Release144%d", i);
        sections += section;
        expected.push_back(label);
        CreateDirectoryA((program + "\\" + dir).c_str(), NULL);
    }
    Identified result = RunIdentification(Fix("", sections), dir_);
    EXPECT_EQ(expected, result.labels);
}

}  // namespace
