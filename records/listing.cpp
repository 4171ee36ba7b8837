#include "records/listing.h"

#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/text.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* Reads the labels of the installed-fix registry; a web-access add-on fix collects those that
   are not the current release. NULL, or the text of a failed read (logged), which the caller
   frees. */
char* ReadPatchInfo(void)
{
    static const char* const sections[] = {"FIXPACKS", "HOTFIXES"};
    char szRegistry[PATH_BUFFER];
    JoinPath(szRegistry, sizeof(szRegistry), gpProgramDir ? gpProgramDir : "", gszPatchIniName);
    for (const char* section : sections) {
        char szSection[16];
        if (GetPrivateProfileSectionA(section, szSection, sizeof(szSection), szRegistry) == 0)
            continue;
        for (int n = 1;; ++n) {
            char szKey[16], szLabel[LABEL_BUFFER + 1];
            FormatText(szKey, sizeof(szKey), "Label%03d", n);
            DWORD len = GetPrivateProfileStringA(section, szKey, "DEFAULT", szLabel, sizeof(szLabel), szRegistry);
            if (strcmp(szLabel, "DEFAULT") == 0)
                break;
            if (len == 0) {
                char szText[PATH_BUFFER + 128];
                FormatText(szText, sizeof(szText), "Getting profile string for %s, section %s in %s: error: %d", szKey,
                           section, szRegistry, (int)GetLastError());
                WriteLog(szText, 0);
                return _strdup(szText);
            }
            if (StrIs(STRR_HOTFIX, zfix::FIXKIND_RQA) && strncmp(canCurrentVersion, szLabel, strlen(szLabel)) != 0) {
                AddFixLabel(szLabel);
                WriteLogF(1, "ReadPatchInfo: Added label %s", gpcanFixLabels[giFixLabels - 1]);
            }
        }
    }
    return NULL;
}

char* ReadListingFile(const char* lpPath)
{
    FILE* f = fopen(lpPath, "rb");
    if (!f) {
        char szMsg[PATH_BUFFER + 16];
        FormatText(szMsg, sizeof(szMsg), "Can't open %s", lpPath);
        MessageBoxA(NULL, szMsg, "Error", MB_OK);
        return NULL;
    }
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    rewind(f);
    if (size <= 0) {
        fclose(f);
        return NULL;
    }
    char* text = (char*)calloc((size_t)size + 1, 1);
    if (text)
        fread(text, 1, (size_t)size, f);
    fclose(f);
    if (text && text[0] == '\0') {
        free(text);
        char szText[256];
        FormatText(szText, sizeof(szText), "No patches installed.\n %s", canCurrentVersion);
        text = _strdup(szText);
    }
    return text;
}
