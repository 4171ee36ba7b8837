/* Backup directories that a finished run no longer needs. */
#ifndef ZFIX_BACKUP_DIRS_H
#define ZFIX_BACKUP_DIRS_H

#include <windows.h>

#include "records/ini_copies.h"

/* After a revert, empties and removes the backup directories of the labels that are no longer
   installed and of the revert's target, keeps those that installed fixpacks need for their own
   reverts, and leaves the registry with the installed labels only (no registry when none is);
   after an upgrade every backup stays. After a hotfix also removes the licence copy. */
void RemoveBackupDirectories(void);

#endif
