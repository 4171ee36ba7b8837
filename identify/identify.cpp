#include "identify/identify.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"
#include "package/fix_record.h"

#include <string.h>

/* Identification arrives with the fix description reader; until then no release is recognised. */
char** gpcanFixLabels = NULL;
int giFixLabels = 0;

int IdentifyZorelVersion(char* lpOut1, char* lpOut2)
{
    WriteLogF(0, "IdentifyZorelVersion: %s", "Starting");
    lpOut1[0] = lpOut2[0] = '\0';
    return INV_UNKNOWN;
}

int VerifyZorelVersion(void)
{
    return 0;
}

char* LabelDirName(const char* lpLabel, char* lpOut)
{
    return zfix::LabelDirName(lpLabel, lpOut, Str(STRR_HOTFIX));
}
