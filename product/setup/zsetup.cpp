/* zsetup: lays a sample installation of the product onto this machine (or Wine prefix), or
   takes its registry keys away again.

   zsetup install ROOT [options]   program directory ROOT\PROGRAM, data directories
                                   ROOT\DATA1..N with a ZOREL.INI each, registry keys
   zsetup remove                   deletes the product's registry keys and the Windows
                                   directory's ZOREL.INI

   install options:
     --key qvt|vorin|both|palvaron|none  which product key holds "Path" (default qvt)
     --vorin-path DIR        the former brand's "Path" when it differs (with --key both)
     --partitions N          number of partition subkeys with "DataPath" (default 1)
     --data-name NAME        data directories are ROOT\NAME1..N (default DATA)
     --no-datapath I         partition I (1-based) gets no "DataPath"
     --only-50               the product key has only the "5.0" subkey (no partition)
     --windows-ini           also write ZOREL.INI with [Zorel] Directory into the Windows directory
     --trailing-backslash    write "Path" and "DataPath" with a trailing backslash
     --files DIR             take the product files from DIR (default: ..\product beside zsetup.exe)
     --data-files DIR        copy DIR into every data directory (default: ..\product-data beside
                             zsetup.exe, when it exists): the script library and the editor
     --no-hotfix-dir         leave out the program directory's "hotfix" folder
     --without FILE          leave out one product file (may be repeated)
   Product files are copied as they are; the registry is written in the 64-bit view. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

static const char* const kProductKeys[] = {"Software\\QVT\\Halvex", "Software\\Vorin\\Halvex",
                                           "Software\\Vorin\\Palvaron Mux"};
static const char kStatKey[] = "SYSTEM\\CurrentControlSet\\Services\\zorelstat";

static bool SetValue(const std::string& key, const char* name, const std::string& value)
{
    HKEY hKey;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, NULL, 0, KEY_WRITE | KEY_WOW64_64KEY, NULL, &hKey, NULL) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = ERROR_SUCCESS;
    if (name)
        rc = RegSetValueExA(hKey, name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1);
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS;
}

static void DeleteTreeKey(const char* key)
{
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return;
    char name[256];
    DWORD cch = sizeof(name);
    while (RegEnumKeyExA(hKey, 0, name, &cch, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
        std::string sub = std::string(key) + "\\" + name;
        DeleteTreeKey(sub.c_str());
        cch = sizeof(name);
    }
    RegCloseKey(hKey);
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key, KEY_WOW64_64KEY, 0);
}

static bool CopyTree(const std::string& from, const std::string& to, const std::set<std::string>& without)
{
    CreateDirectoryA(to.c_str(), NULL);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((from + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == ".." || without.count(name))
            continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ok = CopyTree(from + "\\" + name, to + "\\" + name, without) && ok;
        else
            ok = CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE) && ok;
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return ok;
}

static bool WriteIni(const std::string& path, const std::string& directory)
{
    return WritePrivateProfileStringA("Zorel", "Directory", directory.c_str(), path.c_str()) != FALSE;
}

static int Usage()
{
    fprintf(stderr, "usage: zsetup install ROOT [options] | zsetup remove\n");
    return 2;
}

static int Remove()
{
    for (const char* key : kProductKeys)
        DeleteTreeKey(key);
    DeleteTreeKey(kStatKey);
    char windir[MAX_PATH];
    GetWindowsDirectoryA(windir, sizeof(windir));
    DeleteFileA((std::string(windir) + "\\ZOREL.INI").c_str());
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return Usage();
    if (!strcmp(argv[1], "remove"))
        return Remove();
    if (strcmp(argv[1], "install") != 0 || argc < 3)
        return Usage();

    char full[MAX_PATH];
    if (!GetFullPathNameA(argv[2], sizeof(full), full, NULL))
        return Usage();
    std::string root = full;
    if (!root.empty() && root.back() == '\\')
        root.pop_back();

    std::string key = "qvt", vorinPath, files, dataFiles, dataName = "DATA";
    int partitions = 1, noDataPath = 0;
    bool only50 = false, windowsIni = false, backslash = false, hotfixDir = true;
    std::set<std::string> without;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--key" && more) key = argv[++i];
        else if (a == "--vorin-path" && more) vorinPath = argv[++i];
        else if (a == "--partitions" && more) partitions = atoi(argv[++i]);
        else if (a == "--no-datapath" && more) noDataPath = atoi(argv[++i]);
        else if (a == "--data-name" && more) dataName = argv[++i];
        else if (a == "--only-50") only50 = true;
        else if (a == "--windows-ini") windowsIni = true;
        else if (a == "--trailing-backslash") backslash = true;
        else if (a == "--files" && more) files = argv[++i];
        else if (a == "--data-files" && more) dataFiles = argv[++i];
        else if (a == "--no-hotfix-dir") hotfixDir = false;
        else if (a == "--without" && more) without.insert(argv[++i]);
        else return Usage();
    }
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof(self));
    char* slash = strrchr(self, '\\');
    if (slash)
        *slash = '\0';
    if (files.empty())
        files = std::string(self) + "\\..\\product";
    if (dataFiles.empty() && GetFileAttributesA((std::string(self) + "\\..\\product-data").c_str()) != INVALID_FILE_ATTRIBUTES)
        dataFiles = std::string(self) + "\\..\\product-data";

    Remove();
    std::string program = root + "\\PROGRAM";
    CreateDirectoryA(root.c_str(), NULL);
    if (!CopyTree(files, program, without)) {
        fprintf(stderr, "zsetup: cannot copy the product files from %s\n", files.c_str());
        return 1;
    }
    if (hotfixDir)
        CreateDirectoryA((program + "\\hotfix").c_str(), NULL);

    std::string tail = backslash ? "\\" : "";
    std::vector<std::string> data;
    for (int i = 1; i <= (partitions > 0 ? partitions : 1); ++i) {
        std::string dir = root + "\\" + dataName + std::to_string(i);
        CreateDirectoryA(dir.c_str(), NULL);
        WriteIni(dir + "\\ZOREL.INI", dir);
        if (!dataFiles.empty() && !CopyTree(dataFiles, dir, without)) {
            fprintf(stderr, "zsetup: cannot copy the data files from %s\n", dataFiles.c_str());
            return 1;
        }
        data.push_back(dir);
    }

    std::vector<std::string> keys;
    if (key == "qvt" || key == "both") keys.push_back(kProductKeys[0]);
    if (key == "vorin" || key == "both") keys.push_back(kProductKeys[1]);
    for (const std::string& k : keys) {
        std::string path = (k == kProductKeys[1] && !vorinPath.empty()) ? vorinPath : program + tail;
        if (!SetValue(k, "Path", path) || !SetValue(k + "\\5.0", NULL, ""))
            return 1;
        if (only50)
            continue;
        for (int i = 1; i <= partitions; ++i) {
            std::string sub = k + "\\PARTITION" + std::to_string(i);
            if (!(i == noDataPath ? SetValue(sub, NULL, "") : SetValue(sub, "DataPath", data[i - 1] + tail)))
                return 1;
        }
    }
    if (key == "palvaron" && !SetValue(kProductKeys[2], "Path", program + tail))
        return 1;
    if (windowsIni) {
        char windir[MAX_PATH];
        GetWindowsDirectoryA(windir, sizeof(windir));
        WriteIni(std::string(windir) + "\\ZOREL.INI", data[0]);
    }
    printf("%s\n", program.c_str());
    return 0;
}
