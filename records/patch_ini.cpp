#include "records/patch_ini.h"

#include "installer/log.h"

/* The fix registry writer arrives with its own work; until then nothing is recorded. */
void UpdatePatchInfo(const char* lpOldLabel, const char* lpNewLabel, DWORD dwFileCount, const zfix::FILELISTRECORD* lpFiles)
{
    (void)lpFiles;
    WriteLogF(1, "UpdatePatchInfo: not recorded: %s -> %s (%lu files)", lpOldLabel, lpNewLabel, (unsigned long)dwFileCount);
}
