#include "engine/targets.h"

#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/text.h"
#include "package/file_entry.h"

#include <ctype.h>
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

std::string PartitionBackupName(const char* lpLabelDir, int iPartition, const char* lpBackName)
{
    if (!gpZorelData || iPartition < 0 || iPartition >= giPartitions || !gpZorelData[iPartition] ||
        !*gpZorelData[iPartition])
        return std::string();
    char szPath[PATH_BUFFER];
    int n = FormatText(szPath, sizeof(szPath), "%s\\%s\\%s", gpZorelData[iPartition], FixFileBaseName(lpLabelDir),
                       FixFileBaseName(lpBackName));
    if (n < 0 || (size_t)n >= sizeof(szPath))
        return std::string();
    return szPath;
}

int ComponentBackupName(DWORD n, const char* lpArchive, const char* lpDataDir, char* lpOut, size_t cbOut)
{
    char szShort[PATH_BUFFER], szStem[PATH_BUFFER];
    if (!GetFileNamePart(lpArchive, szShort, sizeof(szShort)) || !StripFileExtension(szShort, szStem, sizeof(szStem)))
        return -1;
    if (!lpDataDir || !*lpDataDir)
        return FormatText(lpOut, cbOut, "%s%04d.IIB", szStem, (int)n);
    return FormatText(lpOut, cbOut, "%s\\%s%04d.IIB", lpDataDir, szStem, (int)n);
}

/* The length of "<n>.IIB" at the end of a backup name, and of a timestamp in a name. */
static const size_t kBackupEnd = 8;
static const size_t kTimestampLength = 13;

/* Where a name's timestamp begins (8 digits, '-' or '_', 4 digits, at its first digit that starts
   one); the name's length when it holds none. */
static size_t TimestampPosition(const std::string& name)
{
    for (size_t i = 0; i < name.size(); ++i) {
        if (!isdigit((unsigned char)name[i]))
            continue;
        if (name.size() - i < kTimestampLength)
            break;
        bool bStamp = name[i + 8] == '-' || name[i + 8] == '_';
        for (size_t k = 0; k < kTimestampLength && bStamp; ++k)
            bStamp = k == 8 || isdigit((unsigned char)name[i + k]);
        if (bStamp)
            return i;
    }
    return name.size();
}

std::string StampedBackup(const char* lpBackName)
{
    const std::string back(lpBackName);
    const size_t slash = back.find_last_of('\\');
    const std::string dir = slash == std::string::npos ? std::string(gpProgramDir ? gpProgramDir : ".") : back.substr(0, slash);
    const std::string name = slash == std::string::npos ? back : back.substr(slash + 1);
    const size_t length = name.size(), at = TimestampPosition(name);
    if (length <= kBackupEnd || at == length || at + kTimestampLength > length - kBackupEnd)
        return std::string();
    /* Only the timestamp may differ: another entry's backup (another number) or another file's
       (another end) is not this one. */
    WIN32_FIND_DATAA data;
    HANDLE hFind = FindFirstFileA((dir + "\\*").c_str(), &data);
    if (hFind == INVALID_HANDLE_VALUE)
        return std::string();
    std::string found;
    do {
        const std::string entry = data.cFileName;
        if (entry.size() != length || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            TimestampPosition(entry) != at || _stricmp(entry.c_str(), name.c_str()) == 0)
            continue;
        BOOL bSame = TRUE;
        for (size_t i = 0; i < length && bSame; ++i)
            bSame = (i >= at && i < at + kTimestampLength) || toupper((unsigned char)entry[i]) == toupper((unsigned char)name[i]);
        if (bSame) {
            found = dir + "\\" + entry;
            break;
        }
    } while (FindNextFileA(hFind, &data));
    FindClose(hFind);
    return found;
}

std::string StampedOriginal(const char* lpTarget, const char* lpBackup)
{
    const std::string target(lpTarget), backup(FixFileBaseName(lpBackup));
    const size_t slash = target.find_last_of('\\');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    const std::string extension = dot == std::string::npos ? std::string() : name.substr(dot);
    if (backup.size() <= kBackupEnd)
        return std::string();
    return folder + backup.substr(0, backup.size() - kBackupEnd) + extension;
}
