/* The records of an upgrade or a revert in progress, and what the next run of the fix does with
   one that stopped part-way: an upgrade is undone, a revert is completed. */
#ifndef ZFIX_RESUME_H
#define ZFIX_RESUME_H

#include <windows.h>

#include <string>

/* Notes in the program directory ("UPGRADE.RUN") that this fix's upgrade has begun to change the
   installation, with a copy of the release-strings library beside it. FALSE, with nothing left
   behind, when either cannot be written whole (a full disk): a run without them cannot be undone. */
BOOL RecordRunStart(const char* lpFixLabel);

/* Notes in the program directory ("REVERT.RUN") that this fix's revert to lpTarget (from the
   release lpSource) has begun to change the installation, with what the rest of the revert needs:
   the release installed before it, the backup directory and the step it has reached. */
void RecordRevertStart(const char* lpTarget, const char* lpSource);

/* The revert has done the steps before lpStep ("Strings" after the commit, "Config" after the
   release strings, "Registry" after ZOREL.INI, "Done" after the backup directories). */
void RecordRevertStep(const char* lpStep);

/* The run has ended and told its result: the note it wrote goes. */
void RecordRunEnd(void);

/* An upgrade of this fix that stopped part-way or failed (UPGRADE.RUN is there) is undone: every
   target of the fix gets its backup copy back, files the base did not have go, and ZOREL.INI,
   PATCH.INI and the release-strings library are what they were before the run. TRUE when a run
   was undone. */
BOOL UndoInterruptedRun(void);

/* A revert of this fix that stopped part-way or failed (REVERT.RUN is there) is taken to its end
   from the step it reached: every target as the release before the fix had it, from the backup
   copies wherever the revert had moved them, then the release strings, ZOREL.INI and PATCH.INI
   and the backup directories as the revert leaves them. TRUE when a revert was completed. */
BOOL CompleteInterruptedRevert(void);

/* The fix whose stopped run is still noted after the two calls above ("" when none): a run of
   another fix, or one whose files could not all be put back. The installation then lies between
   two releases, and no other run may start on it. */
std::string StoppedRunLeft(void);

#endif
