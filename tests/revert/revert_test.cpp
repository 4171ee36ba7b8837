// Reverts as users meet them: fixes built by zfixbuild from trees of the sample product, installed
// and reverted by the real zfix.exe on installations laid by zsetup.exe (program directory, two
// data directories, the system directory), unattended and through the wizard. Each state is
// compared byte for byte with its tree, with the release text, the LP keys of ZOREL.INI and
// PATCH.INI.
#include "revert_test.h"

#include "resources/resource.h"

#include <zlib.h>

#include <functional>

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
TEST_F(RevertTest, HotfixRevertsUnattendedAndThroughTheWizard) {
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
      EXPECT_TRUE(program.WaitText(IDC_TEXT5, "Congratulations, you have successfully reverted this product.", 60000))
          << program.Text(IDC_TEXT5);
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

// A second hotfix on the same base, installed over the first: the base release comes back from
// the first one's backups, validated whole (every entry of the base's section, so the section
// ends at entry 17), then the second installs; reverting it gives the base release, and the
// copies the restore saved in the first hotfix's directory go with the rest.
TEST_F(RevertTest, SecondHotfixRestoresTheBaseFirstAndRevertsToIt) {
  std::string hf21 = Fix("hotfix"), hf22 = ChainFix("hotfix", "base", kBaseLabel, "fix2", kHf22Label);
  InstallBase();
  const std::string lpBefore = LpKeys();
  ASSERT_EQ(0, Run(hf21)) << fixture::TempLog();
  ASSERT_EQ(0, Run(hf22)) << fixture::TempLog();
  ExpectTree("fix2");
  EXPECT_EQ(kHf22Label, Release());
  std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
  ExpectLogLines(log,
                 {"CheckValidBackup: Received 'DEFAULT' looking for BackupName017, breaking",
                  "CheckValidBackup: Finished, returning bValid=1", "RestoreBaseRelease: Switching on nValidBackup = 1",
                  "RestoreFiles(): Finished, returning bOK = 1", "RestoreBaseRelease: Finished, returning TRUE",
                  // Files the first hotfix added are not in the base release: removed, not missed.
                  "RestoreFiles: " + Upper(program_) + "\\sig\\hf21.sf is absent in " + kBaseLabel + ", removing it",
                  "RestoreFiles: " + system_ + "\\zfixeng_new.dat is absent in " + kBaseLabel + ", removing it"});
  EXPECT_TRUE(Contains(log, "RestoreFiles(): backed up  " + Upper(program_) + "\\nzorel.dll to " + Upper(program_) +
                                "\\" + kHf21Dir + "\\nzorel0002.IIB"))
      << log;

  ASSERT_EQ(0, Run(hf22, "revert " + WithoutDate(kBaseLabel))) << fixture::TempLog();
  ExpectTree("base");
  EXPECT_EQ(kBaseLabel, Release());
  std::string lpAfter = lpBefore;
  for (size_t at = 0; (at = lpAfter.find("CFP_LP_PREV=", at)) != std::string::npos; at += 12)
    lpAfter.replace(at + 12, lpAfter.find('\n', at) - at - 12, kHf22Label);
  EXPECT_EQ(lpAfter, LpKeys());
  EXPECT_EQ("(none)", Registry());
  EXPECT_FALSE(BackupDirExists(kBaseDir));
  EXPECT_FALSE(BackupDirExists(kHf21Dir));
}

// What the base release restore makes of the first hotfix's backups when one of them is not as
// recorded, and where it finds a copy of nzorel.dll that is missing from the base's directory.
TEST_F(RevertTest, BackupGradesAndCopiesFoundInOtherLabelsDirectories) {
  std::string hf21 = Fix("hotfix"), hf22 = ChainFix("hotfix", "base", kBaseLabel, "fix2", kHf22Label);
  const std::string nzorel = "nzorel" + std::string(FilesOf(hf21)["nzorel.dll"].entry < 10 ? "000" : "00") +
                             std::to_string(FilesOf(hf21)["nzorel.dll"].entry) + ".IIB";
  const std::string report = "report00" + std::to_string(FilesOf(hf21)["templates\\report.tpl"].entry) + ".IIB";
  const std::string tessra = "tessra000" + std::to_string(FilesOf(hf21)["tessra.dll"].entry) + ".IIB";
  struct Row {
    const char* what;
    std::function<void(const std::string& base, const std::string& hf21Dir)> change;
    int exitCode;
    std::vector<std::string> lines;
    std::function<void()> after;
  };
  const std::string program = Upper(dir_ + "\\product\\PROGRAM");
  auto AddBaseEntry = [&](int n, const std::string& file, const std::string& checksum, const std::string& backup) {
    const std::string section = "\"" + std::string(kBaseLabel) + "\"", registry = program_ + "\\PATCH.INI";
    char number[8];
    snprintf(number, sizeof(number), "%03d", n);
    WritePrivateProfileStringA(section.c_str(), ("File" + std::string(number)).c_str(), file.c_str(), registry.c_str());
    WritePrivateProfileStringA(section.c_str(), ("Checksum" + std::string(number)).c_str(), checksum.c_str(),
                               registry.c_str());
    WritePrivateProfileStringA(section.c_str(), ("BackupName" + std::string(number)).c_str(), backup.c_str(),
                               registry.c_str());
  };
  const std::string candidate = "[" + program + "\\" + kHf21Dir + "\\" + nzorel + "] to [" + program + "\\nzorel.dll]";
  const std::string fixTessra = trees_ + "\\fix\\program\\tessra.dll";
  const std::string fixNzorel = trees_ + "\\fix\\program\\nzorel.dll";
  const Row rows[] = {
      {"a differing copy of the strings library is ignored",
       [&](const std::string& b, const std::string&) {
         ASSERT_TRUE(CopyFileA(fixTessra.c_str(), (b + "\\" + tessra).c_str(), FALSE));
       },
       0,
       {"CheckValidBackup: Finished, returning bValid=1"},
       nullptr},
      {"a differing copy of nzorel.dll makes the restore go file by file",
       [&](const std::string& b, const std::string&) {
         ASSERT_TRUE(CopyFileA(fixNzorel.c_str(), (b + "\\" + nzorel).c_str(), FALSE));
       },
       1,
       {"CheckValidBackup: Finished, returning bValid=-1",
        "RestoreBaseRelease: ERROR Backup is not valid, falling through to RestoreFiles()"},
       nullptr},
      {"a copy in another label's directory with the recorded checksum",
       [&](const std::string& b, const std::string& h) {
         CreateDirectoryA(h.c_str(), NULL);
         ASSERT_TRUE(MoveFileA((b + "\\" + nzorel).c_str(), (h + "\\" + nzorel).c_str()));
       },
       0,
       {"RestoreBaseRelease: ERROR Backup is not valid, falling through to RestoreFiles()",
        "FindAndRestoreFile: Checksum matched, copied " + candidate, "RestoreFiles(): Finished, returning bOK = 1"},
       nullptr},
      {"a copy in another label's directory with the checksum this fix expects before it",
       [&](const std::string& b, const std::string& h) {
         CreateDirectoryA(h.c_str(), NULL);
         ASSERT_TRUE(MoveFileA((b + "\\" + nzorel).c_str(), (h + "\\" + nzorel).c_str()));
         std::string section = "\"" + std::string(kBaseLabel) + "\"";
         ASSERT_TRUE(
             WritePrivateProfileStringA(section.c_str(), "Checksum002", "0x1", (program_ + "\\PATCH.INI").c_str()));
       },
       0,
       {"FindAndRestoreFile: 2 Copied " + candidate, "RestoreFiles(): Finished, returning bOK = 1"},
       nullptr},
      {"no copy but the installed version the restore saves: not accepted, and a special file after it "
       "does not hide that",
       [&](const std::string& b, const std::string&) {
         ASSERT_TRUE(DeleteFileA((b + "\\" + nzorel).c_str()));
         ASSERT_TRUE(fixture::WriteFile(program_ + "\\webrk.exe", "web server helper"));
         AddBaseEntry(17, "webrk.exe", "0x5", std::string(kBaseDir) + "\\webrk0017.IIB");
       },
       1,
       {"RestoreFiles(): 1 ERROR: Setting bOK to FALSE for to " + program + "\\nzorel.dll",
        "RestoreFiles: We found a 'special' file: " + program + "\\webrk.exe, bOK is 0",
        "RestoreFiles(): Finished, returning bOK = 0", "RestoreBaseRelease: ERROR: Couldn't restore the base release",
        "DetermineMode: ERROR: RestoreBaseRelease didn't work as expected"},
       [&] { EXPECT_FALSE(fixture::FileExists(program_ + "\\webrk.exe")); }},
      {"names that leave the program directory are neither read nor written",
       [&](const std::string&, const std::string&) {
         ASSERT_TRUE(fixture::WriteFile(dir_ + "\\product\\outside.dll", "outside"));
         ASSERT_TRUE(fixture::WriteFile(dir_ + "\\product\\outside0017.IIB", "intruder"));
         AddBaseEntry(17, "..\\outside.dll", "0x5", "..\\outside0017.IIB");
         AddBaseEntry(18, "..\\outside.dll", "0", std::string(kBaseDir) + "\\outside0018.IIB");
       },
       1,
       {"RestoreFiles: ERROR: BackupName017=..\\outside0017.IIB names no file inside " + program + ", passed over",
        "RestoreFiles: ERROR: File018=..\\outside.dll names no file inside " + program + ", passed over",
        "RestoreFiles(): Finished, returning bOK = 0"},
       [&] { EXPECT_EQ("outside", ReadFile(dir_ + "\\product\\outside.dll")); }},
      {"a copy that cannot be written leaves the restore failed",
       [&](const std::string&, const std::string&) {
         const std::string target = dir_ + "\\product\\DATA2\\templates\\report.tpl";
         ASSERT_TRUE(DeleteFileA(target.c_str()));
         ASSERT_TRUE(CreateDirectoryA(target.c_str(), NULL));
       },
       1,
       {"RestoreFiles(): ERROR2: Failed to copy " + program + "\\" + kBaseDir + "\\" + report + " to " +
            Upper(dir_ + "\\product\\DATA2") + "\\templates\\report.tpl",
        "RestoreFiles(): Finished, returning bOK = 0", "RestoreBaseRelease: ERROR: Couldn't restore the base release"},
       nullptr},
      {"files the base did not have are removed from the program directory only, and a data directory's "
       "file of the same name is no failure",
       [&](const std::string&, const std::string&) {
         ASSERT_TRUE(fixture::WriteFile(program_ + "\\lib\\added.sym", "symbols of a later release"));
         AddBaseEntry(17, "lib\\added.sym", "0x5", std::string(kBaseDir) + "\\added0017.IIB");
         for (const char* name : {"\\sig\\hf21.sf", "\\lib\\added.sym"}) {
           const std::string path = dir_ + "\\product\\DATA1" + name;
           CreateDirectoryA(path.substr(0, path.find_last_of('\\')).c_str(), NULL);
           ASSERT_TRUE(fixture::WriteFile(path, "a data file of the same name"));
         }
       },
       0,
       {"RestoreFiles: Removing " + program + "\\lib\\added.sym", "RestoreFiles(): Finished, returning bOK = 1"},
       [&] {
         EXPECT_FALSE(fixture::FileExists(program_ + "\\lib\\added.sym"));
         EXPECT_EQ("a data file of the same name", ReadFile(dir_ + "\\product\\DATA1\\sig\\hf21.sf"));
         EXPECT_EQ("a data file of the same name", ReadFile(dir_ + "\\product\\DATA1\\lib\\added.sym"));
       }},
      {"an archive without any copy is no restore, and no copy of the installed one is left under the "
       "label's name",
       [&](const std::string&, const std::string&) {
         ASSERT_TRUE(fixture::WriteFile(program_ + "\\lib\\tool.jar", "archive of a later release"));
         ASSERT_TRUE(fixture::WriteFile(program_ + "\\lib\\pack.gz", "archive of a later release"));
         AddBaseEntry(17, "lib\\tool.jar", "0x5", std::string(kBaseDir) + "\\tool0017.IIB");
         AddBaseEntry(18, "lib\\pack.gz", "0x6", std::string(kBaseDir) + "\\pack0018.IIB");
       },
       1,
       {"RestoreFiles(): 1 ERROR: Setting bOK to FALSE for to " + program + "\\lib\\tool.jar",
        "RestoreFiles(): 1 ERROR: Setting bOK to FALSE for to " + program + "\\lib\\pack.gz",
        "RestoreFiles(): Finished, returning bOK = 0"},
       [&] {
         EXPECT_FALSE(fixture::FileExists(program_ + "\\" + kBaseDir + "\\tool0017.IIB"));
         EXPECT_FALSE(fixture::FileExists(program_ + "\\" + kBaseDir + "\\pack0018.IIB"));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    InstallBase();
    ASSERT_EQ(0, Run(hf21)) << fixture::TempLog();
    row.change(program_ + "\\" + kBaseDir, program_ + "\\" + kHf21Dir);
    EXPECT_EQ(row.exitCode, Run(hf22));
    // A run that ends unattended with exit code 1 leaves its log in the temporary directory.
    ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG") + fixture::TempLog(), row.lines);
    if (row.exitCode == 0) ExpectTree("fix2");
    if (row.after) row.after();
    fixture::RemoveProduct();
    fixture::RemoveTree(dir_ + "\\product");
  }
}

// LP keys with CFP_LP_PREV replaced, as a revert leaves them.
std::string WithPrevious(std::string keys, const std::string& previous) {
  for (size_t at = 0; (at = keys.find("CFP_LP_PREV=", at)) != std::string::npos; at += 12)
    keys.replace(at + 12, keys.find('\n', at) - at - 12, previous);
  return keys;
}

// Fixpacks 2 and 3 installed one over the other, a hotfix on fixpack 3 reverted: fixpack 3 is
// installed as before, with its registry, and the backups fixpacks 3 and 2 need for their own
// reverts are still there, so fixpack 3 reverts to fixpack 2 and fixpack 2 to the base release,
// each byte for byte.
TEST_F(RevertTest, FixpacksStayRevertibleUnderAHotfix) {
  std::string fp2 = ChainFix("fixpack", "base", kBaseLabel, "fp2", kFp2Label);
  std::string fp3 = ChainFix("fixpack", "fp2", kFp2Label, "fp3", kFp3Label);
  std::string hf = ChainFix("hotfix", "fp3", kFp3Label, "fp3hf", kFp3HfLabel);
  InstallBase();
  const std::string lpBase = LpKeys();
  ASSERT_EQ(0, Run(fp2)) << fixture::TempLog();
  ExpectTree("fp2");
  const std::string regFp2 = Registry(), lpFp2 = LpKeys();
  ASSERT_EQ(0, Run(fp3)) << fixture::TempLog();
  ExpectTree("fp3");
  const std::string regFp3 = Registry(), lpFp3 = LpKeys();
  ASSERT_EQ(0, Run(hf)) << fixture::TempLog();
  ExpectTree("fp3hf");
  EXPECT_EQ(kFp3HfLabel, Release());
  // Fixpack 3 is the hotfix's base: only its recorded files are checked, and the listing of the
  // check is kept only when it fails.
  ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG"), {"RestoreBaseRelease: Calling CheckValidLabel()"});
  EXPECT_FALSE(fixture::FileExists(program_ + "\\baserev_detail.txt"));

  ASSERT_EQ(0, Run(hf, "revert " + WithoutDate(kFp3Label))) << fixture::TempLog();
  ExpectTree("fp3");
  EXPECT_EQ(kFp3Label, Release());
  EXPECT_EQ(regFp3, Registry());
  EXPECT_EQ(WithPrevious(lpFp3, kFp3HfLabel), LpKeys());
  EXPECT_TRUE(BackupDirExists("Release1451FP1"));
  EXPECT_TRUE(BackupDirExists("Release1451FP2"));
  EXPECT_FALSE(BackupDirExists("Release1451FP3"));

  ASSERT_EQ(0, Run(fp3, "revert " + WithoutDate(kFp2Label))) << fixture::TempLog();
  ExpectTree("fp2");
  EXPECT_EQ(kFp2Label, Release());
  EXPECT_EQ(regFp2, Registry());
  EXPECT_EQ(WithPrevious(lpFp2, kFp3Label), LpKeys());
  EXPECT_TRUE(BackupDirExists("Release1451FP1"));
  EXPECT_FALSE(BackupDirExists("Release1451FP2"));

  ASSERT_EQ(0, Run(fp2, "revert " + WithoutDate(kBaseLabel))) << fixture::TempLog();
  ExpectTree("base");
  EXPECT_EQ(kBaseLabel, Release());
  EXPECT_EQ("(none)", Registry());
  EXPECT_EQ(WithPrevious(lpBase, kFp2Label), LpKeys());
  EXPECT_FALSE(BackupDirExists("Release1451FP1"));
}

// A hotfix built on fixpack 2, run unattended over an installed fixpack 3, asks before it puts
// fixpack 2 back: No leaves fixpack 3 as it is (the run ends with exit code 1), Yes restores
// fixpack 2 from fixpack 3's backups and installs the hotfix, whose revert gives fixpack 2.
TEST_F(RevertTest, HotfixOnAnOlderFixpackAsksBeforeRevertingTheInstalledOne) {
  std::string fp2 = ChainFix("fixpack", "base", kBaseLabel, "fp2", kFp2Label);
  std::string fp3 = ChainFix("fixpack", "fp2", kFp2Label, "fp3", kFp3Label);
  std::string hf = ChainFix("hotfix", "fp2", kFp2Label, "fp2hf", kFp2HfLabel);
  InstallBase();
  ASSERT_EQ(0, Run(fp2)) << fixture::TempLog();
  const std::string regFp2 = Registry();
  ASSERT_EQ(0, Run(fp3)) << fixture::TempLog();
  const std::string regFp3 = Registry();
  for (int answer : {IDNO, IDYES}) {
    SCOPED_TRACE(answer == IDNO ? "No" : "Yes");
    robot::Program program("\"" + hf + "\" nouser", dir_);
    robot::MessageBoxInfo box;
    ASSERT_TRUE(program.WaitMessageBox(&box, 60000)) << fixture::TempLog();
    EXPECT_EQ("Warning! Action will revert Fixpack!", box.caption);
    EXPECT_EQ(
        "Warning! Installing Hotfix Release1451FP2 will revert Fixpack Release1451FP3 already installed.\n\n"
        "Are you sure you want to continue?",
        box.text);
    ASSERT_TRUE(program.Answer(box, answer));
    EXPECT_EQ(answer == IDNO ? 1 : 0, program.WaitExit(120000)) << fixture::TempLog();
    if (answer == IDNO) {
      ExpectTree("fp3");
      EXPECT_EQ(kFp3Label, Release());
      EXPECT_EQ(regFp3, Registry());
      ExpectLogLines(fixture::TempLog(), {"RestoreBaseRelease: ERROR: Backup is incomplete or failed checksum"});
    }
  }
  ExpectTree("fp2hf");
  EXPECT_EQ(kFp2HfLabel, Release());
  ASSERT_EQ(0, Run(hf, "revert " + WithoutDate(kFp2Label))) << fixture::TempLog();
  ExpectTree("fp2");
  EXPECT_EQ(kFp2Label, Release());
  EXPECT_EQ(regFp2, Registry());
}

// A fix without labels whose base copy differs from the registry's record: the restore stops
// before it changes anything.
TEST_F(RevertTest, PlainFixWithADifferingCopyRestoresNothing) {
  std::string plain = Fix("plain");
  InstallBase();
  ASSERT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\UpdateVersion.exe\" \"" + program_ +
                            "\" \"Release 14.5.1FP1 HF30|November 1, 2026\" write"));
  const std::string script = program_ + "\\zorelreg.bat", installed = ReadFile(script);
  CreateDirectoryA((program_ + "\\" + kHf21Dir).c_str(), NULL);
  ASSERT_TRUE(fixture::WriteFile(program_ + "\\" + kHf21Dir + "\\zorelreg0001.IIB", "echo another release\r\n"));
  char checksum[16];
  snprintf(checksum, sizeof(checksum), "%#lx",
           (unsigned long)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)installed.data(), (uInt)installed.size()));
  ASSERT_TRUE(fixture::WriteFile(program_ + "\\PATCH.INI", "[\"" + std::string(kFixLabel) +
                                                               "\"]\r\nFile001=zorelreg.bat\r\n"
                                                               "Checksum001=" +
                                                               checksum + "\r\nBackupName001=" + kHf21Dir +
                                                               "\\zorelreg0001.IIB\r\n"));
  Run(plain);
  ExpectLogLines(ReadFile(program_ + "\\UPGRADE.LOG") + fixture::TempLog(),
                 {"CheckValidBackup: ERROR 2: Setting bValid to 0", "RestoreBaseRelease: Switching on nValidBackup = 0",
                  "RestoreBaseRelease: ERROR: Backup is incomplete or failed checksum"});
  EXPECT_EQ(installed, ReadFile(script));
}

// "fixdetails" lists a file that another version has replaced since its label was recorded as
// overwritten, and still lists the label as installed.
TEST_F(RevertTest, ListingShowsOverwrittenFilesOfAnInstalledLabel) {
  std::string fix = Fix("hotfix");
  InstallBase();
  ASSERT_EQ(0, Run(fix)) << fixture::TempLog();
  ASSERT_TRUE(fixture::WriteFile(program_ + "\\sig\\nzorel.sf", "changed by hand"));
  robot::Program program("\"" + fix + "\" fixdetails", dir_);
  robot::MessageBoxInfo box;
  ASSERT_TRUE(program.WaitMessageBox(&box, 30000));
  program.Answer(box, IDOK);
  EXPECT_EQ(0, program.WaitExit());
  const std::string p = Upper(program_), details = ReadFile(dir_ + "\\patch_detail.txt");
  EXPECT_TRUE(Contains(details, "\t" + p + "\\sig\\nzorel.sf overwritten.\r\n")) << details;
  EXPECT_TRUE(Contains(details, "\t" + p + "\\nzorel.dll\r\n")) << details;
  EXPECT_TRUE(Contains(ReadFile(dir_ + "\\patch.txt"), kFixLabel));
  EXPECT_TRUE(Contains(box.text, p + "\\sig\\nzorel.sf overwritten.")) << box.text;
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// The fixpack revert whose target's backup directory is "Release802FP3" goes its own way: a
// cumulative fixpack from 8.0.2FP2 to FP4, reverted to FP3 (a further label it knows), restores
// FP2 from the registry's copies and then FP3 over it, without writing a file of its own.
TEST_F(RevertTest, FixpackRevertToRelease802FP3RestoresTheBaseThenTheTarget) {
  std::string toFp3 = ChainFix("fixpack", "sp2", kSp2Label, "sp3", kSp3Label);
  std::string toFp4 = ChainFix("fixpack", "sp3", kSp3Label, "sp4", kSp4Label);
  std::string cumulative = ChainFix("fixpack", "sp2", kSp2Label, "sp4", kSp4Label, kSp3Label, "sp3");
  InstallBase();
  ASSERT_TRUE(
      CopyFileA((trees_ + "\\chain\\sp2\\program\\tessra.dll").c_str(), (program_ + "\\tessra.dll").c_str(), FALSE));
  ASSERT_EQ(0, Run(toFp3)) << fixture::TempLog();
  ASSERT_EQ(0, Run(toFp4)) << fixture::TempLog();
  ExpectTree("sp4");
  ASSERT_EQ(2u, Count(ReadFile(program_ + "\\UPGRADE.LOG"), "UpgradeZorelVersion: Calling CreateUpgradedFiles"));

  ASSERT_EQ(0, Run(cumulative, "revert " + WithoutDate(kSp3Label))) << fixture::TempLog();
  ExpectTree("sp3");
  EXPECT_EQ(kSp3Label, Release());
  std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
  EXPECT_EQ(2u, Count(log, "UpgradeZorelVersion: Calling CreateUpgradedFiles"));
  ExpectLogLines(log, {"RestoreBaseRelease: Starting, canBaseVersion is " + std::string(kSp2Label),
                       "RestoreBaseRelease: Finished, returning TRUE",
                       std::string("UpdateTessra64:  Upgraded version to ") + kSp3Label});
  for (int i = 1; i <= 2; ++i) {
    char value[300];
    GetPrivateProfileStringA("Zorel", "CFP_LP_PREV", "", value, sizeof(value),
                             (dir_ + "\\product\\DATA" + std::to_string(i) + "\\ZOREL.INI").c_str());
    EXPECT_EQ(kSp4Label, std::string(value));
  }
}

}  // namespace
