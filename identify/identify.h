/* Release identification, verification and the revertible labels, as the wizard calls them. */
#ifndef ZFIX_IDENTIFY_H
#define ZFIX_IDENTIFY_H

#include <windows.h>

#include "installer/fix_labels.h"
#include "package/fix_record.h"

#define INV_NORECORD 0
#define INV_UNKNOWN  1
#define INV_UPGRADE  2
#define INV_REVERT   3
#define INV_NOSPACE  5

#define VERIFY_OK    2

/* Where the disk space ran short (the program directory or a data directory). */
extern char gszSpaceLocation[];
/* The check-file table, built from the checksum table by VerifyValidLabels. */
extern zfix::PCHECKFILE* gpCheckFileTable;

int IdentifyZorelVersion(char* lpOut1, char* lpOut2);
int DetermineMode(const zfix::FIXRECORD& record, DWORD dwStringsChecksum, const char* oldLabel, char* newLabel,
                  DWORD dwNumFiles);
DWORD GetFreeSpaceKB(const char* lpPath);

int VerifyZorelVersion(void);
/* Compares the installed files the fix patches with their checksums before the fix. */
int VerifyFiles(const zfix::FIXRECORD& record, DWORD count);

int VerifyValidLabels(const zfix::FIXRECORD& record, const char* newLabel, DWORD dwNumFiles);
int FoundBackup(DWORD dwNew);

#endif
