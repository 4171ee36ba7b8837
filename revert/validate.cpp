#include "revert/validate.h"

#include "installer/fix_labels.h"
#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/profile.h"
#include "installer/text.h"
#include "package/checksum.h"
#include "resources/resource.h"

#include <string.h>

void ShowStatus(const char* lpText) {
  if (ghMainDlg) SetDlgItemTextA(ghMainDlg, IDC_TEXT5, lpText);
}

void ReleaseOfLabel(const char* lpLabel, char* lpOut, size_t size) {
  CopyText(lpOut, size, lpLabel);
  lpOut[strcspn(lpOut, "|")] = '\0';
}

void LabelSection(const char* lpLabel, char* lpTrimmed, size_t cbTrimmed, char* lpSection, size_t cbSection) {
  CopyText(lpTrimmed, cbTrimmed, lpLabel);
  TrimTrailingBlanks(lpTrimmed);
  FormatText(lpSection, cbSection, "%c%s%c", 34, lpTrimmed, 34);
}

BOOL ChecksumText(const char* lpPath, char* lpOut, size_t size) {
  FILE* f = fopen(lpPath, "rb");
  if (!f) return FALSE;
  uint32_t crc = 0;
  BOOL bRead = zfix::StreamCrc32(f, &crc);
  fclose(f);
  if (bRead) FormatText(lpOut, size, "%#lx", (unsigned long)crc);
  return bRead;
}

/* The text after the last '.' of a registry file name (empty when there is none). */
static void ExtensionOf(const char* lpFile, char* lpOut, size_t size) {
  const char* dot = strrchr(lpFile, '.');
  CopyText(lpOut, size, dot ? dot + 1 : "");
}

static BOOL IsOneOf(const char* lpText, const char* const* lpList) {
  for (; *lpList; ++lpList)
    if (strcmp(lpText, *lpList) == 0) return TRUE;
  return FALSE;
}

static BOOL HoldsAny(const char* lpText, const char* const* lpList) {
  for (; *lpList; ++lpList)
    if (strstr(lpText, *lpList)) return TRUE;
  return FALSE;
}

/* Files whose backup copy may differ from the recorded checksum: databases and templates the
   product rewrites, symbol files, and the libraries whose release text every run rewrites. */
static const char* const kDifferingExtensions[] = {"qzdb", "qztp", "sym", NULL};
static const char* const kDifferingNames[] = {"pomvi", "tessra", "kqzm", NULL};
/* Files a label need not have a backup copy of. */
static const char* const kMissingExtensions[] = {"sym", "qzdb", "qztp", "sys", NULL};

/* How one registry read of CheckValidBackup went: a value, the end of the section, or an error
   that ends the check with BACKUP_GRADE_BY_FILE. */
static int ReadEntry(const char* lpSection, const char* lpName, int n, char* lpValue, const char* lpRegistry,
                     int level) {
  char szKey[32];
  FormatText(szKey, sizeof(szKey), "%s%03d", lpName, n);
  int read = ReadProfileString(lpSection, szKey, lpValue, PROFILE_BUFFER, lpRegistry);
  if (read == PROFILE_EMPTY)
    WriteLogF(level, "CheckValidBackup: ERROR: Getting profile string for  %s, section %s in %s: error: %d", szKey,
              lpSection, lpRegistry, (int)GetLastError());
  return read;
}

int CheckValidBackup(const char* lpLabel) {
  char szLabel[PROFILE_BUFFER], szSection[PROFILE_BUFFER + 2], szRelease[PROFILE_BUFFER];
  LabelSection(lpLabel, szLabel, sizeof(szLabel), szSection, sizeof(szSection));
  dwNumBackupFiles = 0;
  ReleaseOfLabel(szLabel, szRelease, sizeof(szRelease));
  char szStatus[PROFILE_BUFFER + 64];
  FormatText(szStatus, sizeof(szStatus), "CheckValidBackup: Verifying checksums for %s", szRelease);
  WriteLog(szStatus, 3);
  ShowStatus(szStatus);
  if (ghMainDlg) ShowWindow(GetDlgItem(ghMainDlg, IDC_TEXT6), SW_HIDE);
  ShowWindow(ghGaugeFile, SW_HIDE);
  ShowWindow(ghGaugeTotal, SW_HIDE);

  char szRegistry[PATH_BUFFER];
  FormatText(szRegistry, sizeof(szRegistry), "%s\\%s", gpProgramDir, gszPatchIniName);
  int bValid = BACKUP_GRADE_VALID;
  int n = 1;
  for (;; ++n) {
    char szBackupName[PROFILE_BUFFER], szChecksum[PROFILE_BUFFER], szFile[PROFILE_BUFFER], szBackup[PATH_BUFFER];
    int read = ReadEntry(szSection, "BackupName", n, szBackupName, szRegistry, 0);
    if (read == PROFILE_EMPTY) return BACKUP_GRADE_BY_FILE;
    if (read == PROFILE_MISSING) {
      WriteLogF(3, "CheckValidBackup: Received 'DEFAULT' looking for BackupName%03d, breaking", n);
      break;
    }
    if (ReadEntry(szSection, "Checksum", n, szChecksum, szRegistry, 0) == PROFILE_EMPTY) return BACKUP_GRADE_BY_FILE;
    char szKey[32];
    FormatText(szKey, sizeof(szKey), "BackupName%03d", n);
    if (!JoinRegistryName(gpProgramDir, szBackupName, szBackup, sizeof(szBackup), "CheckValidBackup", szKey)) {
      /* A name that leaves the program directory is never read: the restore refuses it too. */
      if (bValid != BACKUP_GRADE_INVALID) bValid = BACKUP_GRADE_BY_FILE;
      continue;
    }
    char szActual[32];
    if (ChecksumText(szBackup, szActual, sizeof(szActual))) {
      WriteLogF(3, "CheckValidBackup: Getting checksum for file %s", szBackup);
      if (strcmp(szActual, szChecksum) == 0) {
        WriteLogF(3, "CheckValidBackup: File %s matches fix version %s", szBackup, szLabel);
        continue;
      }
      if (strcmp(szChecksum, PROFILE_DEFAULT) == 0) {
        WriteLogF(3, "CheckValidBackup: File %s - checksum returned %s", szBackup, szChecksum);
        continue;
      }
      if (ReadEntry(szSection, "File", n, szFile, szRegistry, 3) == PROFILE_EMPTY) return BACKUP_GRADE_BY_FILE;
      char szExt[PROFILE_BUFFER];
      ExtensionOf(szFile, szExt, sizeof(szExt));
      if (IsOneOf(szExt, kDifferingExtensions) || HoldsAny(szBackup, kDifferingNames)) continue;
      WriteLogF(0, "CheckValidBackup: ERROR: File %s has checksum %s, expected %s", szBackup, szActual, szChecksum);
      if (dwUpgradeType == 1 || dwUpgradeType == 2) {
        bValid = BACKUP_GRADE_BY_FILE;
      } else {
        WriteLog("CheckValidBackup: ERROR 2: Setting bValid to 0", 0);
        bValid = BACKUP_GRADE_INVALID;
      }
      continue;
    }
    WriteLogF(3, "CheckValidBackup: Couldn't open the file %s to verify the checksum: %d", szBackup,
              (int)GetLastError());
    read = ReadEntry(szSection, "File", n, szFile, szRegistry, 3);
    if (read == PROFILE_EMPTY) return BACKUP_GRADE_BY_FILE;
    if (read == PROFILE_MISSING) {
      WriteLog("CheckValidBackup: breaking as we found 'DEFAULT'", 3);
      break;
    }
    char szExt[PROFILE_BUFFER];
    ExtensionOf(szFile, szExt, sizeof(szExt));
    if (strcmp(szChecksum, "0") == 0) {
      /* The file did not exist in that release (a later fix added it): there is nothing
         to keep, and the restore removes it. */
      WriteLogF(3, "CheckValidBackup: File %s is absent in %s: no copy needed", szFile, szLabel);
    } else if (IsOneOf(szExt, kMissingExtensions)) {
      WriteLogF(3, "CheckValidBackup: SKIPPING, extension %s for %s", szExt, szFile);
    } else if (strstr(szFile, "tessra") || strstr(szFile, "pomvi")) {
      WriteLog("CheckValidBackup: continuing from match on tessra or pomvi", 3);
    } else {
      WriteLogF(0, "CheckValidBackup: ERROR: Returning -1 for not listed extension %s for %s", szExt, szFile);
      if (bValid != BACKUP_GRADE_INVALID) {
        WriteLog("CheckValidBackup: ERROR 0: setting bValid to -1", 0);
        bValid = BACKUP_GRADE_BY_FILE;
      }
    }
  }
  WriteLog("CheckValidBackup: Finished while(TRUE)", 3);
  dwNumBackupFiles = (DWORD)n;
  WriteLogF(3, "CheckValidBackup: Finished, returning bValid=%d", bValid);
  return bValid;
}
