#include "identify/probe.h"

#include "installer/carried_tool.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/text.h"
#include "package/names.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

#define STRING_PRODUCT_RUNNING 8

void LoadCurrentZorelVersion64(const char* lpWord)
{
    if (StrIs(STRR_HOTFIX, zfix::FIXKIND_TDX))
        return;
    char szLib[PATH_BUFFER], szOut[PATH_BUFFER];
    JoinPath(szLib, sizeof(szLib), gpProgramDir, "tessra.dll");
    JoinPath(szOut, sizeof(szOut), gpProgramDir, "currver.txt");
    WriteLog(szLib, 1);
    WriteLog(szOut, 1);

    char szCmd[3 * PATH_BUFFER];
    if (!gszUpdateVersionPath[0] ||
        !BuildPath(szCmd, sizeof(szCmd), "%s %s myversion %s ", gszUpdateVersionPath,
                   zfix::QuotedDirectory(gpProgramDir).c_str(), lpWord)) {
        WriteLog("LoadCurrentZorelVersion64: ERROR: no command line for the release-string tool", 0);
        exit(1);
    }
    WriteLogF(1, "LoadCurrentZorelVersion64: Calling CreateProcess with %s", szCmd);

    DWORD dwResult = 0;
    if (!RunCarriedTool(gszUpdateVersionPath, szCmd, &dwResult)) {
        WriteLog(szCmd, 0);
        WriteLogF(0, "LoadCurrentZorelVersion64: Failed to read version from tessra.dll version: %d", (int)dwResult);
        exit(1);
    }

    FILE* f = fopen(szOut, "r");
    if (!f) {
        WriteLogF(0, "LoadCurrentZorelVersion64: Can't open %s", szOut);
        exit(1);
    }
    size_t n = fread(canCurrentVersion, 1, sizeof(canCurrentVersion) - 1, f);
    canCurrentVersion[n] = '\0';
    fclose(f);
    if (n == 0) {
        WriteLogF(0, "LoadCurrentZorelVersion64: Can't read from  %s", szOut);
        exit(1);
    }
    WriteLog(canCurrentVersion, 1);
}

static int ReportHeld(const char* lpPath)
{
    WriteLogF(0, "Please find the processes using file %s by task manager or process explorer and close them.", lpPath);
    return STRING_PRODUCT_RUNNING;
}

/* Renames the digest library aside and back: a running product holds it. The library always
   ends under its own name: the way back is retried, and copied back as a last resort. */
static int ProbeByRename(const char* lpPath, const char* lpAside)
{
    if (rename(lpPath, lpAside) != 0) {
        if (errno == EACCES) {
            WriteLogF(0, "Can't rename old %s: access problem", lpPath);
            return ReportHeld(lpPath);
        }
        return 0;
    }
    BOOL bBack = FALSE, bDenied = FALSE;
    for (int attempt = 0; attempt < 20 && !bBack; ++attempt) {
        bBack = rename(lpAside, lpPath) == 0;
        if (!bBack) {
            bDenied = bDenied || errno == EACCES;
            Sleep(100);
        }
    }
    if (!bBack && CopyFileA(lpAside, lpPath, TRUE) && DeleteFileA(lpAside))
        bBack = TRUE;
    if (!bBack) {
        WriteLogF(0, "IsZorelRunning: ERROR: %s could not be renamed back to %s", lpAside, lpPath);
        bDenied = TRUE;
    }
    if (bDenied) {
        WriteLogF(0, "Can't rename old %s: access problem", lpPath);
        return ReportHeld(lpPath);
    }
    return 0;
}

static int ProbeOpen(const char* lpPath)
{
    FILE* f = fopen(lpPath, "r+b");
    if (!f) {
        WriteLogF(0, "Can't open file %s, errno = %d.", lpPath, errno);
        return ReportHeld(lpPath);
    }
    fclose(f);
    return 0;
}

int IsZorelRunning(void)
{
    if (!gpProgramDir || !*gpProgramDir)
        return 0;
    char szPath[PATH_BUFFER];
    if (!getenv("LOCKUNCHECK")) {
        char szAside[PATH_BUFFER];
        JoinPath(szPath, sizeof(szPath), gpProgramDir, "pomvi.dll");
        JoinPath(szAside, sizeof(szAside), gpProgramDir, "pomvi1.dll");
        if (!DoesFileExist(szPath))
            return 0;
        int held = ProbeOpen(szPath);
        if (!held)
            held = ProbeByRename(szPath, szAside);
        if (held)
            return held;
    }
    JoinPath(szPath, sizeof(szPath), gpProgramDir, Str(STR_STRINGS_LIB));
    if (!DoesFileExist(szPath))
        return 0;
    return ProbeOpen(szPath);
}
