#include "components/components.h"

#include "installer/log.h"

/* The archive updaters arrive with their own work; until then a component tree is left as it is. */
static int ComponentKept(const char* lpUpdater, const char* lpFileName)
{
    WriteLogF(1, "%s: component %s left as it is", lpUpdater, lpFileName);
    return 1;
}

int ProcessDojo(const char* lpDataDir, const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    (void)lpDataDir, (void)lpTempName, (void)lpBackName;
    return ComponentKept("ProcessDojo", lpFileName);
}

int ProcessOsgi(const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    (void)lpTempName, (void)lpBackName;
    return ComponentKept("ProcessOsgi", lpFileName);
}

int ProcessKWS(const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    (void)lpTempName, (void)lpBackName;
    return ComponentKept("ProcessKWS", lpFileName);
}

int ProcessCkEditor(const char* lpFileName, const char* lpTempName, const char* lpBackName, const char* lpDataDir)
{
    (void)lpTempName, (void)lpBackName, (void)lpDataDir;
    return ComponentKept("ProcessCkEditor", lpFileName);
}
