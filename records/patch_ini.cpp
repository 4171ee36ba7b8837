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

/* One File/Checksum/BackupName triple of a label's section. */
static void WriteFileEntry(const char* lpSection, int n, const char* lpLabel, const zfix::FILELISTRECORD& file,
                           unsigned long dwChecksum, const char* lpRegistry) {
  char szChecksum[32], szBackup[PATH_BUFFER];
  FormatText(szChecksum, sizeof(szChecksum), "%#lx", dwChecksum);
  BackupCopyPath(lpLabel, file.lpFile, file.dwFileEntry, szBackup, sizeof(szBackup));
  WriteKey(lpSection, "File", n, file.lpFile, lpRegistry);
  WriteKey(lpSection, "Checksum", n, szChecksum, lpRegistry);
  WriteKey(lpSection, "BackupName", n, szBackup, lpRegistry);
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
  int next = recorded.count + 1, written = 0;
  for (DWORD j = 1; j <= dwFileCount; ++j) {
    GaugeCommand(ghGaugeFile, GAUGE_SETPOS, (LONG)j);
    const zfix::FILELISTRECORD& file = lpFiles[j - 1];
    /* A name passed over leaves no gap: a gap would end the section for every reader. */
    if (!zfix::StaysInside(file.lpFile)) {
      WriteLogF(1, "WritePatchFileEntries: ERROR: %s names no file inside its directory, not recorded", file.lpFile);
      continue;
    }
    WriteFileEntry(szNewSection, ++written, lpNewLabel, file, file.dwNewChecksum, szRegistry);
    if (!IsRecorded(&recorded, file.lpFile))
      WriteFileEntry(szOldSection, next++, lpOldLabel, file, file.dwOldChecksum, szRegistry);
  }
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
