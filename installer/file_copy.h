/* Copying a file and moving a tree to the recycle bin. */
#ifndef ZFIX_FILE_COPY_H
#define ZFIX_FILE_COPY_H

#include <windows.h>

/* Copies a file byte for byte, creating or truncating lpTo; every failure is logged. When both
   names lead to one file, its bytes are already there and nothing is written. */
BOOL CopyFiles(const char* lpFrom, const char* lpTo);
/* A backup of lpFrom under lpTo, which must not exist yet: a second name of the same file where
   the volume allows it, else a copy. No byte is copied for a link, and the backup keeps the
   content because nothing writes into an installed file: the commit puts a new file under its
   name. Fails with ERROR_ALREADY_EXISTS or ERROR_FILE_EXISTS when lpTo is there. */
BOOL KeepBackup(const char* lpFrom, const char* lpTo);
/* TRUE when both names lead to one file (two links of it, or two spellings of one path). */
BOOL SameFile(const char* lpOne, const char* lpOther);
/* Moves a file or a folder with everything below it to the recycle bin. */
BOOL DeleteTree(const char* lpPath);

#endif
