#include "installer/globals.h"

#include <string.h>

#include <map>
#include <string>

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
DWORD dwNumBackupFiles = 0;

const char* Str(int id)
{
    if (gpStrings && id >= 0 && id < giStringCount)
        return gpStrings[id];
    if (!gpStrings) {
        /* Each text keeps its own copy: a caption and a message may both come from here. */
        static std::map<int, std::string> direct;
        std::map<int, std::string>::iterator it = direct.find(id);
        if (it == direct.end()) {
            char szText[520];
            int n = LoadStringA(ghInstance, (UINT)id, szText, sizeof(szText));
            it = direct.insert(std::make_pair(id, std::string(n > 0 ? szText : ""))).first;
        }
        return it->second.c_str();
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
