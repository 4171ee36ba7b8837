#include "revert/backup_dirs.h"

#include "installer/file_copy.h"
#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/profile.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "package/names.h"

#include <ctype.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

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

/* The labels of one list section of the registry, in their order. */
static std::vector<std::string> ListedLabels(const char* lpSection, const char* lpRegistry) {
  std::vector<std::string> labels;
  if (!ProfileSectionHasKeys(lpSection, lpRegistry)) return labels;
  for (int n = 1;; ++n) {
    char szKey[16], szLabel[PROFILE_BUFFER];
    FormatText(szKey, sizeof(szKey), "Label%03d", n);
    int read = ReadProfileString(lpSection, szKey, szLabel, sizeof(szLabel), lpRegistry);
    if (read == PROFILE_MISSING) break;
    if (read == PROFILE_EMPTY) {
      WriteLogF(0, "Getting profile string for %s, section %s in %s: error: %d", szKey, lpSection, lpRegistry,
                (int)GetLastError());
      continue;
    }
    labels.push_back(szLabel);
  }
  return labels;
}

static std::string DirNameOf(const char* lpLabel) {
  char szName[PATH_BUFFER];
  LabelDirName(lpLabel, szName);
  return szName;
}

/* Rewrites a list section in place with the labels that stay; a list left empty goes. */
static void RewriteList(const char* lpSection, const std::vector<std::string>& kept, size_t listed,
                        const char* lpRegistry) {
  if (kept.empty()) {
    WritePrivateProfileStringA(lpSection, NULL, NULL, lpRegistry);
    return;
  }
  for (size_t i = 0; i < listed; ++i) {
    char szKey[16];
    FormatText(szKey, sizeof(szKey), "Label%03d", (int)i + 1);
    std::string value = i < kept.size() ? "\"" + kept[i] + "\"" : std::string();
    WritePrivateProfileStringA(lpSection, szKey, i < kept.size() ? value.c_str() : NULL, lpRegistry);
  }
}

/* After a revert to gszRevertLabel: the labels no longer installed are every hotfix (a revert
   leaves none on top of its target), the release reverted from and the fixpacks installed after
   the target. Their backup directories go, with the target's, whose copies the revert used; the
   directories of the fixpacks that stay hold what their own reverts need and are kept. The
   registry keeps the labels that stay (as the target's copy of it recorded them, when there is
   one) and goes when none does. */
static void RemoveRevertedLabels(const char* lpRegistry) {
  const std::string target = DirNameOf(gszRevertLabel), source = DirNameOf(canCurrentVersion);
  /* The hotfixes listed now, the one reverted among them: the target's copy of the registry
     may predate them, and their directories go all the same. */
  std::vector<std::string> hotfixesNow = ListedLabels("HOTFIXES", lpRegistry);
  char szCopy[PATH_BUFFER];
  FormatText(szCopy, sizeof(szCopy), "%s\\%s\\%s", gpProgramDir, target.c_str(), "PATCH_INI.BCK");
  if (DoesFileExist(szCopy) && CopyFiles(szCopy, lpRegistry))
    WriteLogF(2, "RemoveBackupDirectories: %s restored from %s", lpRegistry, szCopy);

  std::vector<std::string> fixpacks = ListedLabels("FIXPACKS", lpRegistry);
  std::vector<std::string> hotfixes = ListedLabels("HOTFIXES", lpRegistry);
  std::vector<std::string> kept, dropped(hotfixes);
  for (const std::string& label : hotfixesNow)
    if (std::find(dropped.begin(), dropped.end(), label) == dropped.end()) dropped.push_back(label);
  BOOL bAfterTarget = FALSE;
  for (const std::string& label : fixpacks) {
    std::string dir = DirNameOf(label.c_str());
    if (bAfterTarget || (dir == source && dir != target))
      dropped.push_back(label);
    else
      kept.push_back(label);
    if (dir == target) bAfterTarget = TRUE;
  }
  for (const std::string& label : dropped) {
    if (DirNameOf(label.c_str()) != target) RemoveLabelDirectory(label.c_str());
    std::string section = "\"" + label + "\"";
    WritePrivateProfileStringA(section.c_str(), NULL, NULL, lpRegistry);
  }
  for (const std::string& label : kept) {
    char szDir[PATH_BUFFER];
    if (DirNameOf(label.c_str()) != target && LabelBackupDir(label.c_str(), szDir, sizeof(szDir)))
      WriteLogF(2, "RemoveBackupDirectories: %s kept: the installed %s needs it", szDir, label.c_str());
  }
  RemoveLabelDirectory(gszRevertLabel);
  if (kept.empty()) {
    DeleteFileA(lpRegistry);
    return;
  }
  RewriteList("FIXPACKS", kept, fixpacks.size(), lpRegistry);
  RewriteList("HOTFIXES", std::vector<std::string>(), hotfixes.size(), lpRegistry);
}

/* Notes that the label's backup directory stays, and why: the label is installed, or a revert
   to it may still come. */
static void KeepLabelDirectory(const std::string& label, BOOL bInstalled, std::vector<std::string>* pKept) {
  char szDir[PATH_BUFFER];
  pKept->push_back(DirNameOf(label.c_str()));
  if (!LabelBackupDir(label.c_str(), szDir, sizeof(szDir)) || !IsDirectory(szDir)) return;
  if (bInstalled)
    WriteLogF(2, "RemoveBackupDirectories: %s kept: the installed %s needs it", szDir, label.c_str());
  else
    WriteLogF(2, "RemoveBackupDirectories: %s kept: a revert to %s needs it", szDir, label.c_str());
}

/* Whether the release whose backup directory name is release is the fixpack of the directory
   name fixpack or stands on it (a hotfix of it): that name begins it, and no further digit of a
   fixpack number follows. */
static BOOL StandsOn(const std::string& release, const std::string& fixpack) {
  if (fixpack.empty() || release.size() < fixpack.size() || release.compare(0, fixpack.size(), fixpack) != 0)
    return FALSE;
  return release.size() == fixpack.size() || !isdigit((unsigned char)release[fixpack.size()]);
}

/* After a run that leaves the installed release as it was (an upgrade by a fix without labels,
   the revert of a custom fix from its JVM backup): the backup directories of the listed labels
   that are no longer installed go (fixpacks listed after the one installed, hotfixes another fix
   has replaced); those of the labels still installed stay, since they hold what the reverts of
   the installed fixes take (the base of each installed fix, the installed release's own), and so
   does that of a replaced hotfix whose section the registry still holds, since a revert to it
   takes its copies from there. The registry keeps its records. */
static void RemoveLabelsNotInstalled(const char* lpRegistry) {
  const std::string current = DirNameOf(canCurrentVersion);
  if (!zfix::IsLabelDirName(current.c_str())) {
    /* Without the installed release nothing can be told to be gone. */
    WriteLogF(0, "RemoveBackupDirectories: ERROR: the installed release [%s] names no backup directory, all kept",
              canCurrentVersion);
    return;
  }
  std::vector<std::string> fixpacks = ListedLabels("FIXPACKS", lpRegistry);
  std::vector<std::string> hotfixes = ListedLabels("HOTFIXES", lpRegistry);
  /* The installed fixpack is the last listed one the installed release stands on; without one,
     no listed fixpack can be told to be gone, and all of them count as installed. */
  size_t installedFixpack = fixpacks.size();
  for (size_t i = 0; i < fixpacks.size(); ++i)
    if (StandsOn(current, DirNameOf(fixpacks[i].c_str()))) installedFixpack = i;
  std::vector<std::string> gone;
  std::vector<std::string> keptDirs;
  for (size_t i = 0; i < fixpacks.size(); ++i) {
    const std::string& label = fixpacks[i];
    if (installedFixpack == fixpacks.size() || i <= installedFixpack) {
      KeepLabelDirectory(label, TRUE, &keptDirs);
    } else {
      gone.push_back(label);
    }
  }
  for (const std::string& label : hotfixes) {
    const std::string section = "\"" + label + "\"";
    if (DirNameOf(label.c_str()) == current)
      KeepLabelDirectory(label, TRUE, &keptDirs);
    else if (ProfileSectionHasKeys(section.c_str(), lpRegistry))
      KeepLabelDirectory(label, FALSE, &keptDirs);
    else
      gone.push_back(label);
  }
  for (const std::string& label : gone)
    if (std::find(keptDirs.begin(), keptDirs.end(), DirNameOf(label.c_str())) == keptDirs.end())
      RemoveLabelDirectory(label.c_str());
}

void RemoveBackupDirectories(void) {
  char szRegistry[PATH_BUFFER];
  JoinPath(szRegistry, sizeof(szRegistry), gpProgramDir, gszPatchIniName);
  /* A custom fix's revert takes back only the custom fix: the release it leaves is the one
     installed before, as after an upgrade. */
  if (giMode == MODE_REVERT && !strstr(Str(STR_TITLE), "Custom"))
    RemoveRevertedLabels(szRegistry);
  else
    RemoveLabelsNotInstalled(szRegistry);
  if (dwUpgradeType == 1) DeleteFileA(gszLicenseCopyPath);
}
