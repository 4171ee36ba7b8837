/* The first half of every upgrade and revert: backups and temporary files for every entry. */
#ifndef ZFIX_CREATE_FILES_H
#define ZFIX_CREATE_FILES_H

#include <windows.h>

/* Secures each installed file (upgrade: into its backup; revert: back from it) and writes the
   content for the end of the run as "UPTMP%04d.TMP" in the program directory; entries 1 to
   dwCount. Nothing installed is overwritten. TRUE when every temporary file passed its check. */
BOOL CreateUpgradedFiles(DWORD dwCount);

/* After a revert's commit, which puts one copy in every data directory: each data directory's
   replaced and removed files from its own copy, which then goes (as does that of a component
   tree, which came back from it already). FALSE when a copy could not be put back; it stays. */
BOOL RestorePartitionCopies(DWORD dwCount);

/* Removes the "UPTMP%04d.TMP" files of the program directory. bStale: those an earlier run left,
   which the commit would otherwise put in place for an entry that makes none of its own; a
   revert keeps one that is an earlier revert's restored backup (the old file's only copy). Else
   those of this run, after its file step failed. */
void RemoveTempFiles(BOOL bStale);

#endif
