#include "records/zorel_ini.h"

#include "installer/file_copy.h"
#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/profile.h"
#include "installer/text.h"
#include "package/fix_format.h"
#include "records/ini_copies.h"

#include <string.h>

#include <vector>

static const char kSection[] = "Zorel";
static const char kBase[] = "CFP_LP_BASE_VERSION";
static const char kCurrent[] = "CFP_LP_CURRENT";
static const char kPrev[] = "CFP_LP_PREV";
/* The LP value of a build that leaves the current LP value to the base version. */
static const char kSkip[] = "SKIP";

/* The files of one partition: its configuration file, the backup copy and its directory. */
/* How far a partition's step took UpdateZorelIni: it failed, it is done (later partitions
   are not visited), or the next partition follows. */
#define ZOREL_FAILED 0
#define ZOREL_DONE 1
#define ZOREL_NEXT 2

struct PartitionFiles {
  char ini[PATH_BUFFER];
  char bck[PATH_BUFFER];
  char bdir[PATH_BUFFER];
};

static BOOL WriteZorelKey(const char* lpKey, const char* lpValue, const char* lpIni) {
  return WritePrivateProfileStringA(kSection, lpKey, lpValue, lpIni);
}

static const char* DataDir(int i) { return gpZorelData && gpZorelData[i] ? gpZorelData[i] : ""; }

BOOL UpgradeZorelIni(const char* lpKey, const char* lpValue, const char* lpIni, const char* lpBackup) {
  WriteLog("UpgradeZorelIni: Starting", 3);
  if (lpBackup && !DoesFileExist(lpBackup)) {
    WriteLogF(3, "UpgradeZorelIni: File [%s] does NOT exist", lpBackup);
    WriteLogF(3, "UpgradeZorelIni: Reading %s from file [%s]", lpKey, lpIni);
    char szValue[PROFILE_BUFFER];
    int read = ReadProfileString(kSection, lpKey, szValue, sizeof(szValue), lpIni);
    if (read == PROFILE_EMPTY) WriteLogF(0, "Getting profile string for  %s: error: %d", lpKey, (int)GetLastError());
    if (read == PROFILE_MISSING) {
      WriteLogF(3, "UpgradeZorelIni: No value found for %s in Zorel.ini - not backing up", lpKey);
    } else {
      WriteLogF(3, "UpgradeZorelIni: Writing %s to file [%s]", lpKey, lpBackup);
      if (WriteZorelKey(lpKey, szValue, lpBackup))
        WriteLogF(2, "UpgradeZorelIni: Backed up [%s] value of %s to %s", szValue, lpKey, lpBackup);
      else
        WriteLogF(3, "UpgradeZorelIni: Backing up [%s] value of %s to %s error: %d", szValue, lpKey, lpBackup,
                  (int)GetLastError());
    }
  }
  WriteLogF(3, "UpgradeZorelIni: Writing [%s] to file [%s]", lpValue, lpIni);
  if (!WriteZorelKey(lpKey, lpValue, lpIni)) {
    WriteLogF(0, "UpgradeZorelIni: Upgrading %s value to %s error in Zorel.ini : %d", lpKey, lpValue,
              (int)GetLastError());
    return FALSE;
  }
  WriteLogF(3, "UpgradeZorelIni: Upgraded %s value to %s in zorel.ini", lpKey, lpValue);
  return TRUE;
}

BOOL RestoreIniKey(const char* lpKey, const char* lpLive, const char* lpBackup) {
  WriteLog("RestoreIniKey: Starting", 4);
  if (!DoesFileExist(lpBackup)) return FALSE;
  char szValue[PROFILE_BUFFER];
  int read = ReadProfileString(kSection, lpKey, szValue, sizeof(szValue), lpBackup);
  if (read == PROFILE_EMPTY)
    WriteLogF(1, "Getting profile string %s for Zorel from the backup file %s : error: %d", lpKey, lpBackup,
              (int)GetLastError());
  if (!WriteZorelKey(lpKey, read == PROFILE_MISSING ? NULL : szValue, lpLive)) {
    WriteLogF(1, "Writing %s value to  Zorel.ini error: %d", lpKey, (int)GetLastError());
    return FALSE;
  }
  return TRUE;
}

BOOL RestoreZorelIni(const char* lpLive, const char* lpBackup) {
  WriteLogF(3, "RestoreZorelIni: Passed current [%s] and backup [%s]", lpLive, lpBackup);
  if (StrIs(STRR_HOTFIX, zfix::FIXKIND_TDX)) return TRUE;
  if (!DoesFileExist(lpBackup)) {
    WriteLogF(3, "RestoreZorelIni: No backup file  %s: can't restore LP settings", lpBackup);
    return FALSE;
  }
  if (!DoesFileExist(lpLive)) {
    if (CopyFiles(lpBackup, lpLive)) {
      WriteLogF(3, "RestoreZorelIni: copied  %s to %s", lpBackup, lpLive);
      return TRUE;
    }
    WriteLogF(1, "RestoreZorelIni: Couldn't copy  %s to %s", lpBackup, lpLive);
  }
  if (!DoesFileExist(lpLive)) {
    WriteLogF(0, "RestoreZorelIni: ERROR: file %s doesn't exist ", lpLive);
    return FALSE;
  }
  BOOL bBase = RestoreIniKey(kBase, lpLive, lpBackup);
  if (!bBase) WriteLogF(1, "Could not restore CFP_LP_BASE_VERSION from %s to %s", lpBackup, lpLive);
  BOOL bCurrent = RestoreIniKey(kCurrent, lpLive, lpBackup);
  if (!bCurrent) WriteLogF(1, "Could not restore CFP_LP_CURRENT from %s to %s", lpBackup, lpLive);
  return bBase || bCurrent;
}

BOOL SaveZorelIni(const char* lpBackup, const char* lpLive) {
  WriteLog("SaveZorelIni: Starting", 0);
  if (DoesFileExist(lpBackup)) {
    WriteLogF(4, "SaveZorelIni: backup %s existed: not overwritten", lpBackup);
    return TRUE;
  }
  if (!CopyFiles(lpLive, lpBackup)) {
    WriteLogF(0, "SaveZorelIni: Couldn't backup  %s to %s", lpLive, lpBackup);
    return FALSE;
  }
  WriteLogF(4, "SaveZorelIni: backed up  %s to %s", lpLive, lpBackup);
  return TRUE;
}

void SetLPVersions(void) {
  WriteLog("SetLPVersions: Starting", 1);
  int partitions = giPartitions < 1 ? 1 : giPartitions;
  for (int i = 0; i < partitions; ++i) {
    char szIni[PATH_BUFFER], szValue[PROFILE_BUFFER];
    JoinPath(szIni, sizeof(szIni), DataDir(i), "ZOREL.INI");
    if (!DoesFileExist(szIni)) JoinPath(szIni, sizeof(szIni), gpProgramDir, "ZOREL.INI");
    int read = ReadProfileString(kSection, kCurrent, szValue, sizeof(szValue), szIni);
    if (read == PROFILE_EMPTY)
      WriteLogF(1, "Getting profile string for Zorel,  CFP_LP_CURRENT_VERSION: error: %d", (int)GetLastError());
    if (read == PROFILE_MISSING) return;
    if (!WriteZorelKey(kPrev, szValue, szIni)) {
      WriteLogF(1, "Writing CFP_LP_PREV value to  Zorel.ini error: %d", (int)GetLastError());
      return;
    }
    if (!WriteZorelKey(kCurrent, canCurrentVersion, szIni)) {
      WriteLogF(1, "Writing CFP_LP_CURRENT_VERSION value to  Zorel.ini error: %d", (int)GetLastError());
      return;
    }
  }
}

/* Creates a backup directory unless it is one already; a failure is logged and the copy tried. */
static void MakeBackupDir(const char* lpDir) {
  if (!IsDirectory(lpDir) && !CreateDirectoryA(lpDir, NULL))
    WriteLogF(0, "UpdateZorelIni: ERROR: Failed to create backup directory %s", lpDir);
}

/* The configuration file of a partition, its backup copy and the copy's directory. */
static void FindPartitionFiles(int i, BOOL bPartitioned, const char* lpLabelDir, PartitionFiles* p) {
  JoinPath(p->ini, sizeof(p->ini), DataDir(i), "ZOREL.INI");
  JoinPath(p->bdir, sizeof(p->bdir), DataDir(i), lpLabelDir);
  if (!DoesFileExist(p->ini)) {
    JoinPath(p->ini, sizeof(p->ini), gpProgramDir, "ZOREL.INI");
    if (bPartitioned) {
      WriteLogF(0, "UpdateZorelIni: ERROR: File zorel.ini [%s] does NOT exist, setting path to program directory",
                p->ini);
    } else {
      WriteLog("UpdateZorelIni: Did not find zorel.ini file in the data directory, will use program directory instead",
               2);
      JoinPath(p->bdir, sizeof(p->bdir), gpProgramDir, lpLabelDir);
    }
  }
  JoinPath(p->bck, sizeof(p->bck), p->bdir, "ZOREL_INI.BCK");
  WriteLogF(2, "UpdateZorelIni: ZorelIni [%s]", p->ini);
  WriteLogF(2, "UpdateZorelIni: ZorelIniBackup [%s]", p->bck);
  WriteLogF(2, "UpdateZorelIni: ZorelIniBackupDir [%s]", p->bdir);
}

/* A partition without a configuration file: ZOREL_FAILED, ZOREL_DONE or ZOREL_NEXT. */
static int UpdateMissingIni(int i, BOOL bPartitioned, PartitionFiles* p, const char* lpNew, const char* lpOld,
                            const char* lpValue) {
  WriteLogF(0, "UpdateZorelIni: ERROR: File zorel.ini [%s] does NOT exist", p->ini);
  if (giMode != MODE_UPGRADE) {
    WriteLogF(2, "UpdateZorelIni: MODE_REVERT, calling RestoreZorelIni (zorel) with [%s] and [%s]", p->ini, p->bck);
    if (!RestoreZorelIni(p->ini, p->bck))
      WriteLogF(0, "UpdateZoreelIni: Zorel.ini could not be restored from the backup %s", p->bck);
    WriteLogF(2, "UpdateZorelIni: MODE_REVERT, writing CFP_LP_PREV to [%s]", p->ini);
    if (!WriteZorelKey(kPrev, lpValue, p->ini)) {
      WriteLogF(0, "UpdateZorelIni: Writing CFP_LP_PREV value to  Zorel.ini error: %d", (int)GetLastError());
      return ZOREL_FAILED;
    }
    return ZOREL_DONE;
  }
  if (bPartitioned)
    JoinPath(p->ini, sizeof(p->ini), DataDir(i), "ZOREL.INI");
  else
    JoinPath(p->ini, sizeof(p->ini), gpProgramDir, "ZOREL.INI");
  if (!WriteEmptyProfileSection(kSection, p->ini)) {
    WriteLogF(0, "UpdateZorelIni: Writing profile section to  Zorel.ini error: %d", (int)GetLastError());
    return ZOREL_FAILED;
  }
  if (dwUpgradeType == 0) {
    if (!WriteZorelKey(kBase, lpNew, p->ini)) {
      WriteLogF(0, "Writing CFP_LP_BASE_VERSION value to  Zorel.ini error: %d", (int)GetLastError());
      return ZOREL_FAILED;
    }
    return ZOREL_DONE;
  }
  const char* lpLp = Str(STR_LP);
  if (!WriteZorelKey(kBase, StrIs(STR_LP, kSkip) ? lpNew : lpOld, p->ini)) {
    WriteLogF(0, "Writing CFP_LP_BASE_VERSION value to  Zorel.ini error: %d", (int)GetLastError());
    return ZOREL_FAILED;
  }
  if (!WriteZorelKey(kCurrent, lpLp, p->ini)) {
    WriteLogF(0, "Writing CFP_LP_CURRENT value to  Zorel.ini error: %d", (int)GetLastError());
    return ZOREL_FAILED;
  }
  if (!WriteZorelKey(kPrev, canCurrentVersion, p->ini)) {
    WriteLogF(0, "Writing CFP_LP_PREV value to  Zorel.ini error: %d", (int)GetLastError());
    return ZOREL_FAILED;
  }
  return ZOREL_NEXT;
}

/* CFP_LP_PREV after an upgrade: the value current so far, through "SKIP" to the base version,
   and the old label where there is none. */
static BOOL WritePreviousValue(const PartitionFiles* p, const char* lpOld) {
  char szCurrent[PROFILE_BUFFER];
  int read = ReadProfileString(kSection, kCurrent, szCurrent, sizeof(szCurrent), p->ini);
  if (read == PROFILE_EMPTY)
    WriteLogF(0, "UpdateZorelIni: Getting profile string for Zorel,  CFP_LP_CURRENT: error: %d", (int)GetLastError());
  if (read == PROFILE_MISSING) {
    if (!WriteZorelKey(kPrev, lpOld, p->ini)) {
      WriteLogF(0, "UpdateZoerelIni: Writing CFP_LP_PREV value to  Zorel.ini error: %d", (int)GetLastError());
      return FALSE;
    }
    return TRUE;
  }
  const char* lpPrev = szCurrent;
  char szBase[PROFILE_BUFFER];
  if (strcmp(szCurrent, kSkip) == 0) {
    int baseRead = ReadProfileString(kSection, kBase, szBase, sizeof(szBase), p->ini);
    if (baseRead == PROFILE_EMPTY)
      WriteLogF(0, "UpdateZorelIni: Getting profile string for Zorel,  CFP_LP_BASE_VERSION: error: %d",
                (int)GetLastError());
    lpPrev = baseRead == PROFILE_MISSING ? lpOld : szBase;
  }
  if (!WriteZorelKey(kPrev, lpPrev, p->ini)) {
    WriteLogF(0, "UpdateZorelIni: Writing CFP_LP_PREV value to  Zorel.ini error: %d", (int)GetLastError());
    return FALSE;
  }
  return TRUE;
}

/* An upgrade of a partition whose configuration file exists: ZOREL_FAILED, ZOREL_DONE or ZOREL_NEXT. */
static int UpgradeExistingIni(const PartitionFiles* p, const char* lpNew, const char* lpOld, const char* lpValue) {
  WriteLog("UpdateZorelIni: Mode is MODE_UPGRADE", 2);
  if (dwUpgradeType == 0) {
    WriteLogF(2, "UpdateZorelIni: MODE_UPGRADE 3, calling UpgradeZorelIni (zorel) with [%s] and [%s]", p->ini, p->bck);
    return UpgradeZorelIni(kBase, lpNew, p->ini, p->bck) ? ZOREL_DONE : ZOREL_FAILED;
  }
  if (DoesFileExist(p->bck)) {
    WriteLogF(2, "UpdateZorelIni: backup %s existed: not overwritten", p->bck);
  } else {
    MakeBackupDir(p->bdir);
    if (!CopyFiles(p->ini, p->bck)) {
      WriteLogF(0, "UpdateZorelIni: Couldn't backup %s to %s", p->ini, p->bck);
      return ZOREL_FAILED;
    }
    WriteLogF(2, "UpdateZorelIni: backed up %s to %s", p->ini, p->bck);
  }
  if (!WritePreviousValue(p, lpOld)) return ZOREL_FAILED;
  if (StrIs(STR_LP, kSkip)) {
    WriteLogF(2, "UpdateZorelIni: MODE_UPGRADE 2, calling UpgradeZorelIni (zorel) with [%s] and [%s]", p->ini, p->bck);
    if (!UpgradeZorelIni(kBase, lpNew, p->ini, p->bck)) return ZOREL_FAILED;
  } else if (!WriteZorelKey(kBase, lpOld, p->ini)) {
    WriteLogF(0, "UpdateZorelIni: Writing CFP_LP_BASE_VERSION value to  Zorel.ini error: %d", (int)GetLastError());
    return ZOREL_FAILED;
  }
  WriteLogF(2, "UpdateZorelIni: MODE_UPGRADE, calling UpgradeZorelIni (zorel) with [%s] and [%s]", p->ini, p->bck);
  UpgradeZorelIni(kCurrent, lpValue, p->ini, p->bck);
  return ZOREL_NEXT;
}

/* A revert of a partition whose configuration file exists: the saved keys go back and the
   label's INI copies are removed with their directory. */
static void RevertExistingIni(const PartitionFiles* p, const char* lpValue) {
  WriteLog("UpdateZorelIni: Mode is NOT MODE_UPGRADE", 2);
  WriteLogF(2, "UpdateZorelIni: MODE_REVERT 2, calling RestoreZorelIni (zorel) with [%s] and [%s]", p->ini, p->bck);
  if (!RestoreZorelIni(p->ini, p->bck))
    WriteLogF(0, "UpdateZorelIni: Zorel.ini could not be restored from the backup %s", p->bck);
  else if (!RemoveDir(p->bdir))
    WriteLogF(0, "UpdateZorelIni: Directory %s could not be removed", p->bdir);
  WriteLogF(2, "UpdateZorelIni: MODE_REVERT 2, calling UpgradeZorelIni (zorel) with [%s] and [%s]", p->ini, p->bck);
  /* The label's copy has just been used up: a copy made now would hold this one key and
     would later pass for the whole file's backup, so nothing is kept. */
  UpgradeZorelIni(kPrev, lpValue, p->ini, NULL);
}

BOOL UpdateZorelIni(const char* lpNewLabel, const char* lpOldLabel) {
  WriteLogF(2, "UpdateZorelIni: Called with new [%s] and old [%s]", lpNewLabel, lpOldLabel);
  if (StrIs(STRR_HOTFIX, zfix::FIXKIND_TDX)) return TRUE;

  char szLabelDir[PATH_BUFFER];
  LabelDirName(giMode == MODE_UPGRADE ? lpOldLabel : lpNewLabel, szLabelDir);
  const char* lpValue = StrIs(STR_LP, kSkip) ? kSkip : giMode == MODE_UPGRADE ? lpNewLabel : canCurrentVersion;

  BOOL bPartitioned = giPartitions >= 2;
  int partitions = bPartitioned ? giPartitions : 1;
  WriteLog(bPartitioned ? "UpdateZorelIni: This is a partitioned server"
                        : "UpdateZorelIni: This is NOT a partitioned server",
           2);
  std::vector<PartitionFiles> files((size_t)partitions);
  for (int i = 0; i < partitions; ++i) FindPartitionFiles(i, bPartitioned, szLabelDir, &files[i]);

  char szReg[PATH_BUFFER], szRegBck[PATH_BUFFER], szRegDir[PATH_BUFFER];
  JoinPath(szReg, sizeof(szReg), gpProgramDir, "PATCH.INI");
  JoinPath(szRegDir, sizeof(szRegDir), gpProgramDir, szLabelDir);
  JoinPath(szRegBck, sizeof(szRegBck), szRegDir, "PATCH_INI.BCK");
  WriteLogF(2, "UpdateZorelIni: PatchIni [%s]", szReg);
  WriteLogF(2, "UpdateZorelIni: PatchIniBackup [%s]", szRegBck);
  WriteLogF(2, "UpdateZorelIni: PatchIniBackupDir [%s]", szRegDir);

  int result = ZOREL_NEXT;
  if (giMode == MODE_UPGRADE) {
    if (!DoesFileExist(szRegBck) && DoesFileExist(szReg)) {
      if (!IsDirectory(szRegDir) && !CreateDirectoryA(szRegDir, NULL))
        WriteLogF(0, "UpdateZorelIni: ERROR: Failed to create backup directory %s", szRegDir);
      if (!CopyFiles(szReg, szRegBck)) {
        WriteLogF(0, "UpdateZorelIni: ERROR: Couldn't backup %s to %s", szReg, szRegBck);
        result = ZOREL_FAILED;
      } else {
        WriteLogF(2, "UpdateZorelIni: backed up %s to %s", szReg, szRegBck);
      }
    }
  } else {
    WriteLogF(2, "UpdateZorelIni: MODE_REVERT, calling RestoreZorelIni (patch) with [%s] and [%s]", szReg, szRegBck);
    if (!RestoreZorelIni(szReg, szRegBck)) {
      WriteLogF(2, "UpdateZorelIni: PATCH.INI could not be restored from the backup %s removing %s", szRegBck, szReg);
      DeleteFileA(szReg);
    }
  }

  for (int i = 0; i < partitions && result == ZOREL_NEXT; ++i) {
    PartitionFiles* p = &files[i];
    if (!DoesFileExist(p->ini)) {
      result = UpdateMissingIni(i, bPartitioned, p, lpNewLabel, lpOldLabel, lpValue);
      continue;
    }
    WriteLogF(2, "UpdateZorelIni: File zorel.ini [%s] exists", p->ini);
    if (giMode == MODE_UPGRADE)
      result = UpgradeExistingIni(p, lpNewLabel, lpOldLabel, lpValue);
    else
      RevertExistingIni(p, lpValue);
  }
  return result != ZOREL_FAILED;
}
