/* What the identification tests share: the trees of a base release and a fix of the sample product,
   fixes built from them by zfixbuild, and a wizard run up to the identification result. */
#ifndef ZFIX_IDENTIFY_TEST_H
#define ZFIX_IDENTIFY_TEST_H

#include "installer_test.h"
#include "package/fix_record.h"

#include <functional>
#include <string>
#include <vector>

extern const char kBaseLabel[];
extern const char kFixLabel[];
extern const char kOlderLabel[];

class IdentifyTest : public InstallerTest {
protected:
    static void SetUpTestSuite();

    /* A fix built by zfixbuild from the trees, with these [Fix] keys (after Title, Kind, labels and
       licence, which they may override) and further sections. Built once per description. */
    static std::string Fix(const std::string& fixKeys, const std::string& sections = std::string(),
                           const std::string& kind = "hotfix");
    /* A copy of a fix with its description record changed. */
    std::string EditedFix(const std::string& fix, const std::function<void(zfix::FIXRECORD&)>& edit);
    /* The FILEENTRY number of a file of the fix. */
    static int EntryOf(const std::string& fix, const std::string& name);

    /* Installs the product at the base release (or, with fixRelease, with the fix's files);
       its program directory. */
    std::string InstallBase(const std::string& options = std::string());
    std::string InstallFixed(const std::string& options = std::string());
    /* Rewrites the installed release text. */
    static void SetRelease(const std::string& programDir, const std::string& label);

    static std::string trees_;
};

struct Identified {
    std::string text;                   /* the message area */
    bool textShown = false;             /* whether the message area is visible */
    std::vector<std::string> labels;    /* the revert list, when shown */
    std::string log;                    /* the temporary log at that point */
};

/* Runs the fix through the licence and the directory page, waits for the identification result,
   reads it, runs atPage (if any), and closes the installer. */
Identified RunIdentification(const std::string& fix, const std::string& dir,
                             const std::function<void(robot::Program&)>& atPage = nullptr);

/* Accepts the licence and goes on to the directory page. */
void ToDirectoryPage(robot::Program& program);
/* Waits until the identification has shown its result. */
void WaitIdentified(robot::Program& program);
/* Closes the installer, answering the abort question when it comes. */
void CloseAnswering(robot::Program& program);

/* Lines that the log must hold, each looked for as a whole line (leading tabs ignored). */
void ExpectLogLines(const std::string& log, const std::vector<std::string>& lines);

std::string Upper(std::string s);

#endif
