/* Checks of a label's backup copies and installed files against the checksums the fix registry
   records for them. */
#ifndef ZFIX_VALIDATE_H
#define ZFIX_VALIDATE_H

#include <windows.h>

#include <stdio.h>

#include "records/label_check.h"

/* Grades of a label's backup copies. */
#define BACKUP_GRADE_VALID 1      /* every copy has its recorded checksum */
#define BACKUP_GRADE_INVALID 0    /* a copy of a fix without labels differs: no restore */
#define BACKUP_GRADE_BY_FILE (-1) /* copies differ or are missing: restore what can be found */

/* Checks the backup copies of lpLabel's registry section: BACKUP_GRADE_VALID, BACKUP_GRADE_INVALID or
   BACKUP_GRADE_BY_FILE. Sets dwNumBackupFiles to the number of entries plus one. */
int CheckValidBackup(const char* lpLabel);

/* The section name of a label in the fix registry: the label, trailing blanks removed, between
   double quotes; lpTrimmed receives the bare label. */
void LabelSection(const char* lpLabel, char* lpTrimmed, size_t cbTrimmed, char* lpSection, size_t cbSection);

/* The release text of a label (up to its '|'), for the status line. */
void ReleaseOfLabel(const char* lpLabel, char* lpOut, size_t size);

/* The wizard's status line (item 1012), when there is a wizard. */
void ShowStatus(const char* lpText);

/* "%#lx" of a file's checksum into lpOut; FALSE when the file cannot be opened. */
BOOL ChecksumText(const char* lpPath, char* lpOut, size_t size);

#endif
