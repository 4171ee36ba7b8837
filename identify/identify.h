/* Release identification, verification and the revertible labels, as the wizard calls them. */
#ifndef ZFIX_IDENTIFY_H
#define ZFIX_IDENTIFY_H

#include <windows.h>

#include "package/fix_record.h"

#define INV_NORECORD 0
#define INV_UNKNOWN  1
#define INV_UPGRADE  2
#define INV_REVERT   3
#define INV_NOSPACE  5

#define VERIFY_OK    2

/* The labels a revert can go back to (and, for a web-access add-on fix, the installed add-on
   labels). Owned copies, trimmed; the list grows as needed. */
extern char** gpcanFixLabels;
extern int giFixLabels;
/* Backup copies a revert would restore; the progress range of the restore. */
extern DWORD dwNumBackupFiles;
/* The last installed label that contains "RQA", or NULL. */
extern char* lpRqaLabel;
/* Where the disk space ran short (the program directory or a data directory). */
extern char gszSpaceLocation[];
/* The check-file table, built from the checksum table by VerifyValidLabels. */
extern zfix::PCHECKFILE* gpCheckFileTable;

int IdentifyZorelVersion(char* lpOut1, char* lpOut2);
int DetermineMode(const zfix::FIXRECORD& record, DWORD dwStringsChecksum, const char* oldLabel, char* newLabel,
                  DWORD dwNumFiles);
DWORD GetFreeSpaceKB(const char* lpPath);

int VerifyZorelVersion(void);

int VerifyValidLabels(const zfix::FIXRECORD& record, const char* newLabel, DWORD dwNumFiles);
int FoundBackup(DWORD dwNew);
char* BackupCopyPath(const char* lpLabel, const char* lpFile, DWORD dwFileEntry, char* lpOut, size_t size);

/* The label list: emptied, appended to (owned, trimmed copy) and shortened by its last label. */
void ClearFixLabels(void);
void AddFixLabel(const char* lpLabel);
void DropLastFixLabel(void);

char* LabelDirName(const char* lpLabel, char* lpOut);
/* TRUE when the release text lpCurrent is the label lpLabel: it begins with the whole label, or
   both have the same backup directory name. */
BOOL IsSameRelease(const char* lpCurrent, const char* lpLabel);

#endif
