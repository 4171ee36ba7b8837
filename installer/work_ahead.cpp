/* The slim lock and the condition variable of the system came with Windows Vista. */
#if !defined(_WIN32_WINNT) || _WIN32_WINNT < 0x0600
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#endif

#include "installer/work_ahead.h"

#include <thread>

namespace {

enum State { PENDING, RUNNING, DONE, TAKEN };

/* The lock held for one scope. */
class Locked {
public:
    explicit Locked(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    ~Locked() { ReleaseSRWLockExclusive(lock_); }

private:
    SRWLOCK* lock_;
};

}  // namespace

struct WorkAhead::Shared {
    std::vector<DWORD> entries;
    std::vector<State> states;
    std::function<void(size_t)> work;
    size_t next = 0;    /* the first job the loop has not come to */
    size_t claimed = 0; /* the first job no thread has claimed */
    bool stop = false;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::vector<std::thread> workers;

    void Wait() { SleepConditionVariableSRW(&changed, &lock, INFINITE, 0); }

    /* Each thread claims the next job in order. */
    void Run()
    {
        AcquireSRWLockExclusive(&lock);
        for (;;) {
            while (!stop && claimed < entries.size() && claimed >= next + kMaxAhead)
                Wait();
            if (stop || claimed >= entries.size())
                break;
            const size_t i = claimed++;
            if (states[i] != PENDING)
                continue;
            states[i] = RUNNING;
            ReleaseSRWLockExclusive(&lock);
            bool bDone = true;
            try {
                work(i);
            } catch (...) {
                bDone = false;  /* no memory for it: the loop does that job itself */
            }
            AcquireSRWLockExclusive(&lock);
            states[i] = bDone ? DONE : TAKEN;
            WakeAllConditionVariable(&changed);
        }
        ReleaseSRWLockExclusive(&lock);
    }
};

WorkAhead::WorkAhead() : shared_(new Shared) {}

WorkAhead::~WorkAhead() { Stop(); }

BOOL WorkAhead::Start(std::vector<DWORD> entries, std::function<void(size_t)> work, int threads)
{
    Stop();
    shared_.reset(new Shared);
    if (entries.empty())
        return FALSE;
    Shared& s = *shared_;
    s.entries = std::move(entries);
    s.states.assign(s.entries.size(), PENDING);
    s.work = std::move(work);
    try {
        for (int k = 0; k < threads; ++k)
            s.workers.emplace_back([&s] { s.Run(); });
    } catch (...) {
        /* Those that started do the jobs; none at all leaves every job to the loop. */
    }
    return Started();
}

BOOL WorkAhead::Started() const { return !shared_->workers.empty(); }

int WorkAhead::Take(DWORD n)
{
    if (!Started())
        return -1;
    Shared& s = *shared_;
    Locked hold(&s.lock);
    size_t i = s.next;
    for (; i < s.entries.size() && s.entries[i] < n; ++i)
        if (s.states[i] == PENDING)
            s.states[i] = TAKEN;  /* the loop went past it and did what that entry needed itself */
    const bool bFound = i < s.entries.size() && s.entries[i] == n;
    const size_t before = s.next;
    s.next = bFound ? i + 1 : i;
    /* The thread waits only at its limit: a wake-up when the loop moved on is all it needs. */
    if (s.next != before)
        WakeAllConditionVariable(&s.changed);
    if (!bFound)
        return -1;
    if (s.states[i] == PENDING) {
        s.states[i] = TAKEN;
        return -1;
    }
    while (s.states[i] == RUNNING)
        s.Wait();
    return s.states[i] == DONE ? (int)i : -1;
}

void WorkAhead::Stop()
{
    Shared& s = *shared_;
    if (s.workers.empty())
        return;
    {
        Locked hold(&s.lock);
        s.stop = true;
        WakeAllConditionVariable(&s.changed);
    }
    for (std::thread& worker : s.workers)
        worker.join();
    s.workers.clear();
}
