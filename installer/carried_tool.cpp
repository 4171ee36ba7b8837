#include "installer/carried_tool.h"

#include <string>

BOOL RunCarriedTool(const char* lpTool, const char* lpCommand, DWORD* pdwResult)
{
    if (!lpTool[0]) {
        *pdwResult = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    ZeroMemory(&pi, sizeof(pi));
    std::string line = lpCommand;
    /* The tool's own path is the program started: the command lines hold it unquoted, and a
       blank in it would otherwise start whatever stands at its first word. */
    if (!CreateProcessA(lpTool, &line[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL, &si, &pi)) {
        *pdwResult = GetLastError();
        return FALSE;
    }
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD dwExit = 1;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    *pdwResult = dwExit;
    return TRUE;
}
