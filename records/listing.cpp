#include "records/listing.h"

#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/profile.h"
#include "installer/text.h"
#include "records/label_check.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Creates a listing file in the current directory; NULL after the error box. */
static FILE* CreateListing(const char* lpName) {
  FILE* f = fopen(lpName, "w+");
  if (!f) {
    char szMsg[128];
    FormatText(szMsg, sizeof(szMsg), "Can't write patch information to a file %s: error %d", lpName,
               (int)GetLastError());
    MessageBoxA(NULL, szMsg, "Error", MB_OK);
  }
  return f;
}

/* A listing file with its section header, written before the section's first label. */
struct Listing {
  FILE* file;
  BOOL bHeader;
};

static void WriteLabelLine(Listing* listing, const char* lpHeader, const char* lpLabel) {
  if (!listing->bHeader) {
    fprintf(listing->file, "%s\n\n", lpHeader);
    listing->bHeader = TRUE;
  }
  fprintf(listing->file, "%s\n", lpLabel);
}

/* Writes "patch.txt" (the labels whose files check out) and "patch_detail.txt" (every label with
   its files that still have their recorded checksums) from the fix registry. NULL when they were
   written; otherwise a text to show instead. In the web-access add-on build the add-on labels
   other than the installed release are also collected into the label list. */
char* ReadPatchInfo(void) {
  FILE* list = CreateListing("patch.txt");
  if (!list) return NULL;
  FILE* detail = CreateListing("patch_detail.txt");
  if (!detail) {
    fclose(list);
    return NULL;
  }

  static const char* const sections[] = {"FIXPACKS", "HOTFIXES"};
  static const char* const headers[] = {"Installed Fixpacks:", "Installed Hotfixes:"};
  char szRegistry[PATH_BUFFER];
  JoinPath(szRegistry, sizeof(szRegistry), gpProgramDir ? gpProgramDir : "", gszPatchIniName);
  BOOL bListed = FALSE;
  char* lpText = NULL;
  for (int s = 0; s < 2 && !lpText; ++s) {
    if (!ProfileSectionHasKeys(sections[s], szRegistry)) continue;
    Listing listed = {list, FALSE}, detailed = {detail, FALSE};
    for (int n = 1;; ++n) {
      char szKey[16], szLabel[PROFILE_BUFFER];
      FormatText(szKey, sizeof(szKey), "Label%03d", n);
      int read = ReadProfileString(sections[s], szKey, szLabel, sizeof(szLabel), szRegistry);
      if (read == PROFILE_MISSING) break;
      if (read == PROFILE_EMPTY) {
        char szText[PATH_BUFFER + 128];
        FormatText(szText, sizeof(szText), "Getting profile string for %s, section %s in %s: error: %d", szKey,
                   sections[s], szRegistry, (int)GetLastError());
        WriteLog(szText, 0);
        lpText = _strdup(szText);
        break;
      }
      WriteLabelLine(&detailed, headers[s], szLabel);
      if (CheckValidLabel(szLabel, detail) == 0) continue;
      WriteLabelLine(&listed, headers[s], szLabel);
      bListed = TRUE;
      if (StrIs(STRR_HOTFIX, zfix::FIXKIND_RQA) && strncmp(canCurrentVersion, szLabel, strlen(szLabel)) != 0) {
        AddFixLabel(szLabel);
        WriteLogF(1, "ReadPatchInfo: Added label %s", gpcanFixLabels[giFixLabels - 1]);
      }
    }
  }
  if (!lpText && !bListed && CheckValidLabel(canCurrentVersion, list) == 0) {
    char szText[256];
    FormatText(szText, sizeof(szText), "The installed %s version was corrupted", canCurrentVersion);
    WriteLog(szText, 0);
    lpText = _strdup(szText);
  }
  fclose(list);
  fclose(detail);
  return lpText;
}

char* ReadListingFile(const char* lpPath) {
  FILE* f = fopen(lpPath, "rb");
  if (!f) {
    char szMsg[PATH_BUFFER + 16];
    FormatText(szMsg, sizeof(szMsg), "Can't open %s", lpPath);
    MessageBoxA(NULL, szMsg, "Error", MB_OK);
    return NULL;
  }
  fseek(f, 0, SEEK_END);
  long size = ftell(f);
  rewind(f);
  if (size <= 0) {
    fclose(f);
    return NULL;
  }
  char* text = (char*)calloc((size_t)size + 1, 1);
  if (text) fread(text, 1, (size_t)size, f);
  fclose(f);
  if (text && text[0] == '\0') {
    free(text);
    char szText[256];
    FormatText(szText, sizeof(szText), "No patches installed.\n %s", canCurrentVersion);
    text = _strdup(szText);
  }
  return text;
}
