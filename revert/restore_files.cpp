#include "revert/restore_files.h"

#include "installer/file_copy.h"
#include "installer/fix_labels.h"
#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/profile.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "installer/window.h"
#include "package/checksum.h"
#include "package/file_entry.h"
#include "package/names.h"
#include "records/zorel_ini.h"
#include "resources/resource.h"
#include "revert/validate.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

/* Files a revert may delete when no copy of them is found: they came with the web server. */
static const char* const kSpecialFiles[] = {"webrk.exe", "webrkdll.dll", "icmrk.exe", "replrk.exe", "mod_halvex", NULL};
static const char* const kDataSpecialFiles[] = {"webrk.exe", "webrkdll.dll", "icmrk.exe", "replrk.exe", NULL};

static BOOL HoldsAny(const char* lpText, const char* const* lpList) {
  for (; *lpList; ++lpList)
    if (strstr(lpText, *lpList)) return TRUE;
  return FALSE;
}

/* The fix's file list, loaded once for the run. */
static FILETABLEENTRY* gpFileTable[FILE_TABLE_SIZE];
static int giFileTable = -1;

static int FileTable(void) {
  if (giFileTable < 0) giFileTable = LoadFileTable(gpFileTable);
  return giFileTable;
}

/* The directory code of lpFile in this fix's list, 0 when the fix does not list it. */
static DWORD FixFileDir(const char* lpFile) {
  int n = FileTable();
  for (int i = 1; i <= n; ++i)
    if (gpFileTable[i]->name && _stricmp(gpFileTable[i]->name, lpFile) == 0) return gpFileTable[i]->dwDir;
  return 0;
}

static BOOL CopyOver(const char* lpFrom, const char* lpTo) {
  /* A read-only target would refuse the copy. */
  SetFileAttributesA(lpTo, FILE_ATTRIBUTE_NORMAL);
  return CopyFiles(lpFrom, lpTo);
}

BOOL FindAndRestoreFile(const char* lpShortName, const char* lpTarget, const char* lpChecksum) {
  int files = FileTable();
  if (files <= 0) return FALSE;
  char szRegistry[PATH_BUFFER];
  FormatText(szRegistry, sizeof(szRegistry), "%s\\%s", gpProgramDir, gszPatchIniName);
  static const char* const sections[] = {"FIXPACKS", "HOTFIXES"};
  for (const char* section : sections) {
    if (!ProfileSectionHasKeys(section, szRegistry)) {
      if (strcmp(section, "FIXPACKS") == 0)
        WriteLogF(0, "FindAndRestoreFile: ERROR: Can't find section FIXPACKS in %s", szRegistry);
      else
        WriteLogF(4, "FindAndRestoreFile: Can't find section HOTFIXES in %s (probably ok)", szRegistry);
      continue;
    }
    for (int n = 1;; ++n) {
      char szKey[16], szLabel[PROFILE_BUFFER];
      FormatText(szKey, sizeof(szKey), "Label%03d", n);
      int read = ReadProfileString(section, szKey, szLabel, sizeof(szLabel), szRegistry);
      if (read == PROFILE_EMPTY) {
        WriteLogF(0, "FindAndRestoreFile: ERROR: Unable to get profile string for [%s], section [%s] in [%s]: err: %d",
                  szKey, section, szRegistry, (int)GetLastError());
        continue;
      }
      WriteLogF(4, "FindAndRestoreFile: Got profile string for [%s], section [%s] in [%s]: [%s]", szKey, section,
                szRegistry, szLabel);
      if (read == PROFILE_MISSING) {
        WriteLog("FindAndRestoreFile: GetPrivateProfileString() returned DEFAULT, breaking", 4);
        break;
      }
      char szDirName[PATH_BUFFER], szDir[PATH_BUFFER], szCandidate[PATH_BUFFER];
      LabelDirName(szLabel, szDirName);
      if (!zfix::IsLabelDirName(szDirName) || !BuildPath(szDir, sizeof(szDir), "%s\\%s", gpProgramDir, szDirName) ||
          !IsDirectory(szDir)) {
        WriteLogF(4, "FindAndRestoreFile: No backup dir found for %s", szLabel);
        continue;
      }
      if (!BuildPath(szCandidate, sizeof(szCandidate), "%s\\%s", szDir, lpShortName)) continue;
      /* A label without this copy is passed over: a copy of the installed file placed
         there would pass for that label's version at its next revert. */
      if (!DoesFileExist(szCandidate)) continue;
      FILE* f = fopen(szCandidate, "rb");
      if (!f) {
        WriteLogF(0, "FindAndRestoreFile: ERROR: Can't open %s to get checksum", szCandidate);
        continue;
      }
      uint32_t crc = 0;
      BOOL bRead = zfix::StreamCrc32(f, &crc);
      fclose(f);
      if (!bRead) {
        WriteLogF(0, "FindAndRestoreFile: ERROR: Can't open %s to get checksum", szCandidate);
        continue;
      }
      unsigned long c = crc;
      WriteLogF(4, "FindAndRestoreFile: Found [%s], checksum = 0x%08X", szCandidate, (unsigned)c);
      char szC[32];
      FormatText(szC, sizeof(szC), "%#lx", c);
      if (strcmp(szC, lpChecksum) == 0) {
        if (CopyOver(szCandidate, lpTarget)) {
          WriteLogF(4, "FindAndRestoreFile: Checksum matched, copied [%s] to [%s]", szCandidate, lpTarget);
          return TRUE;
        }
        WriteLogF(0, "FindAndRestoreFile: ERROR: Failed to restore [%s] to [%s]", szCandidate, lpTarget);
        continue;
      }
      /* The version of a file before this fix is known by its checksum; an empty copy
         proves nothing (new files have the checksum 0 before the fix). */
      for (int i = 1; c != 0 && i <= files; ++i) {
        if (gpFileTable[i]->dwOldChecksum != c) continue;
        if (CopyOver(szCandidate, lpTarget)) {
          WriteLogF(4, "FindAndRestoreFile: 2 Copied [%s] to [%s]", szCandidate, lpTarget);
          return TRUE;
        }
        WriteLogF(0, "FindAndRestoreFile: ERROR: 2 Failed to restore [%s] to [%s]", szCandidate, lpTarget);
      }
    }
  }
  return FALSE;
}

char* FindBackupName(const char* lpFile, char* lpOut, size_t size) {
  int files = FileTable();
  char szStem[PATH_BUFFER], szPattern[PATH_BUFFER];
  if (!zfix::StaysInside(lpFile) || !StripFileExtension(lpFile, szStem, sizeof(szStem)) ||
      !BuildPath(szPattern, sizeof(szPattern), "%s*", szStem))
    return NULL;
  std::string dir = lpFile;
  size_t slash = dir.find_last_of('\\');
  dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
  WIN32_FIND_DATAA fd;
  HANDLE hFind = FindFirstFileA(szPattern, &fd);
  if (hFind == INVALID_HANDLE_VALUE) return NULL;
  char* found = NULL;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string name = dir + fd.cFileName;
    FILE* f = fopen(name.c_str(), "rb");
    if (!f) continue;
    uint32_t crc = 0;
    BOOL bRead = zfix::StreamCrc32(f, &crc);
    fclose(f);
    if (!bRead) continue;
    unsigned long c = crc;
    for (int i = 1; i <= files && !found; ++i) {
      if (gpFileTable[i]->name && strcmp(gpFileTable[i]->name, lpFile) == 0 && gpFileTable[i]->dwOldChecksum == c &&
          CopyWhole(lpOut, size, name.c_str()))
        found = lpOut;
    }
  } while (!found && FindNextFileA(hFind, &fd));
  FindClose(hFind);
  return found;
}

/* The data directories in use. */
static std::vector<std::string> DataDirs(void) {
  std::vector<std::string> dirs;
  for (int i = 0; gpZorelData && i < giPartitions; ++i)
    if (gpZorelData[i] && *gpZorelData[i] && (!gpDataValid || gpDataValid[i])) dirs.push_back(gpZorelData[i]);
  return dirs;
}

/* Keeps ZOREL.INI of every partition and PATCH.INI in lpLabelDir, the backup directory of the
   installed release, unless copies are there already. */
static void SaveIniCopies(const char* lpLabelDir) {
  BOOL bPartitioned = giPartitions >= 2;
  int partitions = bPartitioned ? giPartitions : 1;
  char szIni[PATH_BUFFER], szDir[PATH_BUFFER], szBackup[PATH_BUFFER];
  for (int i = 0; i < partitions; ++i) {
    const char* data = gpZorelData && gpZorelData[i] ? gpZorelData[i] : "";
    FormatText(szIni, sizeof(szIni), "%s\\%s", data, "ZOREL.INI");
    FormatText(szDir, sizeof(szDir), "%s\\%s", data, lpLabelDir);
    if (!DoesFileExist(szIni)) {
      FormatText(szIni, sizeof(szIni), "%s\\%s", gpProgramDir, "ZOREL.INI");
      if (!bPartitioned) FormatText(szDir, sizeof(szDir), "%s\\%s", gpProgramDir, lpLabelDir);
    }
    if (!DoesFileExist(szIni)) continue;
    if (!IsDirectory(szDir) && !CreateDirectoryA(szDir, NULL))
      WriteLogF(0, "RestoreFiles: ERROR: Failed to create backup directory %s", szDir);
    FormatText(szBackup, sizeof(szBackup), "%s\\%s", szDir, "ZOREL_INI.BCK");
    if (!SaveZorelIni(szBackup, szIni)) WriteLogF(0, "RestoreFiles: ERROR: Couldn't backup %s to %s", szIni, szBackup);
  }
  FormatText(szIni, sizeof(szIni), "%s\\%s", gpProgramDir, "PATCH.INI");
  FormatText(szBackup, sizeof(szBackup), "%s\\%s\\%s", gpProgramDir, lpLabelDir, "PATCH_INI.BCK");
  if (DoesFileExist(szIni) && !SaveZorelIni(szBackup, szIni))
    WriteLogF(0, "RestoreFiles: ERROR: Couldn't backup %s to %s", szIni, szBackup);
}

/* One entry of the label's section and where its file lies now. */
struct Entry {
  char szFileKey[32];
  char szFile[PROFILE_BUFFER];
  char szChecksum[PROFILE_BUFFER];
  char szBackup[PATH_BUFFER];       /* empty when there is no copy to name */
  std::string current;              /* the installed file, when there is one */
  std::vector<std::string> targets; /* every place the label's version goes */
  BOOL bData = FALSE;
  BOOL bSystem = FALSE;
  BOOL bNoSave = FALSE;
};

/* Step 4: where the file is installed: the program directory, the first data directory that
   holds it (a data file goes to every data directory), or the system directory for a file this
   fix lists there. */
static BOOL Locate(Entry* e) {
  char szProgram[PATH_BUFFER];
  if (!JoinRegistryName(gpProgramDir, e->szFile, szProgram, sizeof(szProgram), "RestoreFiles", e->szFileKey))
    return FALSE;
  WriteLogF(3, "RestoreFiles: Calling DoesFileExist() on %s", szProgram);
  DWORD dwDir = FixFileDir(e->szFile);
  std::vector<std::string> data = DataDirs();
  /* The registry does not say where a file lies: this fix's list tells it for the files the fix
     touches, and a file that only the system directory holds is a system file. */
  char szSystem[PATH_BUFFER] = "";
  BOOL bHasSystem = gpSystemDir && *gpSystemDir && zfix::StaysInside(e->szFile) &&
                    BuildPath(szSystem, sizeof(szSystem), "%s\\%s", gpSystemDir, e->szFile);
  if (bHasSystem && dwDir == 0 && !DoesFileExist(szProgram) && DoesFileExist(szSystem)) {
    BOOL bInData = FALSE;
    for (const std::string& d : data) bInData = bInData || DoesFileExist((d + "\\" + e->szFile).c_str());
    if (!bInData) dwDir = zfix::DIR_SYSTEM;
  }
  if (dwDir == zfix::DIR_SYSTEM && bHasSystem) {
    e->bSystem = TRUE;
    e->targets.push_back(szSystem);
    if (DoesFileExist(szSystem))
      e->current = szSystem;
    else
      e->bNoSave = TRUE;
    return TRUE;
  }
  if (DoesFileExist(szProgram)) {
    e->current = szProgram;
  } else if (!strstr(e->szFile, ".sym")) {
    for (const std::string& d : data) {
      std::string path = d + "\\" + e->szFile;
      WriteLogF(3, "RestoreFiles: Calling DoesFileExist() 2 on %s", path.c_str());
      if (DoesFileExist(path.c_str())) {
        WriteLogF(3, "RestoreFiles: Calling DoesFileExist() on %s - it DOES exist, and is a data file", path.c_str());
        e->bData = TRUE;
        e->current = path;
        break;
      }
      WriteLogF(3, "RestoreFiles: Calling DoesFileExist() on %s - it does NOT exist", path.c_str());
      e->bNoSave = TRUE;
    }
    /* A data file a fix removed is in no data directory: this fix's list tells where it goes. */
    if (!e->bData && dwDir == zfix::DIR_DATA && !data.empty()) e->bData = TRUE;
  }
  if (e->current.empty()) e->bNoSave = TRUE;
  if (e->bData) {
    for (const std::string& d : data) e->targets.push_back(d + "\\" + e->szFile);
  } else {
    e->targets.push_back(szProgram);
  }
  return TRUE;
}

/* Step 5: the installed version goes to the installed release's backup directory first, so that
   a later upgrade can undo the restore; a copy that is there already is kept. */
static void SaveCurrentVersion(const Entry& e) {
  if (dwUpgradeType != 1 && dwUpgradeType != 2) return;
  char szDc[PATH_BUFFER];
  LabelDirName(canCurrentVersion, szDc);
  if (!zfix::IsLabelDirName(szDc) || !e.szBackup[0]) {
    WriteLogF(0, "RestoreFiles: ERROR: no save copy of %s: %s names no backup directory or the entry no copy", e.szFile,
              canCurrentVersion);
    return;
  }
  char szDir[PATH_BUFFER], szSave[PATH_BUFFER];
  FormatText(szDir, sizeof(szDir), "%s\\%s", gpProgramDir, szDc);
  if (!BuildPath(szSave, sizeof(szSave), "%s\\%s", szDir, FixFileBaseName(e.szBackup))) return;
  WriteLogF(3, "RestoreFiles: Calling DoesFileExist() 3 on %s", szSave);
  if (DoesFileExist(szSave)) return;
  if (!IsDirectory(szDir)) {
    if (CreateDirectoryA(szDir, NULL)) {
      WriteLogF(3, "RestoreFiles: Created backup directory %s", szDir);
      if (!strstr(Str(STR_TITLE), "TDX")) {
        WriteLog("RestoreFiles: Calling SaveZorelIni()", 3);
        SaveIniCopies(szDc);
      }
    } else {
      WriteLogF(0, "RestoreFiles: ERROR: Failed to create backup directory %s", szDir);
    }
  }
  if (e.bNoSave) return;
  if (CopyFiles(e.current.c_str(), szSave))
    WriteLogF(3, "RestoreFiles(): backed up  %s to %s", e.current.c_str(), szSave);
  else
    WriteLogF(0, "RestoreFiles(): ERROR1: Failed to copy %s to %s", e.current.c_str(), szSave);
}

static void Remove(const std::string& path, BOOL* pbOK) {
  if (!DoesFileExist(path.c_str())) return;
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileA(path.c_str())) {
    WriteLogF(0, "RestoreFiles: ERROR: Failed to remove %s: %d", path.c_str(), (int)GetLastError());
    *pbOK = FALSE;
  }
}

static std::string ExtensionOf(const char* lpFile) {
  const char* dot = strrchr(lpFile, '.');
  return dot ? dot + 1 : "";
}

/* Whether an entry without any copy stands for a file the label's release did not have: a file
   with the extension "sym" or "sys" that came with a fix, or one recorded with the checksum 0. */
static BOOL IsRemoval(const Entry& e) {
  std::string ext = ExtensionOf(e.szFile);
  return ext == "sym" || ext == "sys" || strcmp(e.szChecksum, "0") == 0;
}

/* Step 8 for one target: the label's version from another label's directory, or the target's
   removal when the label's release did not have it. */
static void RestoreWithoutCopy(const Entry& e, const std::string& t, const char* lpLabel, BOOL* pbOK) {
  std::string ext = ExtensionOf(e.szFile);
  if (ext == "sym" || ext == "sys") {
    WriteLogF(3, "RestoreFiles: Removing %s", t.c_str());
    Remove(t, pbOK);
    return;
  }
  if (strcmp(e.szChecksum, "0") == 0) {
    /* The label's release had no such file: a later fix added it. */
    WriteLogF(3, "RestoreFiles: %s is absent in %s, removing it", t.c_str(), lpLabel);
    Remove(t, pbOK);
    return;
  }
  std::string shortName = FixFileBaseName(e.szBackup[0] ? e.szBackup : e.szFile);
  WriteLog("RestoreFiles: Calling FindAndRestoreFile()", 3);
  if (FindAndRestoreFile(shortName.c_str(), t.c_str(), e.szChecksum)) return;
  if (strstr(e.szFile, "tessra")) {
    WriteLog("RestoreFiles: matched tessra, continuing", 3);
  } else if (HoldsAny(e.szFile, kSpecialFiles)) {
    /* A special file does not count as a failure; a failure of an earlier file stands. */
    WriteLogF(3, "RestoreFiles: We found a 'special' file: %s, bOK is %d", t.c_str(), *pbOK);
    Remove(t, pbOK);
  } else {
    WriteLogF(0, "RestoreFiles(): 1 ERROR: Setting bOK to FALSE for to %s", t.c_str());
    *pbOK = FALSE;
  }
  /* No copy of the installed file is made under the label's backup name, jar and gz archives
     included: the target still holds the newer version, and a later revert to the label would
     take that copy for the label's own (as FindAndRestoreFile passes over a label without the
     copy for the same reason). */
}

/* Steps 7 and 8: the label's version over every target. */
static void RestoreTargets(const Entry& e, const char* lpLabel, BOOL* pbOK) {
  BOOL bBackupExists = e.szBackup[0] && DoesFileExist(e.szBackup);
  WriteLogF(3,
            bBackupExists ? "RestoreFiles: Setting bBackupExists to TRUE for file %s"
                          : "RestoreFiles: Setting bBackupExists to FALSE for file %s",
            e.szBackup);
  if (!bBackupExists) WriteLogF(3, "RestoreFiles(): extension %s to %s", ExtensionOf(e.szFile).c_str(), e.szFile);
  for (const std::string& t : e.targets) {
    if (!bBackupExists) {
      RestoreWithoutCopy(e, t, lpLabel, pbOK);
    } else if (CopyOver(e.szBackup, t.c_str())) {
      WriteLogF(3, "RestoreFiles(): copied  %s to %s", e.szBackup, t.c_str());
    } else {
      /* A file left at the installed version is no restored release. */
      WriteLogF(0, "RestoreFiles(): ERROR2: Failed to copy %s to %s", e.szBackup, t.c_str());
      *pbOK = FALSE;
    }
  }
}

/* Step 9: a program file that a data directory holds too is restored there as well. A file the
   label's release did not have in the program directory was removed there; a data directory's
   file of the same name is not this entry's file and stays as it is. */
static void RestoreInDataDirs(const Entry& e, BOOL* pbOK) {
  if (e.bData || e.bSystem) return;
  for (const std::string& d : DataDirs()) {
    if (_stricmp(d.c_str(), gpProgramDir) == 0) {
      WriteLogF(3, "RestoreFiles(): data directory %s same as the program directory %s", d.c_str(), gpProgramDir);
      continue;
    }
    std::string path = d + "\\" + e.szFile;
    if (!DoesFileExist(path.c_str())) continue;
    const BOOL bBackupExists = e.szBackup[0] && DoesFileExist(e.szBackup);
    if (!bBackupExists && IsRemoval(e)) {
      WriteLogF(3, "RestoreFiles(): %s left as it is: the release had no %s in the program directory", path.c_str(),
                e.szFile);
      continue;
    }
    if (bBackupExists && CopyOver(e.szBackup, path.c_str())) {
      WriteLogF(3, "RestoreFiles(): copied  %s to %s", e.szBackup, path.c_str());
      continue;
    }
    std::string shortName = FixFileBaseName(e.szBackup[0] ? e.szBackup : e.szFile);
    if (FindAndRestoreFile(shortName.c_str(), path.c_str(), e.szChecksum)) continue;
    if (HoldsAny(e.szFile, kDataSpecialFiles)) {
      Remove(path, pbOK);
    } else {
      WriteLogF(0, "RestoreFiles(): 2 ERROR: Setting bOK to FALSE for file %s", path.c_str());
      *pbOK = FALSE;
    }
  }
}

/* Reads key n of the section; FALSE after the error line when it holds zero characters. */
static BOOL ReadKey(const char* lpSection, const char* lpName, int n, char* lpValue, const char* lpRegistry,
                    int* pRead) {
  char szKey[32];
  FormatText(szKey, sizeof(szKey), "%s%03d", lpName, n);
  *pRead = ReadProfileString(lpSection, szKey, lpValue, PROFILE_BUFFER, lpRegistry);
  if (*pRead != PROFILE_EMPTY) return TRUE;
  WriteLogF(0, "RestoreFiles: ERROR: Getting profile string for  %s, section %s in %s: error: %d", szKey, lpSection,
            lpRegistry, (int)GetLastError());
  return FALSE;
}

BOOL RestoreFiles(const char* lpLabel) {
  char szLabel[PROFILE_BUFFER], szSection[PROFILE_BUFFER + 2], szRelease[PROFILE_BUFFER], szStatus[PROFILE_BUFFER + 16];
  LabelSection(lpLabel, szLabel, sizeof(szLabel), szSection, sizeof(szSection));
  ReleaseOfLabel(szLabel, szRelease, sizeof(szRelease));
  FormatText(szStatus, sizeof(szStatus), "Restoring %s", szRelease);
  ShowStatus(szStatus);
  if (ghMainDlg) ShowWindow(GetDlgItem(ghMainDlg, IDC_TEXT6), SW_HIDE);
  ShowWindow(ghGaugeFile, SW_HIDE);
  ShowWindow(ghGaugeTotal, SW_SHOW);
  GaugeCommand(ghGaugeTotal, GAUGE_SETRANGE, (LONG)dwNumBackupFiles);
  WriteLog("RestoreFiles: Starting while (TRUE)", 3);

  char szRegistry[PATH_BUFFER];
  FormatText(szRegistry, sizeof(szRegistry), "%s\\%s", gpProgramDir, gszPatchIniName);
  BOOL bOK = TRUE;
  for (int n = 1;; ++n) {
    GaugeProgress(ghGaugeTotal, GAUGE_SETPOS, (LONG)(n + 1));
    Entry e;
    char szBackupName[PROFILE_BUFFER];
    int readBackup, readFile, readChecksum;
    if (!ReadKey(szSection, "BackupName", n, szBackupName, szRegistry, &readBackup) ||
        !ReadKey(szSection, "File", n, e.szFile, szRegistry, &readFile) ||
        !ReadKey(szSection, "Checksum", n, e.szChecksum, szRegistry, &readChecksum))
      return FALSE;
    if (readFile == PROFILE_MISSING) {
      WriteLog("RestoreFiles: No more File123 in PATCH.INI, breaking", 3);
      break;
    }
    if (readChecksum == PROFILE_MISSING) e.szChecksum[0] = '\0';
    FormatText(e.szFileKey, sizeof(e.szFileKey), "File%03d", n);
    char szKey[32];
    FormatText(szKey, sizeof(szKey), "BackupName%03d", n);
    if (readBackup == PROFILE_VALUE) {
      if (!JoinRegistryName(gpProgramDir, szBackupName, e.szBackup, sizeof(e.szBackup), "RestoreFiles", szKey)) {
        WriteLogF(0, "RestoreFiles(): 1 ERROR: Setting bOK to FALSE for to %s", e.szFile);
        bOK = FALSE;
        continue;
      }
    } else {
      char szFound[PATH_BUFFER];
      e.szBackup[0] = '\0';
      if (FindBackupName(e.szFile, szFound, sizeof(szFound)))
        FormatText(e.szBackup, sizeof(e.szBackup), "%s\\%s", gpProgramDir, szFound);
      WriteLogF(3, "RestoreFiles: File %s has no BackupName, backup %s", e.szFile, e.szBackup);
    }
    if (!Locate(&e)) {
      WriteLogF(0, "RestoreFiles(): 1 ERROR: Setting bOK to FALSE for to %s", e.szFile);
      bOK = FALSE;
      continue;
    }
    SaveCurrentVersion(e);
    RestoreTargets(e, szLabel, &bOK);
    RestoreInDataDirs(e, &bOK);
  }
  ShowStatus("");
  ShowWindow(ghGaugeFile, SW_HIDE);
  WriteLogF(1, "RestoreFiles(): Finished, returning bOK = %d", bOK);
  return bOK;
}
