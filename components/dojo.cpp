/* The script library: one version directory "dojo-<version>" below each data directory's
   halvex\js and halvex\template, replaced together. */
#include "components/components.h"

#include "components/cabinet_tool.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

/* The version directory's name is held in 21 bytes. */
const size_t kVersionLimit = 21;
/* The pack command's pattern list is held in about a thousand characters. */
const size_t kPatternLimit = 1000;

/* The version directory V from "...\dojo-V\...": 0, or error 1 (no "dojo-"), 2 (no '\' after
   it), 3 (the name does not fit). */
int DojoVersion(const char* lpFileName, std::string* version)
{
    const char* start = strstr(lpFileName, "dojo-");
    if (!start)
        return 1;
    const char* end = strchr(start, '\\');
    if (!end)
        return 2;
    if ((size_t)(end - start) >= kVersionLimit)
        return 3;
    version->assign(start, (size_t)(end - start));
    return 0;
}

/* The names of the "dojo-*" entries of a directory. */
std::vector<std::string> DojoEntries(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(JoinedPath(dir, "dojo-*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (strcmp(fd.cFileName, ".") != 0 && strcmp(fd.cFileName, "..") != 0)
            names.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

BOOL DeleteVersions(const std::string& dir)
{
    for (const std::string& name : DojoEntries(dir)) {
        std::string path = JoinedPath(dir, name.c_str());
        if (!RemoveTreeIfPresent(path)) {
            WriteLogF(0, "Failed deleting %s (%ld)", path.c_str(), (long)GetLastError());
            return FALSE;
        }
    }
    return TRUE;
}

int UpgradeDojo(const std::string& data, const std::string& version, const char* lpFileName, const char* lpTempName,
                const char* lpBackName)
{
    const std::string js = JoinedPath(data, "halvex\\js"), tpl = JoinedPath(data, "halvex\\template");
    std::string patterns;
    BOOL bNothing = TRUE;
    for (const char* dir : {"halvex\\js\\", "halvex\\template\\"}) {
        const std::string parent = JoinedPath(data, dir);
        for (const std::string& name : DojoEntries(parent)) {
            patterns += dir + name + "\\* ";
            bNothing = bNothing && NothingToBackUp(parent + name);
        }
    }
    if (patterns.size() > kPatternLimit) {
        WriteLog("Too many previous dojo versions to be backed up.", 0);
        return 0;
    }

    const std::string back = ProgramPath(lpBackName);
    DWORD dwCode = 0;
    if (bNothing) {
        /* No earlier version with a file: nothing to back up, which is no reason to leave the new
           version out. */
        if (!WriteNoTreeBackup("ProcessDojo", js, back, &dwCode)) {
            WriteLogF(0, "Failed Backing up %s to %s (%ld)", lpFileName, lpBackName, (long)dwCode);
            return 0;
        }
    } else {
        std::string command = PackCommand(back, patterns);
        WriteLog(command.c_str(), 2);
        if (!EnterTree("ProcessDojo", data))
            return 0;
        WriteLogF(2, "ProcessDojo: Calling CreateProcess with %s", command.c_str());
        if (!PackedBackup(command, back, &dwCode)) {
            WriteLogF(0, "Failed Backing up %s to %s (%ld)", lpFileName, lpBackName, (long)dwCode);
            return 0;
        }
    }
    WriteLogF(2, "Backed up %s to %s", lpFileName, lpBackName);

    if (!DeleteVersions(js) || !DeleteVersions(tpl))
        return 0;

    const std::string target = JoinedPath(js, version.c_str());
    if (!MakeTreeDirectory("ProcessDojo", target) || !MakeTreeDirectory("ProcessDojo", tpl) ||
        !EnterTree("ProcessDojo", target))
        return 0;
    const std::string archive = ProgramPath(lpTempName);
    std::string command = UnpackCommand(archive, target);
    WriteLog(command.c_str(), 2);
    WriteLogF(2, "ProcessDojo: Calling CreateProcess with %s", command.c_str());
    if (!RunCabinetTool(command, &dwCode)) {
        WriteLogF(0, "Failed extracting from %s to %s (%ld)", archive.c_str(), target.c_str(), (long)dwCode);
        return 0;
    }
    if (dwCode != 0) {
        WriteLogF(0, "Failed extracting %s(%ld)", archive.c_str(), (long)dwCode);
        return 0;
    }

    /* The version's templates travel inside its cabinet and belong below halvex\template. */
    const std::string from = JoinedPath(target, "template"), to = JoinedPath(tpl, version.c_str());
    SetCurrentDirectoryA(data.c_str());
    if (!MoveFileA(from.c_str(), to.c_str())) {
        WriteLogF(0, "Failed to move %s to %s (%ld)", from.c_str(), to.c_str(), (long)GetLastError());
        return 0;
    }
    WriteLogF(2, "Moved %s to %s", from.c_str(), to.c_str());
    return 1;
}

int RevertDojo(const std::string& data, const std::string& version, const char* lpTempName)
{
    for (const char* dir : {"halvex\\js", "halvex\\template"}) {
        std::string path = JoinedPath(JoinedPath(data, dir), version.c_str());
        if (!RemoveTreeIfPresent(path)) {
            WriteLogF(0, "Failed deleting %s (%ld)", path.c_str(), (long)GetLastError());
            return 0;
        }
    }
    const std::string archive = ProgramPath(lpTempName);
    if (IsNoTreeBackup(archive)) {
        WriteLogF(2, "ProcessDojo: The backup copy %s is empty: there was no earlier version before the fix",
                  archive.c_str());
        return 1;
    }
    /* The backup holds halvex\js\... and halvex\template\... relative to the data directory. */
    if (!EnterTree("ProcessDojo", data))
        return 0;
    std::string command = UnpackInPlaceCommand(archive);
    WriteLog(command.c_str(), 2);
    WriteLogF(2, "ProcessDojo: Calling CreateProcess with %s", command.c_str());
    DWORD dwCode = 0;
    if (!RunCabinetTool(command, &dwCode) || dwCode != 0) {
        WriteLogF(0, "Failed extracting %s(%ld)", archive.c_str(), (long)dwCode);
        return 0;
    }
    return 1;
}

}  // namespace

int ProcessDojo(const char* lpDataDir, const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    ProgramDirAgain programDirAgain;
    std::string version;
    int error = DojoVersion(lpFileName, &version);
    if (error) {
        WriteLogF(0, "Failed to parse dojo version from the dojo cab file name %s, error %d", lpFileName, error);
        return 0;
    }
    WriteLogF(2, "Parsed dojo version '%s' from '%s'", version.c_str(), lpFileName);
    if (UpdaterUpgrades())
        return UpgradeDojo(lpDataDir, version, lpFileName, lpTempName, lpBackName);
    return RevertDojo(lpDataDir, version, lpTempName);
}
