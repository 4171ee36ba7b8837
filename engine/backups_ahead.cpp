#include "engine/backups_ahead.h"

#include "engine/targets.h"
#include "installer/file_copy.h"
#include "installer/paths.h"

void BackupsAhead::Start(std::vector<BackupJob> jobs)
{
    Stop();
    dir_ = CurrentDirectoryName();
    jobs_.clear();
    if (dir_.empty())
        return;
    jobs_ = std::move(jobs);
    outcomes_.assign(jobs_.size(), BackupOutcome());
    std::vector<DWORD> entries;
    for (const BackupJob& job : jobs_)
        entries.push_back(job.n);
    queue_.Start(std::move(entries), [this](size_t i) {
        /* Whole names: the loop's work may change the current directory meanwhile. */
        const BackupJob& job = jobs_[i];
        const std::string target = ResolvedIn(dir_, job.target);
        BackupOutcome outcome = {TRUE, FALSE, 0};
        if (job.bCheck)
            outcome.bExists = DoesFileExist(target.c_str());
        if (outcome.bExists) {
            outcome.bLinked = KeepBackup(target.c_str(), ResolvedIn(dir_, job.backup).c_str());
            outcome.dwError = outcome.bLinked ? 0 : GetLastError();
        }
        outcomes_[i] = outcome;
    });
}

BOOL BackupsAhead::Take(DWORD n, const char* lpTarget, BackupOutcome* lpOutcome)
{
    const int i = queue_.Take(n);
    if (i < 0 || jobs_[(size_t)i].target != lpTarget || CurrentDirectoryName() != dir_)
        return FALSE;  /* none, or made for another name than the loop's: the loop goes its own way */
    *lpOutcome = outcomes_[(size_t)i];
    return TRUE;
}
