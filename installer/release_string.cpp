#include "installer/release_string.h"

#include "installer/carried_tool.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
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

    DWORD dwResult = 0;
    if (!RunCarriedTool(gszUpdateVersionPath, command.c_str(), &dwResult)) {
        WriteLog(command.c_str(), 0);
        WriteLogF(0, "UpdateTessra64: Failed to upgrade tessra.dll version: %d", (int)dwResult);
        return FALSE;
    }
    WriteLogF(0, "UpdateTessra64:  Upgraded version to %s", lpLabel);
    EnterProgramDirectory();
    return TRUE;
}
