/* PATCH.INI (RQA.INI in the web-access add-on build), the registry of the installed fixes: the
   labels installed by fixpacks and hotfixes, and per label the files the fixes touched with
   their checksums in that release and the names of their backup copies. */
#ifndef ZFIX_PATCH_INI_H
#define ZFIX_PATCH_INI_H

#include <windows.h>

#include "package/fix_record.h"

/* Records the installed fix lpNewLabel over lpOldLabel with its files: the new label joins
   the list section of its kind, its own section is written anew and the old label's section
   gains the files it does not record yet. */
void UpdatePatchInfo(const char* lpOldLabel, const char* lpNewLabel, DWORD dwFileCount,
                     const zfix::FILELISTRECORD* lpFiles);

/* The per-label sections of UpdatePatchInfo. */
void WritePatchFileEntries(const char* lpOldLabel, const char* lpNewLabel, DWORD dwFileCount,
                           const zfix::FILELISTRECORD* lpFiles);

#endif
