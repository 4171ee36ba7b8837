#include "installer/release_string.h"

#include "installer/carried_tool.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/text.h"
#include "package/names.h"

#include <string>

BOOL UpdateTessra64(const char* lpLabel)
{
    WriteLogF(1, "UpdateTessra64: Updating %s\\%s", gpProgramDir, "tessra.dll");
    /* The label is one quoted word of the tool's command line: a '"' in it would add words. */
    if (!zfix::IsQuotableText(lpLabel)) {
        WriteLogF(0, "UpdateTessra64: ERROR: the label %s holds a '\"' and cannot be handed to %s", lpLabel,
                  gszUpdateVersionPath);
        return FALSE;
    }
    SetCurrentDirectoryA(gszStartDir);
    std::string command = std::string(gszUpdateVersionPath) + " " + zfix::QuotedDirectory(gpProgramDir) + " \"" + lpLabel +
                          "\"" + " write ";
    WriteLogF(1, "UpdateTessra64: Calling CreateProcess with %s", command.c_str());

    DWORD dwResult = 0;
    if (!RunCarriedTool(gszUpdateVersionPath, command.c_str(), &dwResult)) {
        WriteLog(command.c_str(), 0);
        WriteLogF(0, "UpdateTessra64: Failed to upgrade tessra.dll version: %d", (int)dwResult);
        return FALSE;
    }
    /* The tool ends with 0 once the library carries the label; a run that could not write it
       must not be reported as done, or the installed release would read as the old one. */
    if (dwResult != 0) {
        WriteLogF(0, "UpdateTessra64: ERROR: %s ended with exit code %d: the release text is not written",
                  gszUpdateVersionPath, (int)dwResult);
        EnterProgramDirectory();
        return FALSE;
    }
    WriteLogF(0, "UpdateTessra64:  Upgraded version to %s", lpLabel);
    EnterProgramDirectory();
    return TRUE;
}
