// "listfix" and "fixdetails": the labels of PATCH.INI and the files that still have their recorded
// checksums, as the "Info" box shows them, through the real zfix.exe on a sample installation.
#include "records_test.h"

#include <gtest/gtest.h>

using fixture::Contains;

namespace {

const char kNoInformation[] = "No information about current patches is available";

class Listing : public RecordsTest {
 protected:
  void SetUp() override {
    RecordsTest::SetUp();
    programDir_ = InstallBase();
    fix_ = Package();
  }

  /* Runs the listing word; the text of the "Info" box (other boxes answered and kept). */
  std::string List(const char* word, int expectedExit = 0) {
    others_.clear();
    std::string info;
    robot::Program program(fix_ + " " + word, dir_);
    robot::MessageBoxInfo box;
    while (program.WaitMessageBox(&box, 10000)) {
      if (box.caption == "Info")
        info = box.text;
      else
        others_.push_back(box.caption + ": " + box.text);
      program.Answer(box, IDOK);
    }
    EXPECT_EQ(expectedExit, program.WaitExit());
    return info;
  }

  /* The path of a program directory file as the listing writes it. */
  std::string Listed(const std::string& name) const { return "\t" + Upper(programDir_) + "\\" + name + "\r\n"; }
  std::string Sum(const std::string& name) const {
    return ChecksumText(Crc(fixture::ReadFile(programDir_ + "\\" + name)));
  }
  void Registry(const std::string& text) { ASSERT_TRUE(fixture::WriteFile(programDir_ + "\\PATCH.INI", text)); }

  std::string programDir_, fix_;
  std::vector<std::string> others_;
};

TEST_F(Listing, LabelsOfBothSectionsAndTheFilesThatStillMatch) {
  const std::string fp0 = "Release 14.5.1|March 2, 2026";
  Registry("[FIXPACKS]\r\nLabel001=\"" + std::string(kBaseLabel) + "\"\r\nLabel002=\"" + fp0 +
           "\"\r\n"
           "[HOTFIXES]\r\nLabel001=\"" +
           std::string(kHf21Label) +
           "\"\r\n"
           "[\"" +
           std::string(kHf21Label) +
           "\"]\r\n"
           "File001=nzorel.dll\r\nChecksum001=" +
           Sum("nzorel.dll") + "\r\nBackupName001=" + kHf21Dir +
           "\\nzorel0001.IIB\r\n"
           "File002=sig\\nzorel.sf\r\nChecksum002=0x1\r\nBackupName002=" +
           kHf21Dir +
           "\\nzorel0002.IIB\r\n"
           "File003=gone.dll\r\nChecksum003=0x2\r\nBackupName003=" +
           kHf21Dir +
           "\\gone0003.IIB\r\n"
           "File004=pomvi.dll\r\nChecksum004=" +
           Sum("pomvi.dll") + "\r\nBackupName004=" + kHf21Dir +
           "\\pomvi0004.IIB\r\n"
           "[\"" +
           fp0 +
           "\"]\r\n"
           "File001=tdx.exe\r\nChecksum001=" +
           Sum("tdx.exe") + "\r\nBackupName001=Release1451\\tdx0001.IIB\r\n");
  const std::string labels = "Installed Fixpacks:\r\n\r\n" + std::string(kBaseLabel) + "\r\n" + fp0 +
                             "\r\n"
                             "Installed Hotfixes:\r\n\r\n" +
                             kHf21Label + "\r\n";
  // A label whose section is missing is listed without file lines; a file that changed since
  // (sig\nzorel.sf) is listed as overwritten, and one that is gone is left out.
  const std::string details = "Installed Fixpacks:\r\n\r\n" + std::string(kBaseLabel) + "\r\n" + fp0 + "\r\n" +
                              Listed("tdx.exe") + "Installed Hotfixes:\r\n\r\n" + kHf21Label + "\r\n" +
                              Listed("nzorel.dll") + "\t" + Upper(programDir_) + "\\sig\\nzorel.sf overwritten.\r\n" +
                              Listed("pomvi.dll");

  EXPECT_EQ(labels, List("listfix"));
  EXPECT_TRUE(others_.empty()) << others_[0];
  EXPECT_EQ(labels, fixture::ReadFile(dir_ + "\\patch.txt"));
  EXPECT_EQ(details, fixture::ReadFile(dir_ + "\\patch_detail.txt"));

  EXPECT_EQ(details, List("fixdetails"));
  std::string log = fixture::TempLog();
  ExpectLogLines(
      log,
      {"CheckValidLabel: ERROR: Couldn't open the file " + Upper(programDir_) + "\\gone.dll to verify the checksum",
       "CheckValidLabel: File " + Upper(programDir_) + "\\nzorel.dll matches fix version " + kHf21Label});
}

TEST_F(Listing, WhatEachRegistryShows) {
  const std::string hf = "[HOTFIXES]\r\n";
  struct Row {
    const char* what;
    std::string registry;
    std::string listfix; /* the "Info" box of listfix */
  } rows[] = {
      {"hotfixes only", hf + "Label001=\"" + kHf21Label + "\"\r\n",
       "Installed Hotfixes:\r\n\r\n" + std::string(kHf21Label) + "\r\n"},
      {"a gap ends the list", hf + "Label001=\"A|1\"\r\nLabel002=\"B|2\"\r\nLabel003=\"C|3\"\r\nLabel005=\"E|5\"\r\n",
       "Installed Hotfixes:\r\n\r\nA|1\r\nB|2\r\nC|3\r\n"},
      {"no labels", "[HOTFIXES]\r\n[FIXPACKS]\r\n[Other]\r\nLabel001=x\r\n", kNoInformation},
      {"an empty file", "", kNoInformation},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Registry(row.registry);
    EXPECT_EQ(row.listfix, List("listfix"));
    EXPECT_TRUE(others_.empty());
  }
  // An empty label value stops the listing with its error.
  Registry(hf + "Label001=\"" + kHf21Label + "\"\r\nLabel002=\r\n");
  std::string info = List("fixdetails");
  const std::string start =
      "Getting profile string for Label002, section HOTFIXES in " + Upper(programDir_) + "\\PATCH.INI: error: ";
  EXPECT_EQ(start, info.substr(0, start.size()));
}

TEST_F(Listing, WithoutTheRegistryTheListingEndsWithExitCode1) {
  for (const char* word : {"listfix", "fixdetails"}) {
    EXPECT_EQ("Can't find patch.ini", List(word, 1));
    EXPECT_FALSE(fixture::FileExists(dir_ + "\\patch.txt"));
  }
}

TEST_F(Listing, NamesThatLeaveTheProgramDirectoryAreNeverRead) {
  // Files outside the program directory with the checksums the registry claims for them:
  // read, they would be listed.
  const std::string outside = dir_ + "\\outside.dll";
  ASSERT_TRUE(fixture::WriteFile(outside, "outside the program directory"));
  const std::string sum = ChecksumText(Crc(fixture::ReadFile(outside)));
  const std::string nzorel = Sum("nzorel.dll");
  struct Entry {
    std::string file, checksum;
  } entries[] = {
      {"..\\..\\outside.dll", sum},
      {outside, sum},              // a drive
      {outside.substr(2), sum},    // a leading '\'
      {"nzorel.dll:ads", nzorel},  // a stream
      {"sig\\..\\..\\..\\outside.dll", sum},
      {"NUL", ChecksumText(0)},  // a device
      {"nzorel.dll", nzorel},
  };
  std::string section = "[\"" + std::string(kHf21Label) + "\"]\r\n";
  int n = 1;
  for (const Entry& e : entries) {
    char number[8];
    snprintf(number, sizeof(number), "%03d", n++);
    section += std::string("File") + number + "=" + e.file + "\r\nChecksum" + number + "=" + e.checksum + "\r\n";
  }
  Registry("[HOTFIXES]\r\nLabel001=\"" + std::string(kHf21Label) + "\"\r\n" + section);
  EXPECT_EQ("Installed Hotfixes:\r\n\r\n" + std::string(kHf21Label) + "\r\n" + Listed("nzorel.dll"),
            List("fixdetails"));
  std::string log = fixture::TempLog();
  for (int i = 0; i < 6; ++i) {
    char key[16];
    snprintf(key, sizeof(key), "File%03d", i + 1);
    ExpectLogLines(log, {"CheckValidLabel: ERROR: " + std::string(key) + "=" + entries[i].file +
                         " names no file inside " + Upper(programDir_) + ", passed over"});
  }
  EXPECT_FALSE(Contains(log, "outside.dll matches")) << log;
}

}  // namespace
