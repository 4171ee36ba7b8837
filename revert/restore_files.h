/* Putting the files of a label back from the backup copies the fix registry names. */
#ifndef ZFIX_RESTORE_FILES_H
#define ZFIX_RESTORE_FILES_H

#include <windows.h>

#include <stddef.h>

/* Restores every file of lpLabel's registry section to that label's version, after saving the
   installed version in the backup directory of the installed release. TRUE when every file was
   restored, removed as absent in that release, or tolerated. */
BOOL RestoreFiles(const char* lpLabel);

/* Looks for lpShortName in the backup directory of every installed label and copies the first
   copy whose checksum is lpChecksum, or the checksum before the fix of a file of this fix,
   over lpTarget. */
BOOL FindAndRestoreFile(const char* lpShortName, const char* lpTarget, const char* lpChecksum);

/* A file of the program directory named like lpFile (its stem followed by anything) whose
   checksum is the one this fix expects of lpFile before it: its name in lpOut (size bytes),
   which is returned; NULL, with lpOut unchanged, when there is none. */
char* FindBackupName(const char* lpFile, char* lpOut, size_t size);

#endif
