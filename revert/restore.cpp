#include "revert/restore.h"

#include "identify/identify.h"
#include "installer/globals.h"
#include "installer/log.h"


/* The restore from backups arrives with the revert routines; until then only an installation
   that already is at the base release counts as restored. */
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
