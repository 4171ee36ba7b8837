#include "records/listing.h"

#include "installer/globals.h"
#include "installer/text.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* The installed-fix registry reader arrives with the fix records; until then nothing is listed. */
char* ReadPatchInfo(void)
{
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
