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

TEST_F(BackupDirs, RemoveBackupDirectoriesEmptiesEachListedLabelsDirectoryAndNothingElse) {
  std::string program = InstallBase();
  const std::string root = dir_ + "\\product";
  // Listed labels: one whose directory holds a file and a subdirectory, one without a
  // directory, an empty value, and labels whose directory names would be the program
  // directory itself or its parent.
  ASSERT_TRUE(fixture::WriteFile(program + "\\PATCH.INI",
                                 "[FIXPACKS]\r\n"
                                 "Label001=\"Release 14.5.0|January 9, 2026\"\r\n"
                                 "Label002=\"Release 14.4|March 3, 2025\"\r\n"
                                 "Label003=\r\n"
                                 "Label004=\"..\\..|x\"\r\n"
                                 "[HOTFIXES]\r\n"
                                 "Label001=\" . |y\"\r\n"));
  const std::string older = program + "\\Release1450";
  CreateDirectoryA(older.c_str(), NULL);
  CreateDirectoryA((older + "\\sub").c_str(), NULL);
  ASSERT_TRUE(fixture::WriteFile(older + "\\tdx0001.IIB", "a backup copy"));
  ASSERT_TRUE(fixture::WriteFile(older + "\\sub\\tdx0002.IIB", "a backup copy below"));
  ASSERT_TRUE(fixture::WriteFile(root + "\\keep.txt", "beside the program directory"));
  std::vector<std::string> programFiles;
  fixture::ForEachEntry(program, [&](const std::string& name, bool isDir) {
    if (!isDir && name != "PATCH.INI" && name != "UPGRADE.LOG") programFiles.push_back(name);
  });

  std::string fix = Fix("hf21");
  ASSERT_EQ(0, RunUnattended(fix));
  ASSERT_EQ(0, RunUnattended(fix, "revert Release"));

  EXPECT_FALSE(fixture::FileExists(older + "\\tdx0001.IIB"));
  EXPECT_EQ("a backup copy below", fixture::ReadFile(older + "\\sub\\tdx0002.IIB"));
  for (const std::string& name : programFiles) EXPECT_TRUE(fixture::FileExists(program + "\\" + name)) << name;
  EXPECT_EQ("beside the program directory", fixture::ReadFile(root + "\\keep.txt"));
  // After a hotfix: no registry and no licence copy.
  EXPECT_FALSE(fixture::FileExists(program + "\\PATCH.INI"));
  EXPECT_FALSE(fixture::FileExists(program + "\\hotfix\\license\\license.txt"));
  const std::string p = Upper(program);
  ExpectLogLines(
      RunLog(),
      {"Failed to remove backup directory " + p + "\\Release1450: not empty",
       "Failed to remove backup directory " + p + "\\Release144: no such directory",
       "Failed to remove backup directory " + p + "\\" + kHf21Dir + ": no such directory",
       "RemoveBackupDirectories: ERROR: the label ..\\..|x names no backup directory inside " + p + ", passed over",
       "RemoveBackupDirectories: ERROR: the label  . |y names no backup directory inside " + p + ", passed over"});
  EXPECT_TRUE(
      Contains(RunLog(), "Getting profile string for Label003, section FIXPACKS in " + p + "\\PATCH.INI: error: "));
}

}  // namespace
