/* What the hostile-package and full-disk tests of the engine share: copies of a fix built by
   zfixbuild with single resources rewritten (an entry, a payload, the description), a run of the
   installer that meets whatever it shows (message boxes, the failure page) within a time limit,
   and a canary folder beside the installation that must stay as it is. */
#ifndef ZFIX_HOSTILE_SUPPORT_H
#define ZFIX_HOSTILE_SUPPORT_H

#include "engine_test.h"
#include "package/file_entry.h"
#include "package/fix_record.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

/* How one run of the installer ended. */
struct RunOutcome {
    int exitCode = -1;                /* -1: it did not end within the time limit */
    bool failurePage = false;         /* the wizard showed "Failed to upgrade Zorel." */
    std::vector<std::string> boxes;   /* texts of the message boxes it showed, in order */
    std::string log;                  /* its UPGRADE.LOG: the whole text of this run */
};

/* Runs a command line of the installer: answers each message box with Cancel (or OK when it
   has none), closes the failure page, and ends the process when it is still running after
   timeoutMs. Its log is the temporary UPGRADE.LOG, or what the run appended to the one in
   programDir when it ended normally. */
RunOutcome RunInstaller(const std::string& commandLine, const std::string& dir, const std::string& programDir,
                        DWORD timeoutMs = 90000);

/* One line for the report: exit code, failure page, boxes and the first log line of level 0
   that holds "ERROR", "damaged" or "Failed". */
std::string Describe(const RunOutcome& outcome);

/* A resource of a module loaded as data; empty when it has none. */
std::string ResourceOf(const std::string& exe, const char* type, int id);

/* Rewrites resources of a copy of an executable (language 1033). */
bool PutResources(const std::string& exe, const std::map<std::pair<std::string, int>, std::string>& resources);

/* Every file below root with its content, by path relative to root. */
std::map<std::string, std::string> Snapshot(const std::string& root);

#endif
