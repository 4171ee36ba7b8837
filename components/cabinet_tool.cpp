#include "components/cabinet_tool.h"

#include "installer/carried_tool.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/file_copy.h"
#include "installer/memory_blocks.h"
#include "installer/paths.h"

#include <string.h>

ProgramDirAgain::~ProgramDirAgain()
{
    if (gpProgramDir)
        EnterProgramDirectory();
}

BOOL UpdaterUpgrades(void) { return giMode == MODE_UPGRADE || giMode == MODE_FAILED; }

BOOL IsAbsolutePath(const char* lpPath)
{
    return lpPath[0] == '\\' || lpPath[0] == '/' || (lpPath[0] && lpPath[1] == ':');
}

std::string JoinedPath(const std::string& dir, const char* lpName)
{
    if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/'))
        return dir + lpName;
    return dir + "\\" + lpName;
}

std::string ProgramPath(const char* lpName)
{
    if (IsAbsolutePath(lpName) || !gpProgramDir)
        return lpName;
    return JoinedPath(gpProgramDir, lpName);
}

std::string PackCommand(const std::string& cabinet, const std::string& patterns)
{
    return "\"" + std::string(gszCabarcPath) + "\" -r -p n \"" + cabinet + "\" " + patterns;
}

std::string UnpackCommand(const std::string& archive, const std::string& destination)
{
    return "\"" + std::string(gszCabarcPath) + "\" -p -o x \"" + archive + "\" * \"" + destination + "\\\"";
}

std::string UnpackInPlaceCommand(const std::string& archive)
{
    return "\"" + std::string(gszCabarcPath) + "\" -p -o x \"" + archive + "\"";
}

BOOL RunCabinetTool(const std::string& command, DWORD* pdwCode)
{
    return RunCarriedTool(gszCabarcPath, command.c_str(), pdwCode);
}

/* The last-write time of a file; FALSE when there is none. */
static BOOL WriteTimeOf(const std::string& path, FILETIME* pTime)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return FALSE;
    *pTime = data.ftLastWriteTime;
    return TRUE;
}

BOOL PackedBackup(const std::string& command, const std::string& cabinet, DWORD* pdwCode)
{
    /* A cabinet left by an earlier run must not pass for the one this pack writes. */
    FILETIME before, after;
    BOOL bBefore = WriteTimeOf(cabinet, &before);
    if (!RunCabinetTool(command, pdwCode) || *pdwCode != 0)
        return FALSE;
    if (!WriteTimeOf(cabinet, &after) || (bBefore && CompareFileTime(&before, &after) == 0)) {
        *pdwCode = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveTreeIfPresent(const std::string& dir)
{
    if (GetFileAttributesA(dir.c_str()) == INVALID_FILE_ATTRIBUTES)
        return TRUE;
    return DeleteTree(dir.c_str());
}

BOOL TreeHasFiles(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(JoinedPath(dir, "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL bFiles = FALSE;
    do {
        if (strcmp(fd.cFileName, ".") == 0 || strcmp(fd.cFileName, "..") == 0)
            continue;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            bFiles = TRUE;
        else if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            bFiles = TreeHasFiles(JoinedPath(dir, fd.cFileName));
    } while (!bFiles && FindNextFileA(h, &fd));
    FindClose(h);
    return bFiles;
}

BOOL NothingToBackUp(const std::string& tree)
{
    DWORD dwAttributes = GetFileAttributesA(tree.c_str());
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    return (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) && !TreeHasFiles(tree);
}

BOOL WriteNoTreeBackup(const char* lpUpdater, const std::string& tree, const std::string& back, DWORD* pdwCode)
{
    /* A tree that an earlier attempt backed up and then lost (a stopped or failed unpack) is no
       tree that never was: that attempt's backup is the release's tree and is kept. */
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(back.c_str(), GetFileExInfoStandard, &data) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0)) {
        WriteLogF(2, "%s: No file to back up below %s; the backup copy %s of an earlier attempt is kept", lpUpdater,
                  tree.c_str(), back.c_str());
        *pdwCode = 0;
        return TRUE;
    }
    WriteLogF(2, "%s: No file to back up below %s; the empty backup copy %s stands for no tree", lpUpdater, tree.c_str(),
              back.c_str());
    HANDLE h = CreateFileA(back.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        *pdwCode = GetLastError();
        return FALSE;
    }
    CloseHandle(h);
    *pdwCode = 0;
    return TRUE;
}

BOOL IsNoTreeBackup(const std::string& archive)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(archive.c_str(), GetFileExInfoStandard, &data) &&
           !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
}

int RemoveTreeThatWasNot(const char* lpUpdater, const std::string& tree, const std::string& archive)
{
    WriteLogF(2, "%s: The backup copy %s is empty: there was no tree before the fix", lpUpdater, archive.c_str());
    if (!RemoveTreeIfPresent(tree)) {
        WriteLogF(0, "%s: Failed deleting %s (%ld)", lpUpdater, tree.c_str(), (long)GetLastError());
        return 0;
    }
    WriteLogF(1, "%s: Removed %s", lpUpdater, tree.c_str());
    return 1;
}

BOOL MakeTreeDirectory(const char* lpUpdater, const std::string& dir)
{
    for (size_t i = dir.find_first_of("\\/", 3); i != std::string::npos; i = dir.find_first_of("\\/", i + 1))
        CreateDirectoryA(dir.substr(0, i).c_str(), NULL);
    DWORD dwError = CreateDirectoryA(dir.c_str(), NULL) ? 0 : GetLastError();
    if (IsDirectory(dir.c_str()))
        return TRUE;
    WriteLogF(0, "%s: Failed creating %s (%ld)", lpUpdater, dir.c_str(), (long)dwError);
    return FALSE;
}

BOOL EnterTree(const char* lpUpdater, const std::string& dir)
{
    if (SetCurrentDirectoryA(dir.c_str()))
        return TRUE;
    WriteLogF(0, "%s: Failed entering %s (%ld)", lpUpdater, dir.c_str(), (long)GetLastError());
    return FALSE;
}
