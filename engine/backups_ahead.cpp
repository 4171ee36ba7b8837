#include "engine/backups_ahead.h"

#include "installer/file_copy.h"
#include "installer/paths.h"

void BackupsAhead::Start(std::vector<BackupJob> jobs)
{
    StartJobs(std::move(jobs), [](const BackupJob& job, const std::string& dir) {
        const std::string target = ResolvedIn(dir, job.target);
        BackupOutcome outcome = {TRUE, FALSE, 0};
        if (job.bCheck)
            outcome.bExists = DoesFileExist(target.c_str());
        if (outcome.bExists) {
            outcome.bLinked = KeepBackup(target.c_str(), ResolvedIn(dir, job.backup).c_str());
            outcome.dwError = outcome.bLinked ? 0 : GetLastError();
        }
        return outcome;
    }, 1);
}

BOOL BackupsAhead::Take(DWORD n, const char* lpTarget, BackupOutcome* lpOutcome)
{
    const int i = TakeJob(n);
    if (i < 0 || jobs_[(size_t)i].target != lpTarget || !SameDirectory())
        return FALSE;  /* none, or made for another name than the loop's: the loop goes its own way */
    *lpOutcome = outcomes_[(size_t)i];
    return TRUE;
}
