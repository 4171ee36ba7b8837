/* What the tests of the installed-fix records share: a base release of the sample product and
   two hotfixes of it made by zfixbuild, sample installations, unattended runs of the real
   installer, and PATCH.INI texts computed from the trees. */
#ifndef ZFIX_RECORDS_TEST_H
#define ZFIX_RECORDS_TEST_H

#include "installer_test.h"

#include <stdint.h>

#include <string>
#include <vector>

extern const char kBaseLabel[];
extern const char kHf21Label[];
extern const char kHf22Label[];
extern const char kBaseDir[]; /* the backup directory names of the labels */
extern const char kHf21Dir[];
extern const char kHf22Dir[];

/* A file of a fix as the fix registry records it. */
struct FixFile {
  std::string name;
  uint32_t entry = 0;
  uint32_t before = 0; /* checksum in the base tree */
  uint32_t after = 0;  /* checksum in the fix's tree */
};

class RecordsTest : public InstallerTest {
 protected:
  static void SetUpTestSuite();

  /* A fix built by zfixbuild from the base tree and the tree of fix "hf21" or "hf22", with
     further [Fix] keys. Built once per description. */
  static std::string Fix(const std::string& tree, const std::string& fixKeys = std::string(),
                         const std::string& kind = "hotfix");
  /* The files of a fix: names and entry numbers from its description record, checksums
     from the trees. */
  static std::vector<FixFile> FilesOf(const std::string& fix, const std::string& tree);

  /* A copy of a fix in the test's folder whose description record lists no files. */
  std::string FixWithoutFiles(const std::string& fix);
  /* A new sample installation at the base release in the test's folder; its program directory. */
  std::string InstallBase(const std::string& options = std::string());
  /* The program directory's UPGRADE.LOG, where a run that ends normally leaves its log. */
  std::string RunLog() const;
  /* Runs the fix unattended with further words; its exit code. */
  int RunUnattended(const std::string& fix, const std::string& words = std::string());

  static std::string trees_;
};

/* A label's PATCH.INI section as the installer writes it: the label in quotes, then one
   File/Checksum/BackupName triple per file (checksum after or before the fix). */
std::string LabelSection(const std::string& label, const std::string& labelDir, const std::vector<FixFile>& files,
                         bool after, int firstNumber = 1, bool header = true);
/* The checksum as the registry writes it ("%#lx"). */
std::string ChecksumText(uint32_t checksum);
uint32_t Crc(const std::string& bytes);
std::string Upper(std::string s);

/* Lines that the log must hold, each looked for as a whole line (leading tabs ignored). */
void ExpectLogLines(const std::string& log, const std::vector<std::string>& lines);

#endif
