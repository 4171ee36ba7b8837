#include "engine/targets.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"
#include "package/file_entry.h"

#include <string.h>

static BOOL AddTarget(const char* lpDir, const char* lpName, int iPartition, std::vector<EntryTarget>* lpTargets)
{
    char szPath[PATH_BUFFER];
    int n = lpDir ? FormatText(szPath, sizeof(szPath), "%s\\%s", lpDir, lpName)
                  : FormatText(szPath, sizeof(szPath), "%s", lpName);
    if (n < 0 || (size_t)n >= sizeof(szPath)) {
        WriteLogF(0, "ERROR: the target path of %s in %s is longer than %d characters", lpName, lpDir ? lpDir : ".",
                  PATH_BUFFER - 1);
        return FALSE;
    }
    lpTargets->push_back(EntryTarget{szPath, iPartition});
    return TRUE;
}

BOOL EntryTargets(const char* lpName, DWORD dwDir, BOOL bAllPartitions, std::vector<EntryTarget>* lpTargets)
{
    lpTargets->clear();
    switch (zfix::EffectiveDir(dwDir)) {
    case zfix::DIR_DATA:
        for (int i = 0; i < giPartitions; ++i) {
            if (!bAllPartitions && !(gpDataValid && gpDataValid[i]))
                continue;
            if (!AddTarget(gpZorelData[i], lpName, i, lpTargets))
                return FALSE;
        }
        return TRUE;
    case zfix::DIR_SYSTEM:
        return AddTarget(gpSystemDir ? gpSystemDir : "", lpName, 0, lpTargets);
    default:
        return AddTarget(NULL, lpName, 0, lpTargets);
    }
}

const char kNotices[] = "license\\notices.txt";
const char* const kHandedToUpdaters[] = {"hlv-dojo.cab", "osgi_plugins.cab", "kwswindows.zip", "ckeditor.cab", "jvm.cab",
                                         NULL};

void TempFileName(DWORD n, char* lpOut, size_t cbOut) { FormatText(lpOut, cbOut, "UPTMP%04d.TMP", (int)n); }

std::string CurrentDirectoryName()
{
    char szDir[MAX_PATH * 2] = "";
    DWORD n = GetCurrentDirectoryA(sizeof(szDir), szDir);
    return n > 0 && n < sizeof(szDir) ? std::string(szDir) : std::string();
}

std::string ResolvedIn(const std::string& dir, const std::string& name)
{
    if ((name.size() > 1 && name[1] == ':') || (!name.empty() && name[0] == '\\'))
        return name;
    return dir.empty() || dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

BOOL ContainsAny(const char* lpPath, const char* const* lpTexts)
{
    for (; *lpTexts; ++lpTexts)
        if (strstr(lpPath, *lpTexts))
            return TRUE;
    return FALSE;
}

DWORD FileSizeOf(const char* lpPath)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(lpPath, GetFileExInfoStandard, &data))
        return 0;
    return data.nFileSizeHigh ? 0xFFFFFFFFu : data.nFileSizeLow;
}

BOOL PathPresent(const char* lpPath) { return GetFileAttributesA(lpPath) != INVALID_FILE_ATTRIBUTES; }
