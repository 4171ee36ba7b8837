/* Restoring the base release of a fix from earlier backups. */
#ifndef ZFIX_RESTORE_H
#define ZFIX_RESTORE_H

#include <windows.h>

/* Nonzero when the installed files are (again) those of the base release lpOldLabel. */
BOOL RestoreBaseRelease(const char* lpOldLabel);

/* Puts the release gszRevertLabel back over a fixpack that a base release restore could not undo. */
BOOL RestoreBadFixpack(void);

#endif
