#include "records/zorel_ini.h"

#include "installer/log.h"

/* The configuration file update arrives with its own work; until then ZOREL.INI is left as it is. */
BOOL UpdateZorelIni(const char* lpNewLabel, const char* lpOldLabel)
{
    WriteLogF(1, "UpdateZorelIni: ZOREL.INI left as it is: %s -> %s", lpOldLabel, lpNewLabel);
    return TRUE;
}

void SetLPVersions(void)
{
    WriteLog("SetLPVersions: ZOREL.INI left as it is", 1);
}
