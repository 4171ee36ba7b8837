/* Starting a tool that the fix carries (the release-string tool, the cabinet tool) and waiting
   for it. */
#ifndef ZFIX_CARRIED_TOOL_H
#define ZFIX_CARRIED_TOOL_H

#include <windows.h>

/* Runs lpTool with the command line lpCommand (which names the tool itself first), without a
   window, and waits for it without a time limit. TRUE with the tool's exit code in *pdwResult;
   FALSE with the system error in *pdwResult when it cannot be started. */
BOOL RunCarriedTool(const char* lpTool, const char* lpCommand, DWORD* pdwResult);

#endif
