/* Backup directories that a finished run no longer needs. */
#ifndef ZFIX_BACKUP_DIRS_H
#define ZFIX_BACKUP_DIRS_H

#include <windows.h>

/* Removes the directory of a label's backup after its two INI copies (ZOREL_INI.BCK,
   PATCH_INI.BCK); TRUE when the directory itself is gone. Other files keep it in place. */
BOOL RemoveDir(const char* lpDir);

/* Empties and removes the program directory's backup directory of every label that the fix
   registry lists; after a hotfix also the licence copy and the registry itself. */
void RemoveBackupDirectories(void);

#endif
