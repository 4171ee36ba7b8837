/* Backup links made by a second thread a little ahead of the upgrade's loop over the entries
   (see installer/work_ahead.h): the backup directory grows by one name per entry, and under Wine
   every new name costs a scan of its whole directory. The loop still decides and logs every
   backup in its order: it takes the outcome of the link from here, or makes the link itself when
   the thread has not begun that one. */
#ifndef ZFIX_BACKUPS_AHEAD_H
#define ZFIX_BACKUPS_AHEAD_H

#include <windows.h>

#include "engine/jobs_ahead.h"

#include <string>
#include <vector>

/* One backup the loop makes when the installed file is there: its entry number, the target and
   the backup name as the loop names them (relative to the program directory). bCheck: whether the
   loop tests the target's existence first (whole files and removals; a patched file is opened by
   the loop instead). */
struct BackupJob {
    DWORD n;
    std::string target;
    std::string backup;
    BOOL bCheck;
};

/* What the loop would have found: whether the target opened for reading (always TRUE without
   the test), and the result of the link with its error code. */
struct BackupOutcome {
    BOOL bExists;
    BOOL bLinked;
    DWORD dwError;
};

class BackupsAhead : public JobsAhead<BackupJob, BackupOutcome> {
public:
    /* Starts the thread on the jobs, in the order of the loop. */
    void Start(std::vector<BackupJob> jobs);

    /* The outcome of entry n's job for this target, waiting while the thread is on it. FALSE when
       there is none to use (no such job, not begun, or made for another name or current
       directory): the caller then goes its own way, and the thread no longer touches that job. */
    BOOL Take(DWORD n, const char* lpTarget, BackupOutcome* lpOutcome);
};

#endif
