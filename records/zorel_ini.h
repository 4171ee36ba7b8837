/* ZOREL.INI, the product's configuration file (one per partition): the three release keys of
   its section "Zorel" that a fix changes, and the backup copies that let a revert put them back. */
#ifndef ZFIX_ZOREL_INI_H
#define ZFIX_ZOREL_INI_H

#include <windows.h>

/* Brings CFP_LP_BASE_VERSION, CFP_LP_CURRENT and CFP_LP_PREV of every partition up to date after
   an upgrade (lpNewLabel installed over lpOldLabel) or a revert (back to lpNewLabel from
   lpOldLabel), keeping or using the copies of ZOREL.INI and PATCH.INI in the label's backup
   directory. FALSE when a write or a copy failed. */
BOOL UpdateZorelIni(const char* lpNewLabel, const char* lpOldLabel);

/* Writes lpKey = lpValue into section Zorel of lpIni. When lpBackup does not exist yet, the
   key's present value is first kept in it (a NULL lpBackup keeps nothing). TRUE when the key
   was written. */
BOOL UpgradeZorelIni(const char* lpKey, const char* lpValue, const char* lpIni, const char* lpBackup);

/* Puts CFP_LP_BASE_VERSION and CFP_LP_CURRENT back from lpBackup into lpLive, or the whole copy
   when lpLive is missing. Also used on PATCH.INI. */
BOOL RestoreZorelIni(const char* lpLive, const char* lpBackup);

/* Copies one key of section Zorel from lpBackup to lpLive (removes it when the backup lacks it). */
BOOL RestoreIniKey(const char* lpKey, const char* lpLive, const char* lpBackup);

/* Copies lpLive to lpBackup unless a backup copy exists already. */
BOOL SaveZorelIni(const char* lpBackup, const char* lpLive);

/* Moves CFP_LP_CURRENT to CFP_LP_PREV and sets CFP_LP_CURRENT to the installed release. */
void SetLPVersions(void);

#endif
