/* Backup directories that a finished run no longer needs. */
#ifndef ZFIX_BACKUP_DIRS_H
#define ZFIX_BACKUP_DIRS_H

#include <windows.h>

#include "records/ini_copies.h"

/* Empties and removes the program directory's backup directory of every label that the fix
   registry lists; after a hotfix also the licence copy and the registry itself. */
void RemoveBackupDirectories(void);

#endif
