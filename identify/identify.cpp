/* Release identification: the disk-space check and the decision between upgrade and revert. */
#include "identify/identify.h"

#include "identify/checksum.h"
#include "identify/probe.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "package/version_text.h"
#include "records/listing.h"
#include "resources/resource.h"
#include "revert/restore.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>


char gszSpaceLocation[DATA_DIR_BUFFER * 2];

DWORD GetFreeSpaceKB(const char* lpPath)
{
    char szPrevious[PATH_BUFFER] = "";
    GetCurrentDirectoryA(sizeof(szPrevious), szPrevious);
    SetCurrentDirectoryA(lpPath);
    ULARGE_INTEGER avail, total, free;
    BOOL bOk = GetDiskFreeSpaceExA(NULL, &avail, &total, &free);
    SetCurrentDirectoryA(szPrevious);
    if (!bOk)
        return 0;
    unsigned long long kb = free.QuadPart / 1024;
    return kb >= 0x100000000ULL ? 0xFFFFFFFFUL : (DWORD)kb;
}

/* Reports a lack of space at lpLocation: the two log lines and the figures for the caller. */
static int NotEnoughSpace(const char* lpLocation, DWORD dwAvailable, ULONGLONG qwNeeded, char* lpOut1, char* lpOut2)
{
    char szDigits[24], szNeeded[24];
    int n = 0;
    do {
        szDigits[n++] = (char)('0' + qwNeeded % 10);
        qwNeeded /= 10;
    } while (qwNeeded);
    for (int i = 0; i < n; ++i)
        szNeeded[i] = szDigits[n - 1 - i];
    szNeeded[n] = '\0';
    WriteLog("IdentifyZorelVersion: NOT ENOUGH AVAILABLE DISKSPACE!", 0);
    WriteLogF(0, "IdentifyZorelVersion: dwAvailableSpace = %lu, dwNeededSpace = %s", (unsigned long)dwAvailable,
              szNeeded);
    FormatText(lpOut1, PATH_BUFFER, "%lu", (unsigned long)dwAvailable);
    CopyText(lpOut2, PATH_BUFFER, szNeeded);
    CopyText(gszSpaceLocation, sizeof(gszSpaceLocation), lpLocation);
    return INV_NOSPACE;
}

int IdentifyZorelVersion(char* lpOut1, char* lpOut2)
{
    WriteLogF(0, "IdentifyZorelVersion: %s", "Starting");
    lpOut1[0] = lpOut2[0] = '\0';
    DWORD dwResSize = 0;
    zfix::FIXRECORD record;
    /* A record that runs past its own end is treated like a missing one. */
    if (!ReadFixDescription("IdentifyZorelVersion", &record, &dwResSize))
        return INV_NORECORD;
    const zfix::FIXHEADER& h = record.header;
    WriteLogF(1, "IdentifyZorelVersion: dwResSize: %d", (int)dwResSize);
    WriteLogF(1, "IdentifyZorelVersion: %s", "Disk space check...");

    const char* program = gpProgramDir ? gpProgramDir : "";
    CopyText(gszSpaceLocation, sizeof(gszSpaceLocation), program);
    /* Summed in 64 bits: two large 32-bit figures must not wrap to a small one. */
    ULONGLONG qwNeeded = h.dwProgramSpace;
    for (int i = 0; gpZorelData && i < giPartitions; ++i)
        if (gpZorelData[i] && gpZorelData[i][0] == program[0])
            qwNeeded += h.dwDataDirSpace;
    DWORD dwAvailable = GetFreeSpaceKB(program);
    if (qwNeeded > dwAvailable)
        return NotEnoughSpace(program, dwAvailable, qwNeeded, lpOut1, lpOut2);
    DWORD dwNeeded = (DWORD)qwNeeded;
    for (int i = 0; gpZorelData && i < giPartitions; ++i) {
        if (!gpZorelData[i] || gpZorelData[i][0] == program[0])
            continue;
        dwNeeded = h.dwDataDirSpace;
        dwAvailable = GetFreeSpaceKB(gpZorelData[i]);
        if (dwNeeded > dwAvailable)
            return NotEnoughSpace(gpZorelData[i], dwAvailable, dwNeeded, lpOut1, lpOut2);
    }
    WriteLogF(1, "IdentifyZorelVersion: dwAvailableSpace = %lu, dwNeededSpace = %lu", (unsigned long)dwAvailable,
              (unsigned long)dwNeeded);

    CopyText(lpOut1, PATH_BUFFER, h.canOldLabel);
    CopyText(lpOut2, PATH_BUFFER, h.canNewLabel);
    zfix::TrimLabel(lpOut1);
    zfix::TrimLabel(lpOut2);
    gdwChecksums = h.gdwChecksums;
    dwUpgradeType = (int)h.dwUpgradeType;
    gdwFileEntries = h.dwFileEntries;
    DWORD dwNumFiles = zfix::NumFiles(h);

    WriteLogF(1, "IdentifyZorelVersion: %s", "Calling DetermineMode");
    giMode = DetermineMode(record, h.dwStringsChecksum, lpOut1, lpOut2, dwNumFiles);
    if (ghMainDlg)
        SetDlgItemTextA(ghMainDlg, IDC_TEXT5, Str(23));
    switch (giMode) {
    case MODE_UPGRADE:
        WriteLog("IdentifyZorelVersion: DetermineMode returns INV_UPGRADE", 1);
        return INV_UPGRADE;
    case MODE_REVERT:
        WriteLog("IdentifyZorelVersion: DetermineMode returns INV_REVERT", 1);
        return INV_REVERT;
    default:
        WriteLog("IdentifyZorelVersion: DetermineMode returns INV_UNKNOWN (that is not good)", 1);
        return INV_UNKNOWN;
    }
}

/* Logs the mode line and returns the mode. */
static int Mode(int mode)
{
    static const char* const lines[] = {"+ DetermineMode: Returning MODE_UPGRADE", "+ DetermineMode: Returning MODE_REVERT",
                                        "+ DetermineMode: Returning MODE_AMBIGUOUS"};
    if (mode >= MODE_UPGRADE && mode <= MODE_AMBIGUOUS)
        WriteLog(lines[mode - MODE_UPGRADE], 1);
    return mode;
}

static void SetLabelDir(const char* lpName)
{
    JoinPath(canLabelDir, sizeof(canLabelDir), gpProgramDir, lpName);
}

static void SetLabelDirOf(const char* lpLabel)
{
    char szDir[zfix::LABEL_DIR_MAX + 1];
    SetLabelDir(LabelDirName(lpLabel, szDir));
}

struct FixVersion {
    int n[4];
    char text[64];
};

/* The fix's own version after the first ':' of string 0; FALSE when there is none to read. */
static BOOL ReadFixVersion(FixVersion* v)
{
    memset(v, 0, sizeof(*v));
    if (!ParseTitleVersion(Str(STR_TITLE), v->n))
        return FALSE;
    FormatText(v->text, sizeof(v->text), "%d.%d.%d.%d", v->n[0], v->n[1], v->n[2], v->n[3]);
    return TRUE;
}

/* The file version of a file; zeros when it cannot be read. */
static void ReadInstalledVersion(const char* lpPath, FixVersion* v)
{
    memset(v, 0, sizeof(*v));
    GetFileVersionNumbers(lpPath, &v->n[0], &v->n[1], &v->n[2], &v->n[3]);
    FormatText(v->text, sizeof(v->text), "%d.%d.%d.%d", v->n[0], v->n[1], v->n[2], v->n[3]);
}

static BOOL Stx9(void) { return GetEnvironmentVariableA("STX9", NULL, 0) > 0; }

static int DiagnosticsToolMode(const char* oldLabel)
{
    FixVersion fix, tool;
    if (!ReadFixVersion(&fix))
        return Mode(MODE_AMBIGUOUS);
    char szPath[PATH_BUFFER];
    JoinPath(szPath, sizeof(szPath), gpProgramDir, "tdx.exe");
    ReadInstalledVersion(szPath, &tool);
    if (strcmp(fix.text, tool.text) == 0) {
        WriteLogF(1, "current TDX version:%s is the same as the new one %s: REVERT", tool.text, fix.text);
        return MODE_REVERT;
    }
    WriteLogF(1, "current TDX version:%s is different from the new one %s", tool.text, fix.text);
    SetLabelDirOf(oldLabel);
    if (fix.n[0] != tool.n[0] || fix.n[1] != tool.n[1] || fix.n[2] != tool.n[2]) {
        int r[4];
        JoinPath(szPath, sizeof(szPath), gpProgramDir, Str(STR_STRINGS_LIB));
        if (GetFileVersionNumbers(szPath, &r[0], &r[1], &r[2], &r[3]) &&
            (fix.n[0] != r[0] || fix.n[1] != r[1] || fix.n[2] < r[2] || fix.n[2] > r[2] + 10))
            WriteLogF(1, "new TDX version:%s was built for a different release. Your current release is : %d.%d.%d",
                      fix.text, r[0], r[1], r[2]);
    }
    WriteLogF(1, "new TDX version:%s was built for a different release than your current one: %d.%d.%d", fix.text,
              tool.n[0], tool.n[1], tool.n[2]);
    return strcmp(fix.text, tool.text) > 0 ? MODE_UPGRADE : MODE_REVERT;
}

static int CustomFixMode(const char* oldLabel, char* newLabel)
{
    FixVersion fix, target;
    if (!ReadFixVersion(&fix))
        return MODE_AMBIGUOUS;
    char szTarget[PATH_BUFFER];
    JoinPath(szTarget, sizeof(szTarget), gpProgramDir, Str(STR_STRINGS_LIB));
    if (strstr(szTarget, "jvmsr")) {
        SetLabelDir("jvm_backup");
        return DoesFileExist(szTarget) ? MODE_REVERT : MODE_UPGRADE;
    }
    ReadInstalledVersion(szTarget, &target);
    if (strcmp(fix.text, target.text) == 0) {
        WriteLogF(1, "current Custom version:%s is the same as the new one %s: REVERT", target.text, fix.text);
        FormatText(newLabel, PATH_BUFFER, "Custom Fix: %s", target.text);
        return MODE_REVERT;
    }
    WriteLogF(1, "current Custom version:%s is different from the new one %s", target.text, fix.text);
    FormatText(newLabel, PATH_BUFFER, "Custom fix %s", fix.text);
    SetLabelDirOf(oldLabel);
    const char* release = Str(STR_RELEASE_TEXT);
    WriteLogF(1, "STR_RELEASE_TEXT: %s", release);

    char szLib[PATH_BUFFER];
    JoinPath(szLib, sizeof(szLib), gpProgramDir, "tessra.dll");
    int rel[4];
    if (GetFileVersionNumbers(szLib, &rel[0], &rel[1], &rel[2], &rel[3])) {
        if (rel[0] != fix.n[0]) {
            WriteLogF(1, "new Custom version:%s was built for a different release. Your current release is : %d.%d.%d",
                      fix.text, rel[0], rel[1], rel[2]);
            return MODE_AMBIGUOUS;
        }
        if (rel[0] == 6 || rel[0] == 7) {
            /* The maximum is cut to 6 characters. */
            char szMaxKey[16], szMinKey[16], szMax[7] = "", szMin[PATH_BUFFER] = "", szInstalled[48];
            FormatText(szMaxKey, sizeof(szMaxKey), "Maximum:%d", rel[0]);
            FormatText(szMinKey, sizeof(szMinKey), "Minimum:%d", rel[0]);
            const char* max = strstr(release, szMaxKey);
            const char* min = strstr(release, szMinKey);
            FormatText(szInstalled, sizeof(szInstalled), "%d.%d.%02d", rel[0], rel[1], rel[2]);
            if (max) {
                CopyText(szMax, sizeof(szMax), max + strlen("Maximum:"));
                WriteLogF(1, "Max version: %s", szMax);
            }
            if (min) {
                CopyText(szMin, sizeof(szMin), min + strlen("Minimum:"));
                WriteLogF(1, "Min version: %s", szMin);
            }
            if (max) {
                size_t n = strlen(szMax) < strlen(szInstalled) ? strlen(szMax) : strlen(szInstalled);
                if (strncmp(szMax, szInstalled, n) >= 0) {
                    WriteLogF(1, "Maximum targeted Halvex version %s is the same or more than the current one %s",
                              szMax, szInstalled);
                    return MODE_UPGRADE;
                }
                WriteLogF(1, "Maximum targeted Halvex version %s less than %s: this custom fix doesn't apply", szMax,
                          szInstalled);
                if (!Stx9())
                    return MODE_AMBIGUOUS;
            }
            if (min) {
                size_t n = strlen(szMin) < strlen(szInstalled) ? strlen(szMin) : strlen(szInstalled);
                if (strncmp(szMin, szInstalled, n) <= 0) {
                    WriteLogF(1, "%s less or more than the current one %s", szMin, szInstalled);
                    return MODE_UPGRADE;
                }
                WriteLogF(1, "Minimum targeted version %s more than the current one %s: this custom fix doesn't apply",
                          szMin, szInstalled);
                if (!Stx9())
                    return MODE_AMBIGUOUS;
            }
        }
    }
    if (strcmp(fix.text, target.text) > 0)
        return MODE_UPGRADE;
    return Stx9() ? MODE_UPGRADE : MODE_AMBIGUOUS;
}

/* The web-access add-on: MODE_REVERT or MODE_AMBIGUOUS when decided here, else 0. */
static int AddOnMode(void)
{
    char* text = ReadPatchInfo();
    free(text);
    lpRqaLabel = NULL;
    for (int i = giFixLabels - 1; i >= 0 && !lpRqaLabel; --i)
        if (strstr(gpcanFixLabels[i], "RQA"))
            lpRqaLabel = gpcanFixLabels[i];
    if (!lpRqaLabel)
        return 0;
    int installed[2], fix[2];
    if (!ParseRqaLabel(lpRqaLabel, &installed[0], &installed[1]) || !ParseRqaLabel(Str(STR_LP), &fix[0], &fix[1]))
        return Mode(MODE_AMBIGUOUS);
    if (installed[0] == fix[0] && installed[1] == fix[1])
        return Mode(MODE_REVERT);
    return 0;
}

int DetermineMode(const zfix::FIXRECORD& record, DWORD dwStringsChecksum, const char* oldLabel, char* newLabel,
                  DWORD dwNumFiles)
{
    BOOL bTdx = StrIs(STRR_HOTFIX, zfix::FIXKIND_TDX), bCustom = StrIs(STRR_HOTFIX, zfix::FIXKIND_CUSTOM), bRqa = StrIs(STRR_HOTFIX, zfix::FIXKIND_RQA);
    if (!bTdx) {
        WriteLog("DetermineMode: Calling LoadCurrentZorelVersion64", 1);
        LoadCurrentZorelVersion64("read");
    }
    WriteLogF(1, "+ DetermineMode: Current version      %s", canCurrentVersion);
    WriteLogF(1, "+ DetermineMode: Destination version  %s", newLabel);
    ClearFixLabels();
    WriteLogF(1, "DetermineMode: Opening checksum file:  %s", Str(STR_STRINGS_LIB));
    FILE* f = fopen(Str(STR_STRINGS_LIB), "rb");
    if (!f) {
        WriteLogF(1, "DetermineMode: ERROR: Can't open %s", Str(STR_STRINGS_LIB));
        SetLabelDir("jvm_backup");
        return Mode(MODE_UPGRADE);
    }
    unsigned long dwCurrent = FileChecksum(f);
    fclose(f);

    if (dwUpgradeType == 0) {
        for (const zfix::CHECKSUMRECORD& r : record.checksums) {
            if (r.dwChecksum == dwCurrent) {
                WriteLogF(1, "DetermineMode: Current checksum %lx is equal to old checksum: %lx", dwCurrent,
                          (unsigned long)r.dwChecksum);
                return Mode(MODE_UPGRADE);
            }
        }
    } else {
        WriteLog("DetermineMode: Calling VerifyValidLabels", 1);
        if (VerifyValidLabels(record, newLabel, dwNumFiles) && !bTdx && !bCustom && !bRqa) {
            WriteLog("DetermineMode: Calling RestoreBaseRelease", 1);
            if (!RestoreBaseRelease(oldLabel))
                WriteLogF(1, "File %s failed checksum. (Found %#lx, Expected %#lx)", Str(STR_STRINGS_LIB), dwCurrent,
                          0UL);
            return Mode(MODE_UPGRADE);
        }
        if (bRqa) {
            int mode = AddOnMode();
            if (mode)
                return mode;
        } else if (bTdx) {
            return DiagnosticsToolMode(oldLabel);
        } else if (bCustom) {
            return CustomFixMode(oldLabel, newLabel);
        }
    }

    if (dwUpgradeType > 0) {
        if (IsSameRelease(canCurrentVersion, newLabel)) {
            WriteLogF(1, "DetermineMode: Current version  %s is equal to new version: %s", canCurrentVersion, newLabel);
            return Mode(MODE_REVERT);
        }
        WriteLogF(1, "DetermineMode: Current version  %s is not equal to new version: %s", canCurrentVersion, newLabel);
        SetLabelDirOf(oldLabel);
        WriteLogF(1, "DetermineMode: Backup directory: %s", canLabelDir);
        WriteLog("DetermineMode: Calling RestoreBaseRelease", 1);
        if (!RestoreBaseRelease(oldLabel)) {
            WriteLog("DetermineMode: ERROR: RestoreBaseRelease didn't work as expected", 0);
            return Mode(MODE_AMBIGUOUS);
        }
        return Mode(MODE_UPGRADE);
    }
    if (dwStringsChecksum == dwCurrent) {
        WriteLogF(1, "DetermineMode: REVERT: Current checksum  %lx is equal to new checksum: %lx", dwCurrent,
                  (unsigned long)dwStringsChecksum);
        return Mode(MODE_REVERT);
    }
    WriteLog("DetermineMode: Calling RestoreBaseRelease", 1);
    if (!RestoreBaseRelease(oldLabel))
        WriteLog("DetermineMode: ERROR: RestoreBaseRelease didn't work as expected", 0);
    return Mode(MODE_UPGRADE);
}
