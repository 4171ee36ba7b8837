#include "components/names.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"

#include <ctype.h>
#include <string.h>

#include <string>

static const size_t kTimestampLength = 13;

static bool IsDigit(char c) { return isdigit((unsigned char)c) != 0; }

/* Whether a timestamp starts at lpText[pos]: 8 digits, '-' or '_', at least 4 digits. */
static bool TimestampAt(const char* lpText, size_t pos)
{
    if (strlen(lpText) < pos + kTimestampLength)
        return false;
    const char* p = lpText + pos;
    for (int i = 0; i < 8; ++i)
        if (!IsDigit(p[i]))
            return false;
    if (p[8] != '-' && p[8] != '_')
        return false;
    for (int i = 9; i < 13; ++i)
        if (!IsDigit(p[i]))
            return false;
    return true;
}

int NameStart(const char* lpDir, const char* lpWanted, char* lpFound, size_t cbFound)
{
    const size_t length = strlen(lpWanted);
    size_t pos = 0;
    bool bFound = false;
    for (; pos < length; ++pos) {
        if (!IsDigit(lpWanted[pos]))
            continue;
        if (length - pos < kTimestampLength)
            return 0;
        if (TimestampAt(lpWanted, pos)) {
            bFound = true;
            break;
        }
    }
    std::string start = bFound ? std::string(lpWanted, pos) : std::string();
    std::string end = bFound ? std::string(lpWanted + pos + kTimestampLength) : std::string();
    WriteLogF(3, "NameStart:%s, NameEnd: %s", start.c_str(), end.c_str());
    /* Without a timestamp in the wanted name there is no variant of it to look for. */
    if (!bFound)
        return 0;

    char szPattern[MAX_PATH + 4];
    FormatText(szPattern, sizeof(szPattern), "%s\\*", lpDir);
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA(szPattern, &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    int iResult = 0;
    do {
        const char* name = data.cFileName;
        if (!strcmp(name, ".") || !strcmp(name, "..") || strlen(name) != length ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (!strstr(name, start.c_str()))
            continue;
        if (giMode != MODE_REVERT && !strstr(name, end.c_str()))
            continue;
        if (!TimestampAt(name, pos))
            continue;
        if (strlen(name) >= cbFound)
            continue;
        CopyText(lpFound, cbFound, name);
        WriteLogF(3, "ReturnName:%s", lpFound);
        iResult = 1;
        break;
    } while (FindNextFileA(hFind, &data));
    FindClose(hFind);
    return iResult;
}
