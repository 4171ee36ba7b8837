#include "installer/globals.h"

#include <string.h>

HINSTANCE ghInstance;
char gszModulePath[520];
char gszStartDir[1040];
WORD gwOptions = 0;
char gszRevertLabel[REVERT_LABEL_SIZE];
char** gpStrings = NULL;
int giStringCount = 0;
const char* gszPatchIniName = "PATCH.INI";
char* gpTempDir = NULL;
char gszLicenseCopyPath[PATH_BUFFER];
char gszUpdateVersionPath[PATH_BUFFER];
char gszCabarcPath[PATH_BUFFER];
HGLOBAL ghLicenseBlock = NULL;
DWORD gdwLicenseLength = 0;
char* gpProgramDir = NULL;
char** gpZorelData = NULL;
int giPartitions = 1;
BYTE* gpDataValid = NULL;
char* gpSystemDir = NULL;
int giMode = MODE_UPGRADE;
int dwUpgradeType = 0;
BOOL gbJvmUpdated = TRUE;
HWND ghMainDlg = NULL;
HWND ghGaugeFile = NULL;
HWND ghGaugeTotal = NULL;
int giDlgState = 0;
BOOL gbCloseNoAsk = FALSE;
char canLabelDir[PATH_BUFFER];
char canCurrentVersion[128];
DWORD gdwChecksums = 0;
DWORD gdwFileEntries = 0;

const char* Str(int id)
{
    if (gpStrings && id >= 0 && id < giStringCount)
        return gpStrings[id];
    if (!gpStrings) {
        static char szDirect[520];
        if (LoadStringA(ghInstance, (UINT)id, szDirect, sizeof(szDirect)) > 0)
            return szDirect;
    }
    return "";
}

BOOL StrIs(int id, const char* text)
{
    return strcmp(Str(id), text) == 0;
}

BOOL Unattended(void)
{
    return (gwOptions & OPTIONS_NOUSER) != 0;
}
