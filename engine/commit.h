/* The commit of the temporary files: the point of no return of a run. */
#ifndef ZFIX_COMMIT_H
#define ZFIX_COMMIT_H

#include <windows.h>

/* One slot of the commit table, indexed by FILEENTRY number; a slot without a name is skipped. */
typedef struct COMMITSLOT {
    char* lpFile;
    DWORD dwDir;
    DWORD dwOperation;  /* FE_* of the slot's entry */
} COMMITSLOT;

/* Puts "UPTMP%04d.TMP" of slots 1 to dwCount in place over every target of the slot; an empty or
   missing temporary file leaves the target absent. A patched file that is there but got no new
   content stops the commit before any slot is committed. FALSE when a target could not be
   replaced, or at such a stop. */
BOOL RenameTempFiles(const COMMITSLOT* lpTable, DWORD dwCount);

#endif
