/* Jobs of the upgrade's loop over the entries, done a little ahead by threads (see
   installer/work_ahead.h), with their outcomes. Names are made whole from the current directory
   at the start (the program directory): the loop's own work may change the current directory
   meanwhile. Job has the entry number n. */
#ifndef ZFIX_JOBS_AHEAD_H
#define ZFIX_JOBS_AHEAD_H

#include <windows.h>

#include "engine/targets.h"
#include "installer/work_ahead.h"

#include <functional>
#include <string>
#include <vector>

template <class Job, class Outcome>
class JobsAhead {
public:
    BOOL Started() const { return queue_.Started(); }
    void Stop() { queue_.Stop(); }

protected:
    typedef std::function<Outcome(const Job& job, const std::string& dir)> Work;

    /* Starts threads on the jobs, in the order of the loop; work(job, dir) gives each outcome. */
    void StartJobs(std::vector<Job> jobs, Work work, int threads)
    {
        queue_.Stop();
        jobs_.clear();
        dir_ = CurrentDirectoryName();
        if (dir_.empty())
            return;
        jobs_ = std::move(jobs);
        outcomes_.assign(jobs_.size(), Outcome());
        work_ = std::move(work);
        std::vector<DWORD> entries;
        for (const Job& job : jobs_)
            entries.push_back(job.n);
        queue_.Start(std::move(entries), [this](size_t i) { outcomes_[i] = work_(jobs_[i], dir_); }, threads);
    }

    /* The index of entry n's job once done, else -1 (WorkAhead::Take). */
    int TakeJob(DWORD n) { return queue_.Take(n); }

    /* Whether the current directory is still the one that anchors the names. */
    BOOL SameDirectory() const { return CurrentDirectoryName() == dir_; }

    std::vector<Job> jobs_;
    std::vector<Outcome> outcomes_;
    std::string dir_;

private:
    Work work_;
    WorkAhead queue_;  /* last: its threads end before the jobs go */
};

#endif
