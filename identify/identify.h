/* Release identification, verification and the revertible labels, as the wizard calls them. */
#ifndef ZFIX_IDENTIFY_H
#define ZFIX_IDENTIFY_H

#include <windows.h>

#define INV_NORECORD 0
#define INV_UNKNOWN  1
#define INV_UPGRADE  2
#define INV_REVERT   3
#define INV_NOSPACE  5

#define VERIFY_OK    2

extern char** gpcanFixLabels;
extern int giFixLabels;

int IdentifyZorelVersion(char* lpOut1, char* lpOut2);
int VerifyZorelVersion(void);
char* LabelDirName(const char* lpLabel, char* lpOut);

#endif
