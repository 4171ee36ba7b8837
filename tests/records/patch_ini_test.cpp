// PATCH.INI after hotfixes made by zfixbuild, installed unattended by the real zfix.exe: the whole
// file is compared with one computed from the trees.
#include "records_test.h"

#include <gtest/gtest.h>

using fixture::Contains;

namespace {

class PatchIni : public RecordsTest {};

std::string Quoted(const std::string& label) { return "\"" + label + "\""; }

TEST_F(PatchIni, FirstHotfixListsItsLabelThenTheNewAndTheOldSection) {
  std::string program = InstallBase();
  std::string fix = Fix("hf21");
  std::vector<FixFile> files = FilesOf(fix, "hf21");
  ASSERT_EQ(2u, files.size());
  ASSERT_EQ(0, RunUnattended(fix));
  EXPECT_EQ("[HOTFIXES]\r\nLabel001=" + Quoted(kHf21Label) + "\r\n" + LabelSection(kHf21Label, kHf21Dir, files, true) +
                LabelSection(kBaseLabel, kBaseDir, files, false),
            fixture::ReadFile(program + "\\PATCH.INI"));
  // The backup names are those of the copies the upgrade made.
  for (const FixFile& f : files) {
    std::string stem = f.name.substr(f.name.find_last_of('\\') + 1);
    stem = stem.substr(0, stem.find('.'));
    char name[64];
    snprintf(name, sizeof(name), "%s%04u.IIB", stem.c_str(), (unsigned)f.entry);
    EXPECT_TRUE(fixture::FileExists(program + "\\" + kBaseDir + "\\" + name)) << name;
  }
}

TEST_F(PatchIni, SecondHotfixOnTheSameBaseAddsItsLabelAndOnlyNewNames) {
  // The registry as HF21 left it, with a gap in the label list (Label005 is out of reach).
  std::vector<FixFile> hf21 = FilesOf(Fix("hf21"), "hf21");
  std::string fix = Fix("hf22");
  std::vector<FixFile> hf22 = FilesOf(fix, "hf22");
  ASSERT_EQ(2u, hf22.size());
  ASSERT_EQ("nzorel.dll", hf22[0].name);
  ASSERT_EQ("pomvi.dll", hf22[1].name);
  const std::string list =
      "[HOTFIXES]\r\nLabel001=" + Quoted(kHf21Label) +
      "\r\nLabel002=\"Release 14.5.1FP1 HF1|June 1, 2026\"\r\n"
      "Label003=\"Release 14.5.1FP1 HF2|June 2, 2026\"\r\nLabel005=\"Release 14.5.1FP1 HF5|June 5, 2026\"\r\n";
  const std::string hf21Section = LabelSection(kHf21Label, kHf21Dir, hf21, true);
  std::string program = InstallBase();
  ASSERT_TRUE(fixture::WriteFile(program + "\\PATCH.INI",
                                 list + hf21Section + LabelSection(kBaseLabel, kBaseDir, hf21, false)));

  ASSERT_EQ(0, RunUnattended(fix));
  // nzorel.dll keeps its first entry in the base's section; pomvi.dll joins it as entry 3.
  EXPECT_EQ(list + "Label004=" + Quoted(kHf22Label) + "\r\n" + hf21Section +
                LabelSection(kBaseLabel, kBaseDir, hf21, false) +
                LabelSection(kBaseLabel, kBaseDir, {hf22[1]}, false, 3, false) +
                LabelSection(kHf22Label, kHf22Dir, hf22, true),
            fixture::ReadFile(program + "\\PATCH.INI"));
}

TEST_F(PatchIni, SameFixAgainRewritesItsOwnSection) {
  std::string fix = Fix("hf21");
  std::vector<FixFile> files = FilesOf(fix, "hf21");
  // An earlier install of the same label recorded other files; the base's section records
  // nzorel.dll with a checksum and backup name of its own, which stay.
  const std::string before =
      "[FIXPACKS]\r\nLabel001=\"Release 14.5.0|January 9, 2026\"\r\n"
      "[HOTFIXES]\r\nLabel001=" +
      Quoted(kHf21Label) +
      "\r\n"
      "[" +
      Quoted(kHf21Label) +
      "]\r\n"
      "File001=old.dll\r\nChecksum001=0x1\r\nBackupName001=Release1451FP1HF21\\old0001.IIB\r\n"
      "File002=older.dll\r\nChecksum002=0x2\r\nBackupName002=Release1451FP1HF21\\older0002.IIB\r\n"
      "File003=oldest.dll\r\nChecksum003=0x3\r\nBackupName003=Release1451FP1HF21\\oldest0003.IIB\r\n"
      "[" +
      Quoted(kBaseLabel) +
      "]\r\n"
      "File001=nzorel.dll\r\nChecksum001=0xabc\r\nBackupName001=Release1451FP1\\nzorel0009.IIB\r\n"
      "[\"Release 14.5.0|January 9, 2026\"]\r\n"
      "File001=tdx.exe\r\nChecksum001=0x5\r\nBackupName001=Release1450\\tdx0001.IIB\r\n";
  std::string program = InstallBase();
  ASSERT_TRUE(fixture::WriteFile(program + "\\PATCH.INI", before));

  ASSERT_EQ(0, RunUnattended(fix));
  EXPECT_EQ(
      "[FIXPACKS]\r\nLabel001=\"Release 14.5.0|January 9, 2026\"\r\n"
      "[HOTFIXES]\r\nLabel001=" +
          Quoted(kHf21Label) + "\r\n" + LabelSection(kHf21Label, kHf21Dir, files, true) + "[" + Quoted(kBaseLabel) +
          "]\r\n"
          "File001=nzorel.dll\r\nChecksum001=0xabc\r\nBackupName001=Release1451FP1\\nzorel0009.IIB\r\n" +
          LabelSection(kBaseLabel, kBaseDir, {files[1]}, false, 2, false) +
          "[\"Release 14.5.0|January 9, 2026\"]\r\n"
          "File001=tdx.exe\r\nChecksum001=0x5\r\nBackupName001=Release1450\\tdx0001.IIB\r\n",
      fixture::ReadFile(program + "\\PATCH.INI"));
}

TEST_F(PatchIni, FixpackLabelsGoToTheirOwnList) {
  std::string program = InstallBase();
  std::string fix = Fix("hf21", "", "fixpack");
  std::vector<FixFile> files = FilesOf(fix, "hf21");
  ASSERT_EQ(0, RunUnattended(fix));
  EXPECT_EQ("[FIXPACKS]\r\nLabel001=" + Quoted(kHf21Label) + "\r\n" + LabelSection(kHf21Label, kHf21Dir, files, true) +
                LabelSection(kBaseLabel, kBaseDir, files, false),
            fixture::ReadFile(program + "\\PATCH.INI"));
}

TEST_F(PatchIni, WebAccessAddOnRecordsInRqaIni) {
  std::string program = InstallBase();
  std::string fix = Fix("hf21", "FixKind=RQA\r\n");
  std::vector<FixFile> files = FilesOf(fix, "hf21");
  ASSERT_EQ(0, RunUnattended(fix));
  EXPECT_FALSE(fixture::FileExists(program + "\\PATCH.INI"));
  EXPECT_EQ("[HOTFIXES]\r\nLabel001=" + Quoted(kHf21Label) + "\r\n" +
                LabelSection(kHf21Label, std::string(kHf21Dir) + "_RQA", files, true) +
                LabelSection(kBaseLabel, std::string(kBaseDir) + "_RQA", files, false),
            fixture::ReadFile(program + "\\RQA.INI"));
}

TEST_F(PatchIni, FixWithoutListedFilesLeavesItsEmptySectionAsWindowsDoes) {
  // Under Wine an empty-list section write creates neither the file nor the section; Windows
  // creates both, and the registry must read the same on either.
  std::string program = InstallBase();
  std::string fix = FixWithoutFiles(Fix("hf21"));
  ASSERT_EQ(0, RunUnattended(fix));
  EXPECT_EQ("[HOTFIXES]\r\nLabel001=" + Quoted(kHf21Label) + "\r\n[" + Quoted(kHf21Label) + "]\r\n",
            fixture::ReadFile(program + "\\PATCH.INI"));
}

}  // namespace
