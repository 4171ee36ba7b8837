#include "installer/release_string.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"

#include <string>

BOOL UpdateTessra64(const char* lpLabel)
{
    WriteLogF(1, "UpdateTessra64: Updating %s\\%s", gpProgramDir, "tessra.dll");
    SetCurrentDirectoryA(gszStartDir);
    char szStart[PATH_BUFFER + 4];
    FormatText(szStart, sizeof(szStart), "%s \"", gszUpdateVersionPath);
    std::string command = std::string(szStart) + gpProgramDir + "\" \"" + lpLabel + "\"" + " write ";
    WriteLogF(1, "UpdateTessra64: Calling CreateProcess with %s", command.c_str());

    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    ZeroMemory(&pi, sizeof(pi));
    std::string buffer = command;
    if (!CreateProcessA(NULL, &buffer[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi)) {
        DWORD dwError = GetLastError();
        WriteLog(command.c_str(), 0);
        WriteLogF(0, "UpdateTessra64: Failed to upgrade tessra.dll version: %d", (int)dwError);
        return FALSE;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    WriteLogF(0, "UpdateTessra64:  Upgraded version to %s", lpLabel);
    SetCurrentDirectoryA(gpProgramDir);
    return TRUE;
}
