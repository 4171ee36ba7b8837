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
