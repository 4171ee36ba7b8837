/* UPGRADE.LOG: written to the temporary directory from the start of the run, appended to the
   program directory's UPGRADE.LOG at the normal end. */
#ifndef ZFIX_LOG_H
#define ZFIX_LOG_H

#include <stdio.h>

#include "installer/text.h"

#define LOG_FORMAT_VERSION "FI1.01"
#define LOG_PLATFORM       "W64"

extern FILE* gpLogFile;
extern char gszTempLogPath[260];

/* The temporary directory: "TEMP", or "\TEMP" when it is not set (an empty value is used as is). */
const char* TempDirectoryName(void);

int OpenUpgradeLog(void);
void WriteLog(const char* text, int level);
void WriteLogString(int id, int level);
void FlushLogToProgramDir(void);

/* WriteLog of a formatted text (bounded). */
void WriteLogF(int level, const char* fmt, ...) ZFIX_PRINTF(2, 3);

/* The shared allocation-failure line of the file utilities. */
#define LOG_ALLOC_FAILURE() WriteLogF(0, "Failed to alloc memory on line %d in %s", __LINE__, "utils")

#endif
