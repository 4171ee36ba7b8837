#include "engine/backups_ahead.h"

#include "installer/file_copy.h"
#include "installer/paths.h"

namespace {

/* How far the thread may run ahead of the loop: a stopped run leaves at most this many backups
   beyond the last one its log names (each a second name of an untouched installed file). */
const size_t kMaxAhead = 32;

std::string CurrentDirectory()
{
    char szDir[MAX_PATH * 2] = "";
    DWORD n = GetCurrentDirectoryA(sizeof(szDir), szDir);
    return n > 0 && n < sizeof(szDir) ? std::string(szDir) : std::string();
}

/* A name as the loop's current directory resolves it: one with a drive or a root stays as it is. */
std::string Under(const std::string& dir, const std::string& name)
{
    if ((name.size() > 1 && name[1] == ':') || (!name.empty() && name[0] == '\\'))
        return name;
    return dir.empty() || dir.back() == '\\' ? dir + name : dir + "\\" + name;
}

}  // namespace

void BackupsAhead::Start(std::vector<BackupJob> jobs)
{
    Stop();
    dir_ = CurrentDirectory();
    if (dir_.empty() || jobs.empty())
        return;
    jobs_ = std::move(jobs);
    states_.assign(jobs_.size(), PENDING);
    outcomes_.assign(jobs_.size(), BackupOutcome());
    next_ = 0;
    stop_ = false;
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (...) {
        jobs_.clear();  /* no thread to be had: the loop makes every backup itself */
    }
}

void BackupsAhead::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (size_t i = 0; i < jobs_.size(); ++i) {
        changed_.wait(lock, [&] { return stop_ || i < next_ + kMaxAhead; });
        if (stop_)
            return;
        if (states_[i] != PENDING)
            continue;
        states_[i] = RUNNING;
        lock.unlock();
        /* Whole names: the loop's work may change the current directory meanwhile. */
        const std::string target = Under(dir_, jobs_[i].target);
        const std::string backup = Under(dir_, jobs_[i].backup);
        BackupOutcome outcome = {TRUE, FALSE, 0};
        if (jobs_[i].bCheck)
            outcome.bExists = DoesFileExist(target.c_str());
        if (outcome.bExists) {
            outcome.bLinked = KeepBackup(target.c_str(), backup.c_str());
            outcome.dwError = outcome.bLinked ? 0 : GetLastError();
        }
        lock.lock();
        outcomes_[i] = outcome;
        states_[i] = DONE;
        changed_.notify_all();
    }
}

BOOL BackupsAhead::Take(DWORD n, const char* lpTarget, BackupOutcome* lpOutcome)
{
    if (!Started())
        return FALSE;
    std::unique_lock<std::mutex> lock(mutex_);
    size_t i = next_;
    for (; i < jobs_.size() && jobs_[i].n < n; ++i)
        if (states_[i] == PENDING)
            states_[i] = TAKEN;  /* the loop went past it: it decides itself what that entry needs */
    next_ = i < jobs_.size() && jobs_[i].n == n ? i + 1 : i;
    changed_.notify_all();
    if (next_ == i)
        return FALSE;
    if (states_[i] == PENDING) {
        states_[i] = TAKEN;
        return FALSE;
    }
    changed_.wait(lock, [&] { return states_[i] == DONE; });
    if (jobs_[i].target != lpTarget || CurrentDirectory() != dir_)
        return FALSE;  /* made for another name than the loop's: the loop goes its own way */
    *lpOutcome = outcomes_[i];
    return TRUE;
}

void BackupsAhead::Stop()
{
    if (!worker_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
}
