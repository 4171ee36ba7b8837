#include "installer/utils.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>

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

/* Writes lpText[0..len) to lpOut; FALSE with an empty output when it does not fit. */
static BOOL PutPart(const char* lpText, size_t len, char* lpOut, size_t cbOut)
{
    if (cbOut == 0)
        return FALSE;
    if (len >= cbOut) {
        lpOut[0] = '\0';
        return FALSE;
    }
    memmove(lpOut, lpText, len);
    lpOut[len] = '\0';
    return TRUE;
}

BOOL GetFileExtension(const char* lpPath, char* lpOut, size_t cbOut)
{
    const char* dot = strrchr(lpPath, '.');
    const char* ext = dot ? dot + 1 : lpPath + strlen(lpPath);
    return PutPart(ext, strlen(ext), lpOut, cbOut);
}

BOOL StripFileExtension(const char* lpPath, char* lpOut, size_t cbOut)
{
    const char* dot = strrchr(lpPath, '.');
    return PutPart(lpPath, dot ? (size_t)(dot - lpPath) : strlen(lpPath), lpOut, cbOut);
}

BOOL GetFileNamePart(const char* lpPath, char* lpOut, size_t cbOut)
{
    const char* slash = strrchr(lpPath, '\\');
    const char* name = slash ? slash + 1 : lpPath;
    return PutPart(name, strlen(name), lpOut, cbOut);
}

void TrimTrailingBlanks(char* lpText)
{
    size_t len = strlen(lpText);
    while (len > 0 && lpText[len - 1] == ' ')
        lpText[--len] = '\0';
}

char* UpperCase(char* lpText)
{
    CharUpperA(lpText);
    return lpText;
}

char* LabelRelease(const char* lpLabel)
{
    size_t len = strcspn(lpLabel, "|");
    char* out = (char*)malloc(len + 1);
    if (out) {
        memcpy(out, lpLabel, len);
        out[len] = '\0';
    }
    return out;
}

char* JoinLabels(const char* lpA, const char* lpB)
{
    size_t a = strcspn(lpA, "|"), b = strcspn(lpB, "|");
    char* out = (char*)malloc(a + b + 2);
    if (out) {
        memcpy(out, lpA, a);
        out[a] = '+';
        memcpy(out + a + 1, lpB, b);
        out[a + b + 1] = '\0';
    }
    return out;
}

BOOL CopyFiles(const char* lpFrom, const char* lpTo)
{
    FILE* from = fopen(lpFrom, "rb");
    if (!from) {
        WriteLogF(0, "CopyFiles: ERROR: Can't open the FROM file %s for reading: err=%ld", lpFrom, (long)GetLastError());
        return FALSE;
    }
    FILE* to = fopen(lpTo, "wb");
    if (!to) {
        WriteLogF(0, "CopyFiles: ERROR: Can't open the TO file %s for writing: err=%ld", lpTo, (long)GetLastError());
        fclose(from);
        return FALSE;
    }
    const size_t kBuffer = 256 * 1024;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBuffer]);
    if (!buffer) {
        LOG_ALLOC_FAILURE();
        fclose(from);
        fclose(to);
        return FALSE;
    }
    size_t n;
    while ((n = fread(buffer.get(), 1, kBuffer, from)) > 0)
        fwrite(buffer.get(), 1, n, to);
    fclose(from);
    fclose(to);
    WriteLogF(4, "CopyFiles: Copied %s to %s", lpFrom, lpTo);
    return TRUE;
}

BOOL DeleteTree(const char* lpPath)
{
    std::string list(lpPath);
    list.append(2, '\0');
    SHFILEOPSTRUCTA op;
    memset(&op, 0, sizeof(op));
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
    int rc = SHFileOperationA(&op);
    return rc == 0 || op.fAnyOperationsAborted;
}

void CopyBytes(void* lpDest, const void* lpSource, DWORD dwCount)
{
    BYTE* d = (BYTE*)lpDest;
    const BYTE* s = (const BYTE*)lpSource;
    for (DWORD i = 0; i < dwCount; ++i)
        d[i] = s[i];
}

HGLOBAL AllocBlock(DWORD dwSize) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, dwSize); }
void* LockBlock(HGLOBAL hBlock) { return GlobalLock(hBlock); }
void UnlockBlock(HGLOBAL hBlock) { GlobalUnlock(hBlock); }
void FreeBlock(HGLOBAL hBlock) { GlobalFree(hBlock); }
