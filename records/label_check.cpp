#include "records/label_check.h"

#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/profile.h"
#include "installer/text.h"
#include "package/checksum.h"
#include "resources/resource.h"

#include <string.h>

/* The status line of the wizard, when there is one (the listings run without it). */
static void ShowStatus(const char* lpText) {
  if (ghMainDlg) SetDlgItemTextA(ghMainDlg, IDC_TEXT5, lpText);
}

/* Logs a value of zero characters in lpRegistry; the check ends with 1. */
static int RegistryReadError(const char* lpKey, const char* lpSection, const char* lpRegistry) {
  WriteLogF(0, "CheckValidLabel: ERROR: Getting profile string for  %s, section %s in %s: error: %d", lpKey, lpSection,
            lpRegistry, (int)GetLastError());
  return 1;
}

int CheckValidLabel(const char* lpLabel, FILE* lpListing) {
  char szLabel[PROFILE_BUFFER];
  CopyText(szLabel, sizeof(szLabel), lpLabel);
  TrimTrailingBlanks(szLabel);

  char szRelease[PROFILE_BUFFER], szStatus[PROFILE_BUFFER + 32];
  CopyText(szRelease, sizeof(szRelease), szLabel);
  szRelease[strcspn(szRelease, "|")] = '\0';
  FormatText(szStatus, sizeof(szStatus), "Checking %s backup files", szRelease);
  ShowStatus(szStatus);
  if (dwNumBackupFiles > 0) {
    ShowWindow(ghGaugeFile, SW_SHOW);
    GaugeCommand(ghGaugeFile, GAUGE_SETRANGE, (LONG)dwNumBackupFiles);
  }
  WriteLog("CheckValidLabel: Starting", 3);

  char szRegistry[PATH_BUFFER], szSection[PROFILE_BUFFER + 2];
  JoinPath(szRegistry, sizeof(szRegistry), gpProgramDir, gszPatchIniName);
  FormatText(szSection, sizeof(szSection), "%c%s%c", 34, szLabel, 34);

  int result = 2;
  for (int n = 1;; ++n) {
    GaugeProgress(ghGaugeFile, GAUGE_SETPOS, (LONG)(n + 1));
    char szKey[32], szFile[PROFILE_BUFFER], szChecksum[PROFILE_BUFFER];
    FormatText(szKey, sizeof(szKey), "File%03d", n);
    int read = ReadProfileString(szSection, szKey, szFile, sizeof(szFile), szRegistry);
    if (read == PROFILE_MISSING) break;
    if (read == PROFILE_EMPTY) {
      result = RegistryReadError(szKey, szSection, szRegistry);
      break;
    }
    FormatText(szKey, sizeof(szKey), "Checksum%03d", n);
    if (ReadProfileString(szSection, szKey, szChecksum, sizeof(szChecksum), szRegistry) == PROFILE_EMPTY) {
      result = RegistryReadError(szKey, szSection, szRegistry);
      break;
    }
    char szTarget[PATH_BUFFER];
    FormatText(szKey, sizeof(szKey), "File%03d", n);
    if (!JoinRegistryName(gpProgramDir, szFile, szTarget, sizeof(szTarget), "CheckValidLabel", szKey)) continue;
    FILE* f = fopen(szTarget, "rb");
    if (!f) {
      WriteLogF(0, "CheckValidLabel: ERROR: Couldn't open the file %s to verify the checksum", szTarget);
      continue;
    }
    uint32_t dwChecksum = 0;
    BOOL bRead = zfix::StreamCrc32(f, &dwChecksum);
    fclose(f);
    char szActual[32];
    FormatText(szActual, sizeof(szActual), "%#lx", (unsigned long)dwChecksum);
    if (bRead && strcmp(szActual, szChecksum) == 0) {
      WriteLogF(3, "CheckValidLabel: File %s matches fix version %s", szTarget, szLabel);
      fprintf(lpListing, "%c%s%c", '\t', szTarget, '\n');
    } else {
      /* Shown, but the label still counts as installed: a fix installed on top of it replaces
         its files by design, and the base release check looks at the release. */
      WriteLogF(0, "CheckValidLabel: File %s has checksum %s, not %s of %s: overwritten", szTarget, szActual,
                szChecksum, szLabel);
      fprintf(lpListing, "%c%s overwritten.%c", '\t', szTarget, '\n');
    }
  }
  ShowWindow(ghGaugeFile, SW_HIDE);
  return result;
}
