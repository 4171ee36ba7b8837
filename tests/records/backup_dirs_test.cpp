// The removal of backup directories after a hotfix revert: the label's INI copies in its data
// directory's backup directory (RemoveDir), and the backup directories of the labels that
// PATCH.INI lists (RemoveBackupDirectories), through the real zfix.exe.
#include "records_test.h"

#include <gtest/gtest.h>

using fixture::Contains;

namespace {

class BackupDirs : public RecordsTest {};

TEST_F(BackupDirs, RemoveDirTakesTheIniCopiesAndAnEmptiedDirectory) {
  struct Row {
    const char* what;
    bool registryCopy; /* PATCH_INI.BCK beside ZOREL_INI.BCK */
    std::string other; /* a further file below the directory */
    bool removed;
    const char* line; /* a log line, %s the directory */
  } rows[] = {
      {"only the two INI copies", true, "", true, nullptr},
      {"no PATCH_INI.BCK", false, "", true, "RemoveDir: Failed to remove [%s\\PATCH_INI.BCK] as it didn't exist..."},
      {"a backup copy beside them", true, "nzorel0001.IIB", false,
       "RemoveDir: Failed to remove backup directory %s: not empty"},
      {"a subdirectory", true, "sub\\nzorel0001.IIB", false,
       "RemoveDir: Failed to remove backup directory %s: not empty"},
  };
  std::string fix = Fix("hf21");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallBase();
    ASSERT_EQ(0, RunUnattended(fix));
    const std::string dir = dir_ + "\\product\\DATA1\\" + kBaseDir;
    ASSERT_TRUE(fixture::FileExists(dir + "\\ZOREL_INI.BCK"));
    if (row.registryCopy) {
      ASSERT_TRUE(fixture::WriteFile(dir + "\\PATCH_INI.BCK", "[HOTFIXES]\r\n"));
    }
    if (!row.other.empty()) {
      CreateDirectoryA((dir + "\\sub").c_str(), NULL);
      ASSERT_TRUE(fixture::WriteFile(dir + "\\" + row.other, "a backup copy"));
    }
    ASSERT_EQ(0, RunUnattended(fix, "revert Release"));
    EXPECT_FALSE(fixture::FileExists(dir + "\\ZOREL_INI.BCK"));
    EXPECT_FALSE(fixture::FileExists(dir + "\\PATCH_INI.BCK"));
    EXPECT_EQ(!row.removed, fixture::FileExists(dir));
    if (!row.other.empty()) {
      EXPECT_EQ("a backup copy", fixture::ReadFile(dir + "\\" + row.other));
    }
    std::string log = RunLog();
    const std::string logged = Upper(dir_ + "\\product\\DATA1") + "\\" + kBaseDir;
    EXPECT_EQ(!row.removed, Contains(log, "UpdateZorelIni: Directory " + logged + " could not be removed"));
    if (row.line) {
      std::string line = row.line;
      line.replace(line.find("%s"), 2, logged);
      ExpectLogLines(log, {line});
    }
  }
}

TEST_F(BackupDirs, RemoveBackupDirectoriesEmptiesTheRevertedLabelsDirectoriesAndNothingElse) {
  std::string program = InstallBase();
  const std::string root = dir_ + "\\product";
  // Listed fixpacks stay installed under the hotfix: one whose directory holds a copy its own
  // revert needs, one without a directory, an empty value, and a label whose directory name
  // would be the program directory's parent. Listed hotfixes go with the revert: one whose
  // directory holds a file and a subdirectory, and one whose directory name would be the
  // program directory itself.
  ASSERT_TRUE(fixture::WriteFile(program + "\\PATCH.INI",
                                 "[FIXPACKS]\r\n"
                                 "Label001=\"Release 14.5.0|January 9, 2026\"\r\n"
                                 "Label002=\"Release 14.4|March 3, 2025\"\r\n"
                                 "Label003=\r\n"
                                 "Label004=\"..\\..|x\"\r\n"
                                 "[HOTFIXES]\r\n"
                                 "Label001=\" . |y\"\r\n"
                                 "Label002=\"Release 14.5.0 HF3|February 1, 2026\"\r\n"));
  const std::string fixpack = program + "\\Release1450", hotfix = program + "\\Release1450HF3";
  CreateDirectoryA(fixpack.c_str(), NULL);
  ASSERT_TRUE(fixture::WriteFile(fixpack + "\\tdx0001.IIB", "a backup copy"));
  CreateDirectoryA(hotfix.c_str(), NULL);
  CreateDirectoryA((hotfix + "\\sub").c_str(), NULL);
  ASSERT_TRUE(fixture::WriteFile(hotfix + "\\tdx0001.IIB", "a saved copy"));
  ASSERT_TRUE(fixture::WriteFile(hotfix + "\\sub\\tdx0002.IIB", "a saved copy below"));
  ASSERT_TRUE(fixture::WriteFile(root + "\\keep.txt", "beside the program directory"));
  std::vector<std::string> programFiles;
  fixture::ForEachEntry(program, [&](const std::string& name, bool isDir) {
    if (!isDir && name != "PATCH.INI" && name != "UPGRADE.LOG") programFiles.push_back(name);
  });

  std::string fix = Fix("hf21");
  ASSERT_EQ(0, RunUnattended(fix));
  ASSERT_EQ(0, RunUnattended(fix, "revert Release"));

  EXPECT_EQ("a backup copy", fixture::ReadFile(fixpack + "\\tdx0001.IIB"));
  EXPECT_FALSE(fixture::FileExists(hotfix + "\\tdx0001.IIB"));
  EXPECT_EQ("a saved copy below", fixture::ReadFile(hotfix + "\\sub\\tdx0002.IIB"));
  EXPECT_FALSE(fixture::FileExists(program + "\\" + kBaseDir));
  for (const std::string& name : programFiles) EXPECT_TRUE(fixture::FileExists(program + "\\" + name)) << name;
  EXPECT_EQ("beside the program directory", fixture::ReadFile(root + "\\keep.txt"));
  // After a hotfix: the registry lists the fixpacks only, and no licence copy is left.
  const std::string registry = program + "\\PATCH.INI";
  char value[300];
  GetPrivateProfileStringA("FIXPACKS", "Label001", "DEFAULT", value, sizeof(value), registry.c_str());
  EXPECT_STREQ("Release 14.5.0|January 9, 2026", value);
  GetPrivateProfileStringA("HOTFIXES", "Label001", "DEFAULT", value, sizeof(value), registry.c_str());
  EXPECT_STREQ("DEFAULT", value);
  EXPECT_FALSE(fixture::FileExists(program + "\\hotfix\\license\\license.txt"));
  const std::string p = Upper(program);
  ExpectLogLines(
      RunLog(),
      {"Failed to remove backup directory " + p + "\\Release1450HF3: not empty",
       "Failed to remove backup directory " + p + "\\" + kHf21Dir + ": no such directory",
       "RemoveBackupDirectories: " + p + "\\Release1450 kept: the installed Release 14.5.0|January 9, 2026 needs it",
       "RemoveBackupDirectories: ERROR: the label ..\\..|x names no backup directory inside " + p + ", passed over",
       "RemoveBackupDirectories: ERROR: the label  . |y names no backup directory inside " + p + ", passed over"});
  EXPECT_TRUE(
      Contains(RunLog(), "Getting profile string for Label003, section FIXPACKS in " + p + "\\PATCH.INI: error: "));
}

// An upgrade by a fix without labels leaves the installed release as it was: the backup
// directories of the listed labels no longer installed (a fixpack listed after the installed
// one, a hotfix another one replaced) go, those of the installed labels stay with the copies
// their reverts take, so does that of a replaced hotfix whose section a revert to it reads, and
// the registry stays as it is.
TEST_F(BackupDirs, PlainFixUpgradeRemovesOnlyTheDirectoriesOfLabelsNoLongerInstalled) {
  std::string program = InstallBase();
  const std::string registry = program + "\\PATCH.INI";
  const std::string text =
      "[FIXPACKS]\r\n"
      "Label001=\"Release 14.5.0|January 9, 2026\"\r\n"
      "Label002=\"" +
      std::string(kBaseLabel) +
      "\"\r\n"
      "Label003=\"Release 14.5.1FP2|July 2, 2026\"\r\n"
      "[HOTFIXES]\r\n"
      "Label001=\"Release 14.5.1FP1 HF3|February 1, 2026\"\r\n"
      "Label002=\"Release 14.5.1FP1 HF2|January 20, 2026\"\r\n"
      "[\"Release 14.5.1FP1 HF2|January 20, 2026\"]\r\n"
      "BackupName001=Release1451FP1HF2\\tdx0001.IIB\r\n"
      "File001=tdx.exe\r\n"
      "Checksum001=0x1234\r\n";
  ASSERT_TRUE(fixture::WriteFile(registry, text));
  const struct {
    const char* dir;
    bool stays;
  } dirs[] = {{"Release1450", true},
               {"Release1451FP1", true},
               {"Release1451FP2", false},
               {"Release1451FP1HF3", false},
               {"Release1451FP1HF2", true}};
  for (const auto& d : dirs) {
    CreateDirectoryA((program + "\\" + d.dir).c_str(), NULL);
    ASSERT_TRUE(fixture::WriteFile(program + "\\" + d.dir + "\\tdx0001.IIB", "a backup copy"));
  }

  ASSERT_EQ(0, RunUnattended(Fix("hf21", "", "plain")));

  for (const auto& d : dirs) {
    SCOPED_TRACE(d.dir);
    if (d.stays)
      EXPECT_EQ("a backup copy", fixture::ReadFile(program + "\\" + d.dir + "\\tdx0001.IIB"));
    else
      EXPECT_FALSE(fixture::FileExists(program + "\\" + d.dir));
  }
  char value[300];
  GetPrivateProfileStringA("HOTFIXES", "Label001", "DEFAULT", value, sizeof(value), registry.c_str());
  EXPECT_STREQ("Release 14.5.1FP1 HF3|February 1, 2026", value);
  GetPrivateProfileStringA("FIXPACKS", "Label003", "DEFAULT", value, sizeof(value), registry.c_str());
  EXPECT_STREQ("Release 14.5.1FP2|July 2, 2026", value);
  const std::string p = Upper(program);
  ExpectLogLines(
      RunLog(), {"UpgradeZorelVersion: Calling RemoveBackupDirectories 3",
                 "RemoveBackupDirectories: " + p +
                     "\\Release1450 kept: the installed Release 14.5.0|January 9, "
                     "2026 needs it",
                 "RemoveBackupDirectories: " + p + "\\Release1451FP1 kept: the installed " + kBaseLabel + " needs it",
                 "RemoveBackupDirectories: " + p +
                     "\\Release1451FP1HF2 kept: a revert to Release 14.5.1FP1 HF2|January 20, 2026 needs it"});
}

}  // namespace
