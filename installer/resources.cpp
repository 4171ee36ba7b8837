#include "installer/resources.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"

#include <stdlib.h>
#include <string.h>

static const char* ResourceType(int kind)
{
    switch (kind) {
    case RES_VERSION: return "VERSION";
    case RES_FILEENTRY: return "FILEENTRY";
    case RES_UPDATE: return "UPDATE";
    case RES_LICENSEENTRY: return "LICENSEENTRY";
    case RES_UPDATE64ENTRY: return "UPDATE64ENTRY";
    case RES_UPDATECABENTRY: return "UPDATECABENTRY";
    default: return NULL;
    }
}

HGLOBAL FindAndLoadRes(int id, int kind, DWORD* pdwSize)
{
    const char* type = ResourceType(kind);
    HRSRC hRes = NULL;
    if (type) {
        if (kind == RES_VERSION)
            id = 1;
        hRes = FindResourceA(ghInstance, MAKEINTRESOURCEA(id), type);
        WriteLogF(0, "FindAndLoadRes: Calling FindResource for %s at %d, returns 0x%x\n", type, id,
                  (unsigned)(UINT_PTR)hRes);
    }
    if (!hRes) {
        WriteLog("FindAndLoadRes: ERROR: Calling FindResource() returned NULL!", 0);
        return NULL;
    }
    if (pdwSize)
        *pdwSize = SizeofResource(ghInstance, hRes);
    return LoadResource(ghInstance, hRes);
}

BOOL LoadResourceStrings(void)
{
    const int kMaxStrings = 4096;
    char** strings = (char**)calloc(kMaxStrings, sizeof(char*));
    if (!strings)
        return FALSE;
    int count = 0;
    char szText[520];
    while (count < kMaxStrings && LoadStringA(ghInstance, (UINT)count, szText, sizeof(szText)) > 0)
        strings[count++] = _strdup(szText);
    gpStrings = strings;
    giStringCount = count;
    return count > 0;
}

/* The fix description reader arrives with the package format; until then the fix has no files. */
int LoadFileTable(FILETABLEENTRY** table)
{
    (void)table;
    return 0;
}

void ListContents(void)
{
    MessageBoxA(NULL, "This fix contains:\n", "Info", MB_OK);
}

void ExtractLocally(char* lpTargetDir)
{
    (void)lpTargetDir;
    WriteLog("ExtractLocally: Starting", 0);
}
