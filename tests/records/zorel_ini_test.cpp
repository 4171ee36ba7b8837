// ZOREL.INI and the INI copies of a label's backup directory after upgrades and reverts by
// builder-made hotfixes, installed unattended by the real zfix.exe.
#include "records_test.h"

#include <gtest/gtest.h>

using fixture::Contains;

namespace {

class ZorelIni : public RecordsTest {
 protected:
  std::string Root() const { return dir_ + "\\product"; }
  std::string Data(int i) const { return Root() + "\\DATA" + std::to_string(i); }
  std::string DataIni(int i) const { return Data(i) + "\\ZOREL.INI"; }
  /* The [Zorel] header and Directory key that zsetup writes into data directory i. */
  std::string DataHead(int i) const { return "[Zorel]\r\nDirectory=" + Data(i) + "\r\n"; }
};

const std::string kBase = kBaseLabel;
const std::string kHf21 = kHf21Label;

TEST_F(ZorelIni, UpgradeKeepsACopyThenWritesPreviousBaseAndCurrent) {
  struct Row {
    const char* what;
    std::string fixKeys;
    std::string keys;  /* LP keys in ZOREL.INI before */
    std::string after; /* LP keys after */
  } rows[] = {
      {"no LP keys yet", "", "",
       "CFP_LP_PREV=" + kBase + "\r\nCFP_LP_BASE_VERSION=" + kBase + "\r\nCFP_LP_CURRENT=" + kHf21 + "\r\n"},
      {"LP keys of an earlier fix", "", "CFP_LP_BASE_VERSION=B0\r\nCFP_LP_CURRENT=C0\r\nCFP_LP_PREV=P0\r\n",
       "CFP_LP_BASE_VERSION=" + kBase + "\r\nCFP_LP_CURRENT=" + kHf21 + "\r\nCFP_LP_PREV=C0\r\n"},
      {"SKIP over SKIP goes back to the base version", "LP=SKIP\r\n",
       "CFP_LP_CURRENT=SKIP\r\nCFP_LP_BASE_VERSION=B\r\n",
       "CFP_LP_CURRENT=SKIP\r\nCFP_LP_BASE_VERSION=" + kHf21 + "\r\nCFP_LP_PREV=B\r\n"},
      {"SKIP over SKIP without a base version", "LP=SKIP\r\n", "CFP_LP_CURRENT=SKIP\r\n",
       "CFP_LP_CURRENT=SKIP\r\nCFP_LP_PREV=" + kBase + "\r\nCFP_LP_BASE_VERSION=" + kHf21 + "\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::string program = InstallBase();
    std::string original = DataHead(1) + row.keys;
    ASSERT_TRUE(fixture::WriteFile(DataIni(1), original));
    std::string programIni = fixture::ReadFile(program + "\\ZOREL.INI");
    ASSERT_EQ(0, RunUnattended(Fix("hf21", row.fixKeys)));
    EXPECT_EQ(DataHead(1) + row.after, fixture::ReadFile(DataIni(1)));
    EXPECT_EQ(original, fixture::ReadFile(Data(1) + "\\" + kBaseDir + "\\ZOREL_INI.BCK"));
    EXPECT_EQ(programIni, fixture::ReadFile(program + "\\ZOREL.INI"));
    // No registry before the fix: no copy of it.
    EXPECT_FALSE(fixture::FileExists(program + "\\" + kBaseDir + "\\PATCH_INI.BCK"));
    ExpectLogLines(RunLog(), {"UpdateZorelIni: backed up " + Upper(DataIni(1)) + " to " + Upper(Data(1)) + "\\" +
                              kBaseDir + "\\ZOREL_INI.BCK"});
  }
}

TEST_F(ZorelIni, CopiesOnceMadeAreNeverOverwritten) {
  const std::string registry = "[FIXPACKS]\r\nLabel001=\"Release 14.5.0|January 9, 2026\"\r\n";
  const std::string zorel = "[Zorel]\r\nCFP_LP_CURRENT=first copy\r\n", registryCopy = "[HOTFIXES]\r\n";
  for (bool earlier : {false, true}) {
    SCOPED_TRACE(earlier ? "copies of an earlier upgrade over the base" : "no copies yet");
    std::string program = InstallBase();
    const std::string zorelPath = Data(1) + "\\" + kBaseDir + "\\ZOREL_INI.BCK";
    const std::string registryPath = program + "\\" + kBaseDir + "\\PATCH_INI.BCK";
    ASSERT_TRUE(fixture::WriteFile(program + "\\PATCH.INI", registry));
    const std::string data = fixture::ReadFile(DataIni(1));
    if (earlier) {
      CreateDirectoryA((Data(1) + "\\" + kBaseDir).c_str(), NULL);
      CreateDirectoryA((program + "\\" + kBaseDir).c_str(), NULL);
      ASSERT_TRUE(fixture::WriteFile(zorelPath, zorel));
      ASSERT_TRUE(fixture::WriteFile(registryPath, registryCopy));
    }
    ASSERT_EQ(0, RunUnattended(Fix("hf21")));
    EXPECT_EQ(earlier ? zorel : data, fixture::ReadFile(zorelPath));
    EXPECT_EQ(earlier ? registryCopy : registry, fixture::ReadFile(registryPath));
    if (earlier) {
      ExpectLogLines(RunLog(), {"UpdateZorelIni: backup " + Upper(Data(1)) + "\\" + kBaseDir +
                                "\\ZOREL_INI.BCK existed: not overwritten"});
    }
    fixture::RemoveProduct();
  }
}

TEST_F(ZorelIni, MissingConfigurationFileIsCreatedWithTheThreeKeys) {
  std::string program = InstallBase("--without ZOREL.INI");
  ASSERT_TRUE(DeleteFileA(DataIni(1).c_str()));
  ASSERT_EQ(0, RunUnattended(Fix("hf21")));
  EXPECT_EQ(
      "[Zorel]\r\nCFP_LP_BASE_VERSION=" + kBase + "\r\nCFP_LP_CURRENT=" + kHf21 + "\r\nCFP_LP_PREV=" + kBase + "\r\n",
      fixture::ReadFile(program + "\\ZOREL.INI"));
  EXPECT_FALSE(fixture::FileExists(DataIni(1)));
}

TEST_F(ZorelIni, PartitionWithoutItsOwnFileUsesTheProgramDirectorysAndKeepsItsCopyAtHome) {
  std::string program = InstallBase("--partitions 2");
  ASSERT_TRUE(DeleteFileA(DataIni(1).c_str()));
  const std::string programIni = fixture::ReadFile(program + "\\ZOREL.INI");
  const std::string second = fixture::ReadFile(DataIni(2));
  ASSERT_FALSE(programIni.empty());
  ASSERT_EQ(0, RunUnattended(Fix("hf21")));
  const std::string keys =
      "CFP_LP_PREV=" + kBase + "\r\nCFP_LP_BASE_VERSION=" + kBase + "\r\nCFP_LP_CURRENT=" + kHf21 + "\r\n";
  EXPECT_EQ(programIni + keys, fixture::ReadFile(program + "\\ZOREL.INI"));
  EXPECT_EQ(programIni, fixture::ReadFile(Data(1) + "\\" + kBaseDir + "\\ZOREL_INI.BCK"));
  EXPECT_EQ(second + keys, fixture::ReadFile(DataIni(2)));
  EXPECT_EQ(second, fixture::ReadFile(Data(2) + "\\" + kBaseDir + "\\ZOREL_INI.BCK"));
  EXPECT_FALSE(fixture::FileExists(DataIni(1)));
  EXPECT_FALSE(fixture::FileExists(program + "\\" + kBaseDir + "\\ZOREL_INI.BCK"));
}

TEST_F(ZorelIni, DiagnosticsToolFixTouchesNeitherFile) {
  std::string program = InstallBase();
  ASSERT_TRUE(fixture::WriteFile(program + "\\PATCH.INI", "[FIXPACKS]\r\n"));
  const std::string data = fixture::ReadFile(DataIni(1)), programIni = fixture::ReadFile(program + "\\ZOREL.INI");
  ASSERT_EQ(0, RunUnattended(Fix("hf21", "Title=Fix of the tool: 3.3.0.0\r\nFixKind=TDX\r\n")));
  EXPECT_EQ(data, fixture::ReadFile(DataIni(1)));
  EXPECT_EQ(programIni, fixture::ReadFile(program + "\\ZOREL.INI"));
  EXPECT_FALSE(fixture::FileExists(Data(1) + "\\" + kBaseDir));
  EXPECT_FALSE(fixture::FileExists(program + "\\" + kBaseDir + "\\PATCH_INI.BCK"));
  ExpectLogLines(RunLog(), {"UpdateZorelIni: Called with new [" + kHf21 + "] and old [" + kBase + "]"});
}

TEST_F(ZorelIni, RevertPutsTheKeysBackAndRemovesTheLabelsCopies) {
  const std::string keys = "CFP_LP_BASE_VERSION=B0\r\nCFP_LP_CURRENT=C0\r\nCFP_LP_PREV=P0\r\n";
  // The configuration file in the data directory: its copy has a directory of its own there.
  {
    std::string program = InstallBase();
    ASSERT_TRUE(fixture::WriteFile(DataIni(1), DataHead(1) + keys));
    std::string fix = Fix("hf21");
    ASSERT_EQ(0, RunUnattended(fix));
    ASSERT_TRUE(fixture::FileExists(Data(1) + "\\" + kBaseDir + "\\ZOREL_INI.BCK"));
    ASSERT_EQ(0, RunUnattended(fix, "revert Release"));
    // CFP_LP_PREV names the release that was installed when the revert began.
    EXPECT_EQ(DataHead(1) + "CFP_LP_BASE_VERSION=B0\r\nCFP_LP_CURRENT=C0\r\nCFP_LP_PREV=" + kHf21 + "\r\n",
              fixture::ReadFile(DataIni(1)));
    EXPECT_FALSE(fixture::FileExists(Data(1) + "\\" + kBaseDir));
    // A hotfix revert takes the registry away.
    EXPECT_FALSE(fixture::FileExists(program + "\\PATCH.INI"));
    fixture::RemoveProduct();
  }
  // The configuration file in the program directory, with a registry before the fix: both
  // copies lie in the program directory's backup directory, beside the file backups.
  {
    std::string program = InstallBase();
    ASSERT_TRUE(DeleteFileA(DataIni(1).c_str()));
    ASSERT_TRUE(fixture::WriteFile(program + "\\ZOREL.INI", "[Zorel]\r\n" + keys));
    ASSERT_TRUE(
        fixture::WriteFile(program + "\\PATCH.INI", "[FIXPACKS]\r\nLabel001=\"Release 14.5.0|January 9, 2026\"\r\n"));
    std::string fix = Fix("hf21");
    ASSERT_EQ(0, RunUnattended(fix));
    const std::string labelDir = program + "\\" + kBaseDir;
    ASSERT_TRUE(fixture::FileExists(labelDir + "\\ZOREL_INI.BCK"));
    ASSERT_TRUE(fixture::FileExists(labelDir + "\\PATCH_INI.BCK"));
    ASSERT_EQ(0, RunUnattended(fix, "revert Release"));
    EXPECT_EQ("[Zorel]\r\nCFP_LP_BASE_VERSION=B0\r\nCFP_LP_CURRENT=C0\r\nCFP_LP_PREV=" + kHf21 + "\r\n",
              fixture::ReadFile(program + "\\ZOREL.INI"));
    EXPECT_FALSE(fixture::FileExists(labelDir + "\\ZOREL_INI.BCK"));
    EXPECT_FALSE(fixture::FileExists(labelDir + "\\PATCH_INI.BCK"));
    std::string log = RunLog();
    // The label's copies are used up: the next upgrade over the base copies the file anew,
    // and its revert finds the keys of that copy.
    ASSERT_EQ(0, RunUnattended(fix));
    EXPECT_EQ("[Zorel]\r\nCFP_LP_BASE_VERSION=B0\r\nCFP_LP_CURRENT=C0\r\nCFP_LP_PREV=" + kHf21 + "\r\n",
              fixture::ReadFile(labelDir + "\\ZOREL_INI.BCK"));
    ASSERT_EQ(0, RunUnattended(fix, "revert Release"));
    EXPECT_EQ("[Zorel]\r\nCFP_LP_BASE_VERSION=B0\r\nCFP_LP_CURRENT=C0\r\nCFP_LP_PREV=" + kHf21 + "\r\n",
              fixture::ReadFile(program + "\\ZOREL.INI"));
    const std::string copies = Upper(program) + "\\" + kBaseDir;
    ExpectLogLines(log, {"RemoveDir: Removing zorel backup: [" + copies + "\\ZOREL_INI.BCK]",
                         "RemoveDir: Removing patch backup: [" + copies + "\\PATCH_INI.BCK]"});
  }
}

}  // namespace
