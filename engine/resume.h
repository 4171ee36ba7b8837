/* The record of an upgrade in progress, and the undoing of one that stopped part-way. */
#ifndef ZFIX_RESUME_H
#define ZFIX_RESUME_H

#include <windows.h>

/* Notes in the program directory ("UPGRADE.RUN") that this fix's upgrade has begun to change the
   installation, with a copy of the release-strings library beside it. FALSE, with nothing left
   behind, when either cannot be written whole (a full disk): a run without them cannot be undone. */
BOOL RecordRunStart(const char* lpFixLabel);

/* The run ended, committed or with nothing left to undo: the note goes. */
void RecordRunEnd(void);

/* A run of this fix that stopped part-way or failed (the note is there) is undone: every target of the fix
   gets its backup copy back, files the base did not have go, and ZOREL.INI, PATCH.INI and the
   release-strings library are what they were before the run. TRUE when a run was undone. */
BOOL UndoInterruptedRun(void);

#endif
