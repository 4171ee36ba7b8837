#include "components/jvm.h"

#include "installer/log.h"

/* The JVM updater arrives with its own work; until then the JVM is left as it is. */
int ProcessJvm(const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    (void)lpTempName, (void)lpBackName;
    WriteLogF(1, "ProcessJvm: JVM %s left as it is", lpFileName);
    return 1;
}

int RestoreGoldJvm(const char* lpFileName, DWORD dwEntry)
{
    WriteLogF(1, "RestoreGoldJvm: JVM %s (entry %lu) left as it is", lpFileName, (unsigned long)dwEntry);
    return 1;
}
