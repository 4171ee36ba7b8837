/* PATCH.INI, the registry of the installed fixes. */
#ifndef ZFIX_PATCH_INI_H
#define ZFIX_PATCH_INI_H

#include <windows.h>

#include "package/fix_record.h"

/* Records the installed fix lpNewLabel over lpOldLabel with its files. */
void UpdatePatchInfo(const char* lpOldLabel, const char* lpNewLabel, DWORD dwFileCount, const zfix::FILELISTRECORD* lpFiles);

#endif
