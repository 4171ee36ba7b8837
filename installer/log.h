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

/* Writes the lines still held in the buffer to the file. */
void FlushLog(void);

/* Within a loop over thousands of files, a flush per line costs a system call each through Wine:
   while a LogBatch lives the lines are written when the buffer fills and when the last batch ends
   (and by the runtime at exit). Whatever may wait for the user or start a program inside one
   calls FlushLog first. */
class LogBatch {
public:
    LogBatch();
    ~LogBatch();
    LogBatch(const LogBatch&) = delete;
    LogBatch& operator=(const LogBatch&) = delete;
};

/* WriteLog of a formatted text (bounded). */
void WriteLogF(int level, const char* fmt, ...) ZFIX_PRINTF(2, 3);

/* The shared allocation-failure line of the file utilities. */
#define LOG_ALLOC_FAILURE() WriteLogF(0, "Failed to alloc memory on line %d in %s", __LINE__, "utils")

#endif
