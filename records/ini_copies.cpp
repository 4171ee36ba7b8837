#include "records/ini_copies.h"

#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/text.h"

static BOOL IsMissingPath(DWORD dwError) { return dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND; }

BOOL RemoveDir(const char* lpDir) {
  char szPath[PATH_BUFFER];
  JoinPath(szPath, sizeof(szPath), lpDir, "ZOREL_INI.BCK");
  WriteLogF(4, "RemoveDir: Removing zorel backup: [%s]", szPath);
  if (!DeleteFileA(szPath))
    WriteLogF(0, "RemoveDir: Failed to remove files from the backup zorel.ini file %s, error: %d", szPath,
              (int)GetLastError());

  JoinPath(szPath, sizeof(szPath), lpDir, "PATCH_INI.BCK");
  WriteLogF(4, "RemoveDir: Removing patch backup: [%s]", szPath);
  if (!DeleteFileA(szPath)) {
    DWORD dwError = GetLastError();
    if (dwError == ERROR_FILE_NOT_FOUND)
      WriteLogF(4, "RemoveDir: Failed to remove [%s] as it didn't exist...", szPath);
    else
      WriteLogF(0, "RemoveDir: ERROR: Failed to remove PATCH.ini file %s, error: %d", szPath, (int)dwError);
  }

  WriteLogF(4, "RemoveDir: Removing directory: [%s]", lpDir);
  if (RemoveDirectoryA(lpDir)) return TRUE;
  DWORD dwError = GetLastError();
  if (dwError == ERROR_DIR_NOT_EMPTY)
    WriteLogF(0, "RemoveDir: Failed to remove backup directory %s: not empty", lpDir);
  else if (IsMissingPath(dwError))
    WriteLogF(0, "RemoveDir: Failed to remove backup directory %s: no such directory", lpDir);
  return FALSE;
}
