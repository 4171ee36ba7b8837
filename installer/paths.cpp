#include "installer/paths.h"

#include "installer/globals.h"
#include "installer/text.h"

#include <stdio.h>
#include <string.h>

#include <string>

/* The open of the C library's mode "r" (read access, reading and writing shared, no directory),
   without the file-type query that the library adds: under Wine each query is a round trip to
   the server, and existence tests run for every file of a fix. */
BOOL DoesFileExist(const char* lpPath)
{
    HANDLE h = CreateFileA(lpPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    CloseHandle(h);
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

namespace {

/* The length of a path's root, which is not looked up: "C:\" or "\\server\share\"; 0 for a relative one. */
size_t RootLength(const std::string& path)
{
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        return 3;
    if (path.compare(0, 2, "\\\\") == 0) {
        size_t server = path.find('\\', 2);
        size_t share = server == std::string::npos ? std::string::npos : path.find('\\', server + 1);
        return share == std::string::npos ? path.size() : share + 1;
    }
    return 0;
}

/* lpDir with each part as the file system stores it; a part that is not found stays as given. */
std::string StoredSpelling(const char* lpDir)
{
    const std::string dir = lpDir;
    size_t pos = RootLength(dir);
    if (pos == 0)
        return dir;
    std::string spelled = dir.substr(0, pos);
    while (pos < dir.size()) {
        size_t end = dir.find('\\', pos);
        if (end == std::string::npos)
            end = dir.size();
        const std::string part = dir.substr(pos, end - pos);
        std::string stored = part;
        if (!part.empty() && part != "." && part != ".." && part.find_first_of("*?") == std::string::npos) {
            WIN32_FIND_DATAA found;
            HANDLE h = FindFirstFileA((spelled + part).c_str(), &found);
            if (h != INVALID_HANDLE_VALUE) {
                if (lstrcmpiA(found.cFileName, part.c_str()) == 0)
                    stored = found.cFileName;
                FindClose(h);
            }
        }
        spelled += stored;
        if (end < dir.size())
            spelled += '\\';
        pos = end + 1;
    }
    return spelled;
}

}  // namespace

BOOL EnterDirectory(const char* lpDir)
{
    if (!lpDir || !*lpDir)
        return FALSE;
    /* The components come back to the program directory after each of their steps. */
    static std::string given, spelled;
    if (given != lpDir) {
        spelled = StoredSpelling(lpDir);
        given = lpDir;
    }
    return SetCurrentDirectoryA(spelled.c_str()) || SetCurrentDirectoryA(lpDir);
}

BOOL EnterProgramDirectory(void)
{
    return EnterDirectory(gpProgramDir);
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
