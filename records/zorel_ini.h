/* ZOREL.INI, the product's configuration file: the release keys a fix changes. */
#ifndef ZFIX_ZOREL_INI_H
#define ZFIX_ZOREL_INI_H

#include <windows.h>

BOOL UpdateZorelIni(const char* lpNewLabel, const char* lpOldLabel);
void SetLPVersions(void);

#endif
