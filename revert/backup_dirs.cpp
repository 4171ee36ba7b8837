#include "revert/backup_dirs.h"

#include "installer/log.h"

/* The removal of backup directories arrives with the revert routines; until then every backup stays. */
void RemoveBackupDirectories(void)
{
    WriteLog("RemoveBackupDirectories: backup directories kept", 1);
}

BOOL RemoveDir(const char* lpDir)
{
    WriteLogF(1, "RemoveDir: %s kept", lpDir);
    return TRUE;
}
