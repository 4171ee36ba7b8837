#include "installer/cmdline.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "installer/paths.h"

#include "package/names.h"

#include <stdlib.h>
#include <string.h>

static const char kSeparators[] = "-/ ";

/* Adds one word to the revert label; the label is never longer than its buffer. */
static BOOL AppendLabelWord(char* word)
{
    if (*word == '"')
        ++word;
    size_t len = strlen(word);
    if (len > 0 && word[len - 1] == '"')
        word[--len] = '\0';
    size_t used = strlen(gszRevertLabel);
    size_t need = used + (used ? 1 : 0) + len;
    if (need >= sizeof(gszRevertLabel)) {
        WriteLogF(0, "ParseCommandLine: ERROR: the revert label is longer than %d characters",
                  (int)sizeof(gszRevertLabel) - 1);
        return FALSE;
    }
    if (used)
        AppendText(gszRevertLabel, sizeof(gszRevertLabel), " ");
    AppendText(gszRevertLabel, sizeof(gszRevertLabel), word);
    return TRUE;
}

/* A local extraction that fails ends the run with exit code 1. */
static void Extract(const char* lpDir)
{
    if (!ExtractLocally(lpDir))
        exit(1);
}

static void ExtractTo(const char* word)
{
    char szDir[PATH_BUFFER];
    /* "C:" alone is the drive's current directory; a bare drive means its root. */
    BOOL bFits = zfix::IsBareDrive(word) ? BuildPath(szDir, sizeof(szDir), "%s\\", word)
                                         : CopyWhole(szDir, sizeof(szDir), word);
    if (!bFits || !IsDirectory(szDir)) {
        char szMsg[PATH_BUFFER + 80];
        FormatText(szMsg, sizeof(szMsg), "ParseCommandLine: ERROR: %s is not a valid path: extracting locally", word);
        MessageBoxA(NULL, szMsg, "Error", MB_OK | MB_ICONERROR);
        CopyText(szDir, sizeof(szDir), ".");
    }
    Extract(szDir);
}

BOOL ParseCommandLine(char* lpCmdLine)
{
    BOOL bResult = TRUE;
    BOOL bLabelMode = FALSE;
    gszRevertLabel[0] = '\0';
    if (!lpCmdLine)
        return TRUE;

    for (char* word = strtok(lpCmdLine, kSeparators); word; word = strtok(NULL, kSeparators)) {
        if (_stricmp(word, "extract") == 0) {
            gwOptions = OPTIONS_EXTRACT;
            continue;
        }
        if (gwOptions == OPTIONS_EXTRACT) {
            ExtractTo(word);
            return TRUE;
        }
        if (_stricmp(word, "contents") == 0) {
            gwOptions = OPTIONS_CONTENTS | OPTIONS_NOUSER;
            bLabelMode = FALSE;
        } else if (_stricmp(word, "listfix") == 0) {
            gwOptions = OPTIONS_LISTFIX | OPTIONS_NOUSER;
            bLabelMode = FALSE;
        } else if (_stricmp(word, "fixdetails") == 0) {
            gwOptions = OPTIONS_FIXDETAILS | OPTIONS_NOUSER;
            bLabelMode = FALSE;
        } else if (_stricmp(word, "nouser") == 0) {
            gwOptions |= OPTIONS_NOUSER;
            bLabelMode = FALSE;
        } else if (_stricmp(word, "force") == 0) {
            gwOptions |= OPTIONS_FORCE;
            bLabelMode = FALSE;
        } else if (_stricmp(word, "revert") == 0) {
            gwOptions |= OPTIONS_REVERT;
            bLabelMode = TRUE;
        } else if (bLabelMode) {
            WriteLogF(0, "Assuming %s is a part of a label", word);
            if (!AppendLabelWord(word))
                bResult = FALSE;
        } else {
            WriteLogF(0, "Not recognised string: %s", word);
            bResult = FALSE;
        }
    }
    if (gwOptions == OPTIONS_EXTRACT) {
        Extract(".");
        return TRUE;
    }
    return bResult;
}
