#include "revert/restore.h"

#include "installer/file_copy.h"
#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/release_string.h"
#include "installer/text.h"
#include "package/names.h"
#include "records/zorel_ini.h"
#include "revert/restore_files.h"
#include "revert/validate.h"

#include <stdlib.h>
#include <string.h>

/* The fixpack number of a backup directory name: the number after its first "FP", 0 without one. */
static int FixpackNumber(const char* lpDirName) {
  const char* fp = strstr(lpDirName, "FP");
  return fp ? atoi(fp + 2) : 0;
}

/* The position of lpPart in lpText when it is found after the first character, else 0. */
static size_t PositionAfterStart(const char* lpText, const char* lpPart) {
  const char* p = strstr(lpText, lpPart);
  return p && p > lpText ? (size_t)(p - lpText) : 0;
}

/* TRUE when the installed release's directory name is the base label's. In the add-on build the
   installed name is compared up to its hotfix ("HF") or add-on ("_RQA") part. */
static BOOL IsInstalledBase(const char* lpDirC, const char* lpDirB) {
  size_t c = strlen(lpDirC), b = strlen(lpDirB);
  if (StrIs(STRR_HOTFIX, "RQA")) {
    WriteLog("RestoreBaseRelease: We are RQA", 2);
    size_t rqaB = PositionAfterStart(lpDirB, "_RQA");
    if (rqaB) b = rqaB;
    size_t hfC = PositionAfterStart(lpDirC, "HF");
    size_t rqaC = PositionAfterStart(lpDirC, "_RQA");
    if (hfC)
      c = hfC;
    else if (rqaC)
      c = rqaC;
  }
  size_t n = c > b ? c : b;
  return strncmp(lpDirC, lpDirB, n) == 0 && !(StrIs(STRR_HOTFIX, "RQA") && lpRqaLabel);
}

/* The installed release is the base: its recorded files are checked; a listing of them is kept
   in "baserev_detail.txt" only when the check fails. */
static BOOL CheckInstalledBase(void) {
  WriteLog("RestoreBaseRelease: Verifying backup information", 2);
  ShowStatus("Verifying backup information");
  FILE* f = fopen("baserev_detail.txt", "w+");
  if (!f) {
    char szMsg[160];
    FormatText(szMsg, sizeof(szMsg),
               "RestoreBaseRelease: Can't write patch information to a file rev_detail.txt: error %d",
               (int)GetLastError());
    MessageBoxA(NULL, szMsg, "Error", MB_OK);
    return FALSE;
  }
  WriteLog("RestoreBaseRelease: Calling CheckValidLabel()", 2);
  int result = CheckValidLabel(canCurrentVersion, f);
  fclose(f);
  if (result != 0) {
    DeleteFileA("baserev_detail.txt");
    return TRUE;
  }
  WriteLogF(2, "RestoreBaseRelease: Release version in tessra.dll: %s doesn't correspond to the installed files",
            canCurrentVersion);
  return FALSE;
}

/* Asks before a hotfix puts back the files of another fixpack than the installed one. */
static BOOL FixpackRevertAccepted(const char* lpDirC, const char* lpDirB) {
  if (FixpackNumber(lpDirC) == FixpackNumber(lpDirB)) return TRUE;
  char szText[2 * PATH_BUFFER + 160];
  FormatText(
      szText, sizeof(szText),
      "Warning! Installing Hotfix %s will revert Fixpack %s already installed.\n\nAre you sure you want to continue?",
      lpDirB, lpDirC);
  return MessageBoxA(NULL, szText, "Warning! Action will revert Fixpack!", MB_YESNO) != IDNO;
}

/* The release strings of the base release after its files are back. */
static BOOL RestoreReleaseStrings(const char* lpBase, const char* lpBackupDir) {
  char szKept[PATH_BUFFER];
  FormatText(szKept, sizeof(szKept), "%s\\%s", lpBackupDir, "tessra.dll");
  if (dwUpgradeType == 2) {
    WriteLog("RestoreBaseRelease: We are FIXPACK, calling CopyFiles()", 2);
    CopyFiles(szKept, Str(STR_STRINGS_LIB));
  }
  WriteLog("RestoreBaseRelease (-1): no info about backup or incomplete patch.ini", 2);
  if (dwUpgradeType == 1 || dwUpgradeType == 2) {
    WriteLog("RestoreBaseRelease: Either HOTFIX or FIXPACK", 2);
    if (!StrIs(STRR_HOTFIX, "TDX") && !strstr(Str(STR_TITLE), "RQA")) {
      WriteLog("RestoreBaseRelease: Calling UpdateTessr64()", 2);
      if (!UpdateTessra64(lpBase)) {
        WriteLog("RestoreBaseRelease: ERROR: UpdateTessra64() failed!", 2);
        return FALSE;
      }
    }
  } else {
    WriteLog("RestoreBaseRelease: Neither HOTFIX nor FIXPACK, calling DoesFileExist()", 2);
    if (DoesFileExist(szKept)) {
      WriteLog("RestoreBaseRelease: calling CopyFiles()", 2);
      CopyFiles(szKept, Str(STR_STRINGS_LIB));
    }
  }
  return TRUE;
}

/* The fix registry of the base release, for a fixpack. */
static void RestoreRegistryCopy(const char* lpBackupDir) {
  if (dwUpgradeType != 2) return;
  char szCopy[PATH_BUFFER], szRegistry[PATH_BUFFER];
  FormatText(szCopy, sizeof(szCopy), "%s\\%s", lpBackupDir, "PATCH_INI.BCK");
  FormatText(szRegistry, sizeof(szRegistry), "%s\\%s", gpProgramDir, "PATCH.INI");
  WriteLogF(2, "RestoreBaseRelease: We are FIXPACK, calling DoesFileExist on %s", szCopy);
  if (!DoesFileExist(szCopy)) return;
  WriteLog("RestoreBaseRelease: patch file exists, calling RestoreZorelIni()", 2);
  if (RestoreZorelIni(szRegistry, szCopy)) {
    WriteLog("RestoreBaseRelease: RestoreZorelIni() succeeded!", 2);
  } else {
    WriteLogF(2, "RestoreBaseRelease: ERROR: Patch.ini could not be restored from the backup %s : removing", szCopy);
    DeleteFileA(szRegistry);
  }
}

BOOL RestoreBaseRelease(const char* lpOldLabel) {
  char szBase[PATH_BUFFER];
  if (dwUpgradeType == 1 || dwUpgradeType == 2)
    CopyText(szBase, sizeof(szBase), lpOldLabel);
  else
    CopyText(szBase, sizeof(szBase), Str(StrIs(STRR_HOTFIX, "Custom Fix") ? STR_TITLE : STR_RELEASE_TEXT));
  WriteLogF(2, "RestoreBaseRelease: Starting, canBaseVersion is %s", szBase);
  char szRelease[PATH_BUFFER], szStatus[PATH_BUFFER + 64];
  ReleaseOfLabel(szBase, szRelease, sizeof(szRelease));
  FormatText(szStatus, sizeof(szStatus), "RestoreBaseRelease: Checking backup for %s", szRelease);
  WriteLog(szStatus, 2);
  ShowStatus(szStatus);

  char szDirC[PATH_BUFFER], szDirB[PATH_BUFFER], szBackupDir[PATH_BUFFER];
  LabelDirName(canCurrentVersion, szDirC);
  LabelDirName(szBase, szDirB);
  if (IsInstalledBase(szDirC, szDirB)) return CheckInstalledBase();

  WriteLog("RestoreBaseRelease: Verifying backup information - 2", 2);
  if (!zfix::IsLabelDirName(szDirB) || !BuildPath(szBackupDir, sizeof(szBackupDir), "%s\\%s", gpProgramDir, szDirB) ||
      !IsDirectory(szBackupDir)) {
    WriteLogF(2, "RestoreBaseRelease: ERROR: No backup found for %s - can't restore to the base revision",
              canCurrentVersion);
    return FALSE;
  }
  WriteLogF(2, "RestoreBaseRelease: Backup found for %s - calling CheckValidBackup()", canCurrentVersion);
  int nValidBackup = CheckValidBackup(szBase);
  WriteLogF(2, "RestoreBaseRelease: back from calling CheckValidBackup(), nValidBackup = %d", nValidBackup);
  if (nValidBackup == 0 && (gwOptions & OPTIONS_FORCE)) {
    WriteLog("RestoreBaseRelease: ERROR: OPTIONS_FORCE is set, nValidBackup = -1", 0);
    nValidBackup = -1;
  }
  if (nValidBackup != 0 && dwUpgradeType == 1 && giMode == MODE_UPGRADE && !FixpackRevertAccepted(szDirC, szDirB))
    nValidBackup = 0;
  WriteLogF(2, "RestoreBaseRelease: Switching on nValidBackup = %d", nValidBackup);
  if (nValidBackup == 0) {
    WriteLog("RestoreBaseRelease: ERROR: Backup is incomplete or failed checksum", 0);
    return FALSE;
  }
  if (nValidBackup == -1)
    WriteLog("RestoreBaseRelease: ERROR Backup is not valid, falling through to RestoreFiles()", 2);

  WriteLog("RestoreBaseRelease: Calling RestoreFiles()", 2);
  if (!RestoreFiles(szBase)) {
    WriteLog("RestoreBaseRelease: ERROR: Couldn't restore the base release", 0);
    return FALSE;
  }
  if (!RestoreReleaseStrings(szBase, szBackupDir)) return FALSE;
  RestoreRegistryCopy(szBackupDir);
  WriteLog("RestoreBaseRelease: Finished, returning TRUE", 2);
  return TRUE;
}

BOOL RestoreBadFixpack(void) {
  char szTarget[PATH_BUFFER];
  LabelDirName(gszRevertLabel, szTarget);
  if (!zfix::IsLabelDirName(szTarget)) {
    WriteLogF(0, "Couldn't restore %s", gszRevertLabel);
    return FALSE;
  }
  BOOL bPartitioned = giPartitions >= 2;
  int partitions = bPartitioned ? giPartitions : 1;
  for (int i = 0; i < partitions; ++i) {
    const char* data = gpZorelData && gpZorelData[i] ? gpZorelData[i] : "";
    char szIni[PATH_BUFFER], szCopy[PATH_BUFFER];
    FormatText(szIni, sizeof(szIni), "%s\\%s", data, "ZOREL.INI");
    FormatText(szCopy, sizeof(szCopy), "%s\\%s\\%s", data, szTarget, "ZOREL_INI.BCK");
    if (!bPartitioned && !DoesFileExist(szIni)) {
      FormatText(szIni, sizeof(szIni), "%s\\%s", gpProgramDir, "ZOREL.INI");
      FormatText(szCopy, sizeof(szCopy), "%s\\%s\\%s", gpProgramDir, szTarget, "ZOREL_INI.BCK");
    }
    if ((bPartitioned || DoesFileExist(szCopy)) && !RestoreZorelIni(szIni, szCopy))
      WriteLogF(1, "RestoreBadFixpack: Zorel.ini could not be restored from the backup %s", szCopy);
    if (!WritePrivateProfileStringA("Zorel", "CFP_LP_PREV", canCurrentVersion, szIni)) {
      WriteLogF(1, "Writing CFP_LP_PREV value to  Zorel.ini error: %d", (int)GetLastError());
      return FALSE;
    }
  }
  char szCopy[PATH_BUFFER], szRegistry[PATH_BUFFER];
  FormatText(szCopy, sizeof(szCopy), "%s\\%s\\%s", gpProgramDir, szTarget, "PATCH_INI.BCK");
  FormatText(szRegistry, sizeof(szRegistry), "%s\\%s", gpProgramDir, "PATCH.INI");
  if (DoesFileExist(szCopy) && !RestoreZorelIni(szRegistry, szCopy))
    WriteLogF(1, "RestoreBadFixpack: Patch.ini could not be restored from the backup %s", szCopy);
  if (!RestoreFiles(gszRevertLabel)) {
    WriteLogF(0, "Couldn't restore %s", gszRevertLabel);
    return FALSE;
  }
  return UpdateTessra64(gszRevertLabel);
}
