#include "identify/checksum.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"
#include "package/checksum.h"
#include "package/version_text.h"

#include <stdlib.h>
#include <string.h>

#include <vector>

char gszVersionInfo[251];

unsigned long FileChecksum(FILE* stream)
{
    if (!stream)
        return 0;
    uint32_t crc = 0;
    if (!zfix::StreamCrc32(stream, &crc)) {
        LOG_ALLOC_FAILURE();
        return 0;
    }
    return crc;
}

int GetFileVersionNumbers(const char* lpPath, int* major, int* minor, int* release, int* build)
{
    DWORD dwHandle = 0;
    DWORD dwSize = GetFileVersionInfoSizeA(lpPath, &dwHandle);
    if (dwSize == 0) {
        WriteLogF(0, "GetFileVersionInfoSize call failed for %s", lpPath);
        return 0;
    }
    std::vector<char> info((size_t)dwSize + 1);
    if (!GetFileVersionInfoA(lpPath, 0, dwSize, info.data())) {
        WriteLogF(0, "GetFileVersionInfo call failed for %s", lpPath);
        return 0;
    }
    char szQuery[64];
    WORD* translation = NULL;
    UINT len = 0;
    if (VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", (void**)&translation, &len) && len == 4) {
        FormatText(szQuery, sizeof(szQuery), "\\StringFileInfo\\%02x%02x%02x%02x\\FileVersion", HIBYTE(translation[0]),
                   LOBYTE(translation[0]), HIBYTE(translation[1]), LOBYTE(translation[1]));
    } else {
        FormatText(szQuery, sizeof(szQuery), "\\StringFileInfo\\%04X04B0\\FileVersion", (unsigned)GetUserDefaultLangID());
    }
    char* text = NULL;
    if (!VerQueryValueA(info.data(), szQuery, (void**)&text, &len) || !text) {
        WriteLogF(0, "VerQueryValue call failed for %s", lpPath);
        return 0;
    }
    CopyText(gszVersionInfo, sizeof(gszVersionInfo), text);
    WriteLogF(0, "versionInfo is  %s for file %s", gszVersionInfo, lpPath);
    /* Each form parses its own copy: the dotted form cuts the text at its dots. */
    char szDotted[sizeof(gszVersionInfo)], szComma[sizeof(gszVersionInfo)];
    CopyText(szDotted, sizeof(szDotted), gszVersionInfo);
    CopyText(szComma, sizeof(szComma), gszVersionInfo);
    if (ParseDottedVersion(szDotted, major, minor, release, build))
        return 1;
    return ParseCommaVersion(szComma, major, minor, release, build);
}
