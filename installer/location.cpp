#include "installer/location.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/profile.h"
#include "installer/text.h"
#include "installer/paths.h"

#include "package/names.h"

#include <stdlib.h>
#include <string.h>

static const char kQvtKey[] = "Software\\QVT\\Halvex\\";
static const char kVorinKey[] = "Software\\Vorin\\Halvex\\";
static const char kPalvaronKey[] = "Software\\Vorin\\Palvaron Mux\\";

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

BOOL IsWow64(void)
{
    IsWow64ProcessFn fn = (IsWow64ProcessFn)(void*)GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process");
    BOOL bWow64 = FALSE;
    if (!fn || !fn(GetCurrentProcess(), &bWow64))
        return FALSE;
    return bWow64;
}

static HKEY OpenProductKey(const char* lpName)
{
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, lpName, 0, KEY_READ | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return NULL;
    return hKey;
}

/* Reads a REG_SZ value into buf (size bytes), always NUL-terminated. */
static BOOL ReadStringValue(HKEY hKey, const char* lpName, char* buf, DWORD size)
{
    DWORD type = 0, cb = size;
    LONG rc = RegQueryValueExA(hKey, lpName, NULL, &type, (BYTE*)buf, &cb);
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        buf[0] = '\0';
        return FALSE;
    }
    buf[cb < size ? cb : size - 1] = '\0';
    return TRUE;
}

/* Removes one trailing '\\', but keeps a drive's root: "C:" alone is the drive's current directory. */
static void RemoveTrailingBackslash(char* lpText)
{
    size_t len = strlen(lpText);
    if (len > 0 && lpText[len - 1] == '\\') {
        lpText[len - 1] = '\0';
        if (zfix::IsBareDrive(lpText))
            lpText[len - 1] = '\\';
    }
}

/* A path that cannot be held whole ends the run: a shorter one would name another file. */
static void PathFailure(const char* lpText)
{
    WriteLog(lpText, 0);
    if (!(gwOptions & OPTIONS_NOUSER))
        MessageBoxA(ghMainDlg, lpText, Str(STR_CAPTION), MB_OK | MB_ICONERROR);
    exit(1);
}

void JoinPath(char* lpOut, size_t size, const char* lpDir, const char* lpName)
{
    size_t len = strlen(lpDir);
    const char* sep = len > 0 && lpDir[len - 1] == '\\' ? "" : "\\";
    if (BuildPath(lpOut, size, "%s%s%s", lpDir, sep, lpName))
        return;
    char szText[2 * PATH_BUFFER];
    FormatText(szText, sizeof(szText), "The path %s%s%s is too long.", lpDir, sep, lpName);
    PathFailure(szText);
}

/* Looks for a file in the directories of PATH; TRUE with its full path. */
static BOOL SearchOnPath(const char* lpName, char* lpFull, DWORD size)
{
    const char* path = getenv("PATH");
    if (!path)
        return FALSE;
    char* filePart = NULL;
    DWORD n = SearchPathA(path, lpName, NULL, size, lpFull, &filePart);
    return n > 0 && n < size;
}

/* The installer updates a 64-bit product, so it must run on 64-bit Windows. The product is a
   32-bit image and knows that by running under WOW64. Its 64-bit twin, the build that runs the
   Windows tests on hosts without 32-bit code, knows it by being a 64-bit process, which WOW64
   never holds; the log says the same for both. */
static BOOL OnWindows64(void)
{
#ifdef _WIN64
    return TRUE;
#else
    return IsWow64();
#endif
}

BOOL FindZorelProgram(void)
{
    if (!OnWindows64()) {
        const char* text = "This is an upgrade for Halvex 64bit. Exiting...\n";
        if (gwOptions & OPTIONS_NOUSER)
            WriteLog(text, 0);
        else
            MessageBoxA(NULL, text, "Error", MB_OK | MB_ICONERROR);
        exit(1);
    }
    WriteLog("The process is running under WOW64.\n", 0);

    if (!gpProgramDir)
        gpProgramDir = (char*)calloc(PATH_BUFFER + 1, 1);
    BOOL bFound = FALSE;
    char szValue[PATH_BUFFER];

    const char* keys[] = {kQvtKey, kVorinKey};
    for (int i = 0; i < 2; ++i) {
        HKEY hKey = OpenProductKey(keys[i]);
        if (!hKey)
            continue;
        if (ReadStringValue(hKey, "Path", szValue, sizeof(szValue))) {
            CopyText(gpProgramDir, PATH_BUFFER, szValue);
            UpperCase(gpProgramDir);
            if (i == 0)
                WriteLogF(1, "FindZorelProgram: 'Path' = %s", gpProgramDir);
            bFound = TRUE;
        } else {
            WriteLog("FindZorelProgram: ERROR: Failed to find 'Path'", 0);
        }
        RegCloseKey(hKey);
    }

    if (!bFound) {
        char szFull[PATH_BUFFER];
        if (SearchOnPath("HOSTRK.EXE", szFull, sizeof(szFull))) {
            char* slash = strrchr(szFull, '\\');
            if (slash)
                *slash = '\0';
            CopyText(gpProgramDir, PATH_BUFFER, szFull);
            UpperCase(gpProgramDir);
            bFound = TRUE;
        }
    }

    if (!bFound) {
        HKEY hKey = OpenProductKey(kPalvaronKey);
        if (hKey) {
            WriteLog("Found Palvaron Key", 0);
            if (ReadStringValue(hKey, "Path", szValue, sizeof(szValue))) {
                WriteLog("Found string Path in Palvaron Key", 0);
                CopyText(gpProgramDir, PATH_BUFFER, szValue);
                UpperCase(gpProgramDir);
                bFound = TRUE;
            } else {
                WriteLog("NOT found string BasePath in Palvaron Key", 0);
            }
            RegCloseKey(hKey);
        } else {
            WriteLog("NOT found Palvaron Key", 0);
        }
        if (!bFound) {
            WriteLog("FindZorelProgram: ERROR: Failed to find Zorel program directory in Windows registry", 0);
            CopyText(gpProgramDir, PATH_BUFFER, DEFAULT_PROGRAM_DIR);
            return FALSE;
        }
        RemoveTrailingBackslash(gpProgramDir);
        WriteLogF(1, "FindZorelProgram: Successfully found Zorel program directory at %s", gpProgramDir);
        return TRUE;
    }
    RemoveTrailingBackslash(gpProgramDir);
    return TRUE;
}

static char* NewDataEntry(const char* lpText)
{
    char* entry = (char*)calloc(DATA_DIR_BUFFER, 1);
    if (entry)
        CopyText(entry, DATA_DIR_BUFFER, lpText);
    return entry;
}

BOOL FindZorelData(void)
{
    WriteLog("FindZorelData: Starting", 1);
    gpZorelData = NULL;
    giPartitions = 0;
    BOOL bFound = FALSE;
    int count = 0;

    HKEY hKey = OpenProductKey(kQvtKey);
    if (hKey) {
        WriteLogF(1, "FindZorelData: Found %s in registry", kQvtKey);
    } else {
        WriteLog("FindZorelProgram: ERROR: Failed to find Zorel data directory in Windows registry", 0);
        WriteLogF(1, "FindZorelData: Looking for %s in registry", kVorinKey);
        hKey = OpenProductKey(kVorinKey);
    }

    if (!hKey) {
        WriteLog("FindZorelData: ERROR: Unable to find either QVT or Vorin in registry!", 0);
    } else {
        DWORD dwSubKeys = 0, dwMaxSubKey = 0, dwMaxValue = 0;
        RegQueryInfoKeyA(hKey, NULL, NULL, NULL, &dwSubKeys, &dwMaxSubKey, NULL, NULL, NULL, &dwMaxValue, NULL, NULL);
        WriteLogF(1, "FindZorelData: Found %d entries in registry", (int)dwSubKeys);
        gpZorelData = (char**)calloc(dwSubKeys + 1, sizeof(char*));
        gpDataValid = (BYTE*)calloc(dwSubKeys + 1, 1);
        char szName[256];
        for (DWORD i = 0; gpZorelData; ++i) {
            DWORD cchName = sizeof(szName);
            if (RegEnumKeyExA(hKey, i, szName, &cchName, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            WriteLogF(1, "FindZorelData: Found a partition called [%s]", szName);
            if (strcmp(szName, "5.0") == 0)
                continue;
            HKEY hPart = NULL;
            if (RegOpenKeyExA(hKey, szName, 0, KEY_READ | KEY_WOW64_64KEY, &hPart) != ERROR_SUCCESS)
                continue;
            WriteLog("FindZorelData: Looking for 'DataPath' in key", 1);
            /* Read the whole value, whatever the product key's longest value is. */
            char szData[PATH_BUFFER];
            /* An empty value names no directory: it counts as missing. */
            if (count < (int)dwSubKeys && ReadStringValue(hPart, "DataPath", szData, sizeof(szData)) && szData[0]) {
                gpZorelData[count] = NewDataEntry(UpperCase(szData));
                WriteLogF(1, "FindZorelData: Found 'DataPath' [%s]", gpZorelData[count]);
                ++count;
                bFound = TRUE;
            } else {
                WriteLog("FindZorelData: Failed to find 'DataPath' in key", 1);
            }
            RegCloseKey(hPart);
        }
        RegCloseKey(hKey);
        giPartitions = count;
    }

    if (!bFound) {
        if (StrIs(STRR_HOTFIX, zfix::FIXKIND_TDX)) {
            if (!gpZorelData)
                gpZorelData = (char**)calloc(2, sizeof(char*));
            if (gpZorelData) {
                free(gpZorelData[0]);
                gpZorelData[0] = NewDataEntry(gpProgramDir ? gpProgramDir : "");
            }
            return TRUE;
        }
        WriteLog(Str(STRR_HOTFIX), 0);
        if (!gpZorelData)
            gpZorelData = (char**)calloc(2, sizeof(char*));
        if (!gpDataValid)
            gpDataValid = (BYTE*)calloc(2, 1);
        if (!gpZorelData)
            return FALSE;
        char szIni[PATH_BUFFER], szValue[PATH_BUFFER];
        /* An empty Directory= reads as a missing one. */
        const char* missing = "DEFAULT";
        if (!SearchOnPath("ZOREL.INI", szIni, sizeof(szIni))) {
            char szWin[PATH_BUFFER] = "";
            GetWindowsDirectoryA(szWin, sizeof(szWin));
            JoinPath(szIni, sizeof(szIni), szWin, "ZOREL.INI");
            missing = "NULL";
        }
        int read = ReadProfileString("Zorel", "Directory", szValue, sizeof(szValue), szIni);
        if (strlen(szValue) >= sizeof(szValue) - 1) {
            char szText[2 * PATH_BUFFER];
            FormatText(szText, sizeof(szText), "The data directory in %s is too long.", szIni);
            PathFailure(szText);
        }
        if (read != PROFILE_VALUE)
            CopyText(szValue, sizeof(szValue), missing);
        free(gpZorelData[0]);
        gpZorelData[0] = NewDataEntry(UpperCase(szValue));
        giPartitions = 1;
        bFound = TRUE;
    }

    WriteLog("FindZorelData: Looping through partitions", 1);
    for (int i = 0; i < giPartitions; ++i) {
        if (gpZorelData[i] && *gpZorelData[i]) {
            WriteLogF(1, "FindZorelData: Looking at [%s]", gpZorelData[i]);
            RemoveTrailingBackslash(gpZorelData[i]);
        }
    }
    if (gpZorelData[0] && strcmp(gpZorelData[0], "NULL") == 0) {
        if (gpProgramDir)
            CopyText(gpProgramDir, PATH_BUFFER, DEFAULT_PROGRAM_DIR);
        giPartitions = 1;
        bFound = FALSE;
    }
    return bFound;
}

BOOL FindSystem(void)
{
    gpSystemDir = (char*)calloc(PATH_BUFFER + 1, 1);
    if (gpSystemDir)
        GetSystemDirectoryA(gpSystemDir, PATH_BUFFER);
    return TRUE;
}

BOOL CheckZorelProgramDir(void)
{
    WriteLog("CheckZorelProgramDir: Starting", 1);
    if (!gpProgramDir || StrIs(STRR_HOTFIX, zfix::FIXKIND_CUSTOM))
        return TRUE;
    char szPath[PATH_BUFFER];
    JoinPath(szPath, sizeof(szPath), gpProgramDir, Str(STR_STRINGS_LIB));
    WriteLog(szPath, 1);
    if (!DoesFileExist(szPath)) {
        WriteLog("CheckZorelProgramDir: ERROR: Checksum file above does NOT exist", 0);
        return FALSE;
    }
    WriteLog("CheckZorelProgramDir: Checksum file above DOES exist", 1);
    return TRUE;
}

BOOL CheckPatchFile(void)
{
    if (!gpProgramDir)
        return TRUE;
    char szPath[PATH_BUFFER];
    JoinPath(szPath, sizeof(szPath), gpProgramDir, "PATCH.INI");
    return DoesFileExist(szPath);
}
