#include "revert/backup_dirs.h"

#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/profile.h"
#include "installer/text.h"
#include "package/names.h"

#include <string.h>

static BOOL IsMissingPath(DWORD dwError) { return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND; }

/* Deletes the files directly in lpDir; subdirectories stay. */
static void DeleteFilesIn(const char* lpDir) {
  char szPattern[PATH_BUFFER];
  JoinPath(szPattern, sizeof(szPattern), lpDir, "*.*");
  WIN32_FIND_DATAA fd;
  HANDLE hFind = FindFirstFileA(szPattern, &fd);
  if (hFind == INVALID_HANDLE_VALUE) return;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    char szFile[PATH_BUFFER];
    JoinPath(szFile, sizeof(szFile), lpDir, fd.cFileName);
    if (!DeleteFileA(szFile))
      WriteLogF(0, "Failed to remove files from the backup directory %s, error: %d", lpDir, (int)GetLastError());
  } while (FindNextFileA(hFind, &fd));
  FindClose(hFind);
}

/* The backup directory of a label read from the registry. A label whose directory name is not
   one plain name (empty, "\\", a drive) would point at the program directory itself or beyond
   it, whose files must never be emptied out: it is refused. */
static BOOL LabelBackupDir(const char* lpLabel, char* lpOut, size_t size) {
  char szName[PATH_BUFFER];
  LabelDirName(lpLabel, szName);
  if (!zfix::IsLabelDirName(szName)) {
    WriteLogF(0, "RemoveBackupDirectories: ERROR: the label %s names no backup directory inside %s, passed over",
              lpLabel, gpProgramDir);
    return FALSE;
  }
  JoinPath(lpOut, size, gpProgramDir, szName);
  return TRUE;
}

static void RemoveLabelDirectory(const char* lpLabel) {
  char szDir[PATH_BUFFER];
  if (!LabelBackupDir(lpLabel, szDir, sizeof(szDir))) return;
  DeleteFilesIn(szDir);
  if (RemoveDirectoryA(szDir)) return;
  DWORD dwError = GetLastError();
  if (dwError == ERROR_DIR_NOT_EMPTY)
    WriteLogF(0, "Failed to remove backup directory %s: not empty", szDir);
  else if (IsMissingPath(dwError))
    WriteLogF(0, "Failed to remove backup directory %s: no such directory", szDir);
}

void RemoveBackupDirectories(void) {
  static const char* const sections[] = {"FIXPACKS", "HOTFIXES"};
  char szRegistry[PATH_BUFFER];
  JoinPath(szRegistry, sizeof(szRegistry), gpProgramDir, gszPatchIniName);
  for (const char* section : sections) {
    if (!ProfileSectionHasKeys(section, szRegistry)) continue;
    for (int n = 1;; ++n) {
      char szKey[16], szLabel[PROFILE_BUFFER];
      FormatText(szKey, sizeof(szKey), "Label%03d", n);
      int read = ReadProfileString(section, szKey, szLabel, sizeof(szLabel), szRegistry);
      if (read == PROFILE_MISSING) break;
      if (read == PROFILE_EMPTY) {
        WriteLogF(0, "Getting profile string for %s, section %s in %s: error: %d", szKey, section, szRegistry,
                  (int)GetLastError());
        continue;
      }
      RemoveLabelDirectory(szLabel);
    }
  }
  if (dwUpgradeType == 1) {
    DeleteFileA(gszLicenseCopyPath);
    DeleteFileA(szRegistry);
  }
}
