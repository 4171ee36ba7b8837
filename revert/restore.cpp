#include "revert/restore.h"

#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/log.h"

/* Only an installation that already is at the base release counts as restored: no backup copy
   is put back here. */
BOOL RestoreBaseRelease(const char* lpOldLabel)
{
    BOOL bBase = IsSameRelease(canCurrentVersion, lpOldLabel);
    WriteLogF(1, "RestoreBaseRelease: %s is %s the base release %s", canCurrentVersion, bBase ? "already" : "not",
              lpOldLabel);
    return bBase;
}

/* Arrives with the revert routines; until then the installation is left as it is. */
BOOL RestoreBadFixpack(void)
{
    WriteLogF(1, "RestoreBadFixpack: %s not restored", gszRevertLabel);
    return TRUE;
}
