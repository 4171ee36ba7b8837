#include "records/patch_ini.h"

#include "installer/fix_labels.h"
#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/profile.h"
#include "installer/text.h"
#include "package/names.h"
#include "resources/resource.h"

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

static void RegistryPath(char* lpOut, size_t size) { JoinPath(lpOut, size, gpProgramDir, gszPatchIniName); }

/* A label's own section: the label between double quotes. */
static void LabelSection(const char* lpLabel, char* lpOut, size_t size) {
  FormatText(lpOut, size, "%c%s%c", 34, lpLabel, 34);
}

static void WriteKey(const char* lpSection, const char* lpStem, int n, const char* lpValue, const char* lpRegistry) {
  char szKey[32];
  FormatText(szKey, sizeof(szKey), "%s%03d", lpStem, n);
  WritePrivateProfileStringA(lpSection, szKey, lpValue, lpRegistry);
}

/* One File/Checksum/BackupName triple of a label's section, as "key=value" texts each ending in a
   NUL, for a section written whole. */
static void AppendFileEntry(std::string* lpKeys, int n, const char* lpLabel, const zfix::FILELISTRECORD& file,
                            unsigned long dwChecksum) {
  char szNumber[16], szChecksum[32], szBackup[PATH_BUFFER];
  FormatText(szNumber, sizeof(szNumber), "%03d=", n);
  FormatText(szChecksum, sizeof(szChecksum), "%#lx", dwChecksum);
  BackupCopyPath(lpLabel, file.lpFile, file.dwFileEntry, szBackup, sizeof(szBackup));
  const char* const pairs[3][2] = {{"File", file.lpFile}, {"Checksum", szChecksum}, {"BackupName", szBackup}};
  for (const auto& pair : pairs) {
    lpKeys->append(pair[0]).append(szNumber).append(pair[1]);
    lpKeys->push_back('\0');
  }
}

/* One File/Checksum/BackupName triple of a label's section, key by key. */
static void WriteFileEntry(const char* lpSection, int n, const char* lpLabel, const zfix::FILELISTRECORD& file,
                           unsigned long dwChecksum, const char* lpRegistry) {
  char szChecksum[32], szBackup[PATH_BUFFER];
  FormatText(szChecksum, sizeof(szChecksum), "%#lx", dwChecksum);
  BackupCopyPath(lpLabel, file.lpFile, file.dwFileEntry, szBackup, sizeof(szBackup));
  WriteKey(lpSection, "File", n, file.lpFile, lpRegistry);
  WriteKey(lpSection, "Checksum", n, szChecksum, lpRegistry);
  WriteKey(lpSection, "BackupName", n, szBackup, lpRegistry);
}

/* Whether the file has a section of this name, keys or not (section names are compared as the
   profile functions compare them, without regard to case). */
static BOOL HasSection(const char* lpSection, const char* lpRegistry) {
  std::vector<char> names(4096);
  for (;;) {
    DWORD len = GetPrivateProfileSectionNamesA(names.data(), (DWORD)names.size(), lpRegistry);
    if (len + 2 < names.size()) break;
    names.assign(names.size() * 4, '\0');
  }
  for (const char* p = names.data(); *p; p += strlen(p) + 1)
    if (_stricmp(p, lpSection) == 0) return TRUE;
  return FALSE;
}

/* Writes the "key=value" texts of lpKeys as the whole content of a section. */
static void WriteWholeSection(const char* lpSection, std::string* lpKeys, const char* lpRegistry) {
  if (lpKeys->empty()) return;
  lpKeys->push_back('\0');
  WritePrivateProfileSectionA(lpSection, lpKeys->c_str(), lpRegistry);
}

/* The file names a label's section records, File001 onwards. */
struct RecordedNames {
  char** names;
  int count;
  int capacity;
};

static void AddRecordedName(RecordedNames* list, const char* lpName) {
  if (list->count == list->capacity) {
    int capacity = list->capacity ? 2 * list->capacity : 64;
    char** names = (char**)realloc(list->names, (size_t)capacity * sizeof(char*));
    if (!names) {
      WriteLogF(1, "Memory allocation for canPatchFilesn  %d failed: %d", list->count, (int)GetLastError());
      exit(1);
    }
    list->names = names;
    list->capacity = capacity;
  }
  list->names[list->count] = _strdup(lpName);
  if (!list->names[list->count]) {
    WriteLogF(1, "Memory allocation for canPatchFilesn  %d failed: %d", list->count, (int)GetLastError());
    exit(1);
  }
  ++list->count;
}

static BOOL IsRecorded(const RecordedNames* list, const char* lpName) {
  for (int i = 0; i < list->count; ++i)
    if (strcmp(list->names[i], lpName) == 0) return TRUE;
  return FALSE;
}

static void ReadRecordedNames(const char* lpSection, const char* lpRegistry, RecordedNames* list) {
  for (int n = 1;; ++n) {
    char szKey[32], szName[PROFILE_BUFFER];
    FormatText(szKey, sizeof(szKey), "File%03d", n);
    int read = ReadProfileString(lpSection, szKey, szName, sizeof(szName), lpRegistry);
    if (read == PROFILE_MISSING) return;
    /* An entry without a name still holds its number: new entries go after it. */
    if (read == PROFILE_EMPTY)
      WriteLogF(1, "Getting profile string for  %s, section %s patch.ini error: %d", szKey, lpSection,
                (int)GetLastError());
    AddRecordedName(list, szName);
  }
}

static void FreeRecordedNames(RecordedNames* list) {
  for (int i = 0; i < list->count; ++i) free(list->names[i]);
  free(list->names);
}

void WritePatchFileEntries(const char* lpOldLabel, const char* lpNewLabel, DWORD dwFileCount,
                           const zfix::FILELISTRECORD* lpFiles) {
  char szRegistry[PATH_BUFFER], szNewSection[PROFILE_BUFFER], szOldSection[PROFILE_BUFFER];
  RegistryPath(szRegistry, sizeof(szRegistry));
  LabelSection(lpNewLabel, szNewSection, sizeof(szNewSection));
  LabelSection(lpOldLabel, szOldSection, sizeof(szOldSection));

  ShowWindow(ghGaugeFile, SW_SHOW);
  if (ghMainDlg) SetDlgItemTextA(ghMainDlg, IDC_TEXT5, "Updating patch information");
  GaugeCommand(ghGaugeFile, GAUGE_SETRANGE, (LONG)dwFileCount);

  /* The fix's own section describes exactly this fix's files, also when it is installed again. */
  if (!WriteEmptyProfileSection(szNewSection, szRegistry)) {
    WriteLogF(1, "Writing profile section to  patch.ini error: %d", (int)GetLastError());
    return;
  }

  RecordedNames recorded = {NULL, 0, 0};
  ReadRecordedNames(szOldSection, szRegistry, &recorded);
  /* Each key written alone rewrites the whole file: a section of thousands of files is written in
     one call instead. The new section is empty now; the old one is written whole only when it is
     not in the file yet (a section already there may hold lines that a rewrite would lose), and
     key by key when it is the new section itself. */
  const BOOL bSame = _stricmp(szNewSection, szOldSection) == 0;
  const BOOL bOldWhole = !bSame && !HasSection(szOldSection, szRegistry);
  std::string newKeys, oldKeys;
  int next = recorded.count + 1, written = 0;
  for (DWORD j = 1; j <= dwFileCount; ++j) {
    GaugeProgress(ghGaugeFile, GAUGE_SETPOS, (LONG)j);
    const zfix::FILELISTRECORD& file = lpFiles[j - 1];
    /* A name passed over leaves no gap: a gap would end the section for every reader. */
    if (!zfix::StaysInside(file.lpFile)) {
      WriteLogF(1, "WritePatchFileEntries: ERROR: %s names no file inside its directory, not recorded", file.lpFile);
      continue;
    }
    if (bSame)
      WriteFileEntry(szNewSection, ++written, lpNewLabel, file, file.dwNewChecksum, szRegistry);
    else
      AppendFileEntry(&newKeys, ++written, lpNewLabel, file, file.dwNewChecksum);
    if (IsRecorded(&recorded, file.lpFile)) continue;
    if (bOldWhole)
      AppendFileEntry(&oldKeys, next++, lpOldLabel, file, file.dwOldChecksum);
    else
      WriteFileEntry(szOldSection, next++, lpOldLabel, file, file.dwOldChecksum, szRegistry);
  }
  WriteWholeSection(szNewSection, &newKeys, szRegistry);
  WriteWholeSection(szOldSection, &oldKeys, szRegistry);
  FreeRecordedNames(&recorded);
  ShowWindow(ghGaugeFile, SW_HIDE);
}

void UpdatePatchInfo(const char* lpOldLabel, const char* lpNewLabel, DWORD dwFileCount,
                     const zfix::FILELISTRECORD* lpFiles) {
  WriteLog("UpdatePatchInfo starting", 2);
  if (!zfix::IsRegistryLabel(lpNewLabel) || !zfix::IsRegistryLabel(lpOldLabel)) {
    WriteLogF(0, "UpdatePatchInfo: ERROR: the label [%s] or [%s] cannot stand in patch.ini, nothing recorded",
              lpNewLabel, lpOldLabel);
    return;
  }
  const char* lpSection = dwUpgradeType == 2 ? "FIXPACKS" : "HOTFIXES";
  char szRegistry[PATH_BUFFER];
  RegistryPath(szRegistry, sizeof(szRegistry));
  if (!DoesFileExist(szRegistry)) {
    WriteLogF(2, "UpdatePatchInfo File [%s] does NOT exist", szRegistry);
    if (!WriteEmptyProfileSection(lpSection, szRegistry)) {
      WriteLogF(1, "Writing profile section to  patch.ini error: %d", (int)GetLastError());
      return;
    }
  } else {
    WriteLogF(2, "UpdatePatchInfo File [%s] does exist", szRegistry);
  }

  BOOL bListed = FALSE;
  int n = 1;
  for (;; ++n) {
    char szKey[32], szLabel[PROFILE_BUFFER];
    FormatText(szKey, sizeof(szKey), "Label%03d", n);
    int read = ReadProfileString(lpSection, szKey, szLabel, sizeof(szLabel), szRegistry);
    if (read == PROFILE_MISSING) break;
    if (read == PROFILE_EMPTY) {
      WriteLogF(1, "Getting profile string for  %s, section %s patch.ini error: %d", szKey, lpSection,
                (int)GetLastError());
      return;
    }
    if (strcmp(szLabel, lpNewLabel) == 0) bListed = TRUE;
  }
  if (!bListed) {
    char szValue[PROFILE_BUFFER];
    FormatText(szValue, sizeof(szValue), "%c%s%c", 34, lpNewLabel, 34);
    WriteKey(lpSection, "Label", n, szValue, szRegistry);
  }
  WritePatchFileEntries(lpOldLabel, lpNewLabel, dwFileCount, lpFiles);
}
