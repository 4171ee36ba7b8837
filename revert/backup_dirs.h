/* Backup directories that a finished run no longer needs. */
#ifndef ZFIX_BACKUP_DIRS_H
#define ZFIX_BACKUP_DIRS_H

#include <windows.h>

void RemoveBackupDirectories(void);
BOOL RemoveDir(const char* lpDir);

#endif
