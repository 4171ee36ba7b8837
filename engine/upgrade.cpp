#include "engine/upgrade.h"

#include "installer/log.h"

/* The upgrade engine arrives with its own work; until then nothing is changed on disk. */
int UpgradeZorelVersion(void)
{
    WriteLog("UpgradeZorelVersion: Starting", 0);
    return 0;
}
