/* Restoring the base release of a fix from earlier backups. */
#ifndef ZFIX_RESTORE_H
#define ZFIX_RESTORE_H

#include <windows.h>

/* Nonzero when the installed files are (again) those of the base release lpOldLabel: the
   installed release is that base (its recorded files are checked), or the base's backup copies
   were validated and put back with its release strings (and, for a fixpack, its registry copy).
   A hotfix that would put back another fixpack than the installed one asks first. */
BOOL RestoreBaseRelease(const char* lpOldLabel);

/* After the base release of a fixpack was restored, puts the revert target gszRevertLabel back
   over it: its configuration copies, its files and its release strings. */
BOOL RestoreBadFixpack(void);

#endif
