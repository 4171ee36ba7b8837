/* Temporary files made by two threads a little ahead of the upgrade's loop over the entries (see
   installer/work_ahead.h): a thread unpacks the payload, applies it to the installed file in
   memory, and writes the temporary file only when the result passes its final check, with its
   time set; otherwise it leaves no file and the loop does the entry itself, failures and their
   log lines included. The loop takes each result in its order and logs the entry as its own work
   would have, replaying the file gauge. */
#ifndef ZFIX_TEMPS_AHEAD_H
#define ZFIX_TEMPS_AHEAD_H

#include <windows.h>

#include "engine/apply_update.h"
#include "engine/jobs_ahead.h"
#include "package/file_entry.h"

#include <string>
#include <vector>

/* Seconds since 1970-01-01 UTC as a file time. */
FILETIME UnixTimeToFileTime(DWORD dwTime);

/* The temporary file of one patched or replaced entry with one target in the program directory:
   the entry number and record, the target and the temporary file as the loop names them. */
struct TempJob {
    DWORD n;
    zfix::FILEENTRY fe;
    std::string target;
    std::string temp;
};

struct TempOutcome {
    BOOL bMade;    /* the temporary file holds the new content, checked and timed */
    BOOL bTouched; /* the thread created the file */
    std::vector<GaugeCall> gauge;
};

class TempsAhead : public JobsAhead<TempJob, TempOutcome> {
public:
    /* The largest file a thread makes in memory (it holds the payload, the installed file and the
       new content at once, in a 32-bit process); bigger ones stay with the loop, which streams. */
    static const DWORD kMaxInMemory = 16u * 1024u * 1024u;

    /* Starts the threads on the jobs, in the order of the loop. */
    void Start(std::vector<TempJob> jobs);

    /* The outcome of entry n's job for this target, waiting while the thread is on it. FALSE when
       there is nothing to use (no such job, not begun, not made, or made for another name or
       current directory); a file the thread made then is removed again, and the loop makes the
       temporary file itself. */
    BOOL Take(DWORD n, const char* lpTarget, TempOutcome* lpOutcome);
};

#endif
