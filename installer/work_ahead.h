/* Threads that work a little ahead of a loop over numbered entries. Under Wine every opened,
   created or renamed file costs round trips to the server, and every new name a scan of its
   whole directory; threads that do the next entries' file work meanwhile keep the loop from
   waiting on each of them in turn, and overlap their own waits. The loop still decides and logs
   everything in its own order: it takes each job's result when it comes to that entry, or does
   the work itself when no thread has begun it. No job starts more than kMaxAhead jobs beyond the
   loop.

   The threads wait and wake through a slim lock and a condition variable of the system: the C++
   library's condition variable of this toolchain costs a round trip to the server on every
   wake-up, which is about what the work of one small file costs. */
#ifndef ZFIX_WORK_AHEAD_H
#define ZFIX_WORK_AHEAD_H

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class WorkAhead {
public:
    static const size_t kMaxAhead = 32;

    WorkAhead();
    WorkAhead(const WorkAhead&) = delete;
    WorkAhead& operator=(const WorkAhead&) = delete;
    ~WorkAhead();

    /* Starts threads (at least one) on one job per entry number of entries (ascending, in the
       loop's order); each claims the next job in order, and work(i) runs job i on it. FALSE (and
       no thread) when the list is empty or no thread could be had: the loop then does every job
       itself. */
    BOOL Start(std::vector<DWORD> entries, std::function<void(size_t)> work, int threads = 1);
    BOOL Started() const;

    /* The index of entry n's job once a thread has done it, waiting while one is on it; -1 when
       there is none to take: no job for n, one no thread has begun (none then touches it), or
       one that threw (no memory for it).
       Every job of an entry below n that no thread has begun is left alone as well. */
    int Take(DWORD n);

    /* Ends the threads after the jobs they are on; the jobs not begun stay undone. */
    void Stop();

private:
    struct Shared;
    std::unique_ptr<Shared> shared_;
};

/* The answers to one question about a list of paths, worked out by threads ahead of a loop that
   asks about the paths in the order of the list (it may pass some over). */
template <class Answer>
class AnswersAhead {
public:
    typedef std::function<Answer(const std::string&)> Question;

    /* The question must be safe to ask on another thread, and its answer must not depend on when
       it is asked within a few files. */
    explicit AnswersAhead(Question ask) : ask_(std::move(ask)) {}

    void Start(std::vector<std::string> paths, int threads)
    {
        queue_.Stop();
        paths_ = std::move(paths);
        answers_.assign(paths_.size(), Answer());
        next_ = 0;
        std::vector<DWORD> entries;
        for (size_t k = 0; k < paths_.size(); ++k)
            entries.push_back((DWORD)k + 1);
        queue_.Start(std::move(entries), [this](size_t i) { answers_[i] = ask_(paths_[i]); }, threads);
    }

    /* The answer for a path of the list, after those asked before it (the ones between are
       passed over); worked out now when no thread has, or for a path not further on in the
       list. */
    Answer Get(const std::string& path)
    {
        size_t j = next_;
        while (j < paths_.size() && paths_[j] != path)
            ++j;
        if (j == paths_.size())
            return ask_(path);
        next_ = j + 1;
        const int i = queue_.Take((DWORD)j + 1);
        return i >= 0 ? answers_[(size_t)i] : ask_(path);
    }

private:
    Question ask_;
    std::vector<std::string> paths_;
    std::vector<Answer> answers_;
    size_t next_ = 0;
    WorkAhead queue_;
};

#endif
