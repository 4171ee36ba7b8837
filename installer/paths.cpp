#include "installer/paths.h"

#include "installer/globals.h"
#include "installer/text.h"

#include <stdio.h>
#include <string.h>

BOOL DoesFileExist(const char* lpPath)
{
    FILE* f = fopen(lpPath, "r");
    if (!f)
        return FALSE;
    fclose(f);
    return TRUE;
}

BOOL IsDirectory(const char* lpPath)
{
    char szPrevious[PATH_BUFFER] = "";
    GetCurrentDirectoryA(sizeof(szPrevious), szPrevious);
    BOOL bResult = lpPath && *lpPath && SetCurrentDirectoryA(lpPath);
    SetCurrentDirectoryA(szPrevious);
    return bResult;
}

BOOL CreateDirectoryPath(const char* lpPath)
{
    char szPath[PATH_BUFFER];
    CopyText(szPath, sizeof(szPath), lpPath);
    BOOL bResult = FALSE;
    for (char* p = szPath; *p; ++p) {
        if (*p == ':' && (p[1] == '\\' || p[1] == '/')) {
            ++p;  /* the drive part: C:\ */
            continue;
        }
        if (*p == '\\' || *p == '/' || *p == ':') {
            char c = *p;
            *p = '\0';
            if (*szPath)
                bResult = CreateDirectoryA(szPath, NULL);
            *p = c;
        }
    }
    return bResult;
}

/* Copies the len bytes at text to lpOut as a text; FALSE and an empty text when they do not fit. */
static BOOL CopyPart(const char* text, size_t len, char* lpOut, size_t cbOut)
{
    if (cbOut == 0)
        return FALSE;
    if (len >= cbOut) {
        lpOut[0] = '\0';
        return FALSE;
    }
    memmove(lpOut, text, len);
    lpOut[len] = '\0';
    return TRUE;
}

BOOL GetFileExtension(const char* lpPath, char* lpOut, size_t cbOut)
{
    char szPath[PATH_BUFFER];
    CopyText(szPath, sizeof(szPath), lpPath);
    const char* dot = strrchr(szPath, '.');
    const char* ext = dot ? dot + 1 : "";
    return CopyPart(ext, strlen(ext), lpOut, cbOut);
}

BOOL StripFileExtension(const char* lpPath, char* lpOut, size_t cbOut)
{
    const char* dot = strrchr(lpPath, '.');
    return CopyPart(lpPath, dot ? (size_t)(dot - lpPath) : strlen(lpPath), lpOut, cbOut);
}

BOOL GetFileNamePart(const char* lpPath, char* lpOut, size_t cbOut)
{
    const char* slash = strrchr(lpPath, '\\');
    const char* name = slash ? slash + 1 : lpPath;
    return CopyPart(name, strlen(name), lpOut, cbOut);
}
