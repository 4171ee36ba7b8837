// Fault injection: the engine's hotfix (patched, replaced, added and removed files in the program
// directory, both data directories and the system directory) is installed on a fresh sample
// installation, and the installer's process is stopped the moment its log gains the N-th line of
// the engine, for every N in turn. Then the same fix runs again unattended and must leave the fix's
// tree byte for byte; on a second installation stopped at the same line, the revert must leave the
// base tree byte for byte (a run stopped before it changed anything leaves nothing to revert, and
// the revert says so: what a run showed is printed beside each point). A second sweep stops the
// revert of the installed hotfix the same way and runs the revert, and the fix, again. Each sweep
// prints each point and the totals.
//
// It takes a few seconds a point, so it runs only when ZFIX_SWEEP is set: "1" for every line, a
// number N > 1 for every N-th line; ZFIX_SWEEP_FROM names the first line to stop at.
#include "engine_test.h"

#include "resources/resource.h"

#include <stdlib.h>
#include <tlhelp32.h>

#include <chrono>
#include <functional>
#include <vector>

using fixture::Contains;

namespace {

const char kStart[] = "UpgradeZorelVersion: Starting";
const char kEnd[] = "UpgradeZorelVersion: Exiting with:";

/* The complete lines of the engine in a log: from its start line to its exit line, of the last run
   the log holds (the program directory's log gathers every run). */
std::vector<std::string> EngineLines(const std::string& log)
{
    std::vector<std::string> lines;
    bool in = false;
    size_t pos = 0;
    for (size_t nl; (nl = log.find('\n', pos)) != std::string::npos; pos = nl + 1) {
        std::string line = log.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line.erase(0, line.find_first_not_of('\t'));
        if (!in && line == kStart) {
            in = true;
            lines.clear();
        }
        if (in)
            lines.push_back(line);
        if (in && line.compare(0, strlen(kEnd), kEnd) == 0)
            in = false;
    }
    return lines;
}

/* The threads of a process, opened to be held still and let go. */
class Threads {
public:
    explicit Threads(DWORD pid) : pid_(pid) {}
    ~Threads()
    {
        for (HANDLE h : handles_)
            CloseHandle(h);
    }
    void Suspend()
    {
        if (handles_.empty())
            Open();
        for (HANDLE h : handles_)
            SuspendThread(h);
    }
    void Resume()
    {
        for (HANDLE h : handles_)
            ResumeThread(h);
    }

private:
    void Open()
    {
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        if (snap == INVALID_HANDLE_VALUE)
            return;
        THREADENTRY32 te;
        te.dwSize = sizeof(te);
        for (BOOL more = Thread32First(snap, &te); more; more = Thread32Next(snap, &te)) {
            if (te.th32OwnerProcessID != pid_)
                continue;
            HANDLE h = OpenThread(THREAD_SUSPEND_RESUME, FALSE, te.th32ThreadID);
            if (h)
                handles_.push_back(h);
        }
        CloseHandle(snap);
    }
    DWORD pid_;
    std::vector<HANDLE> handles_;
};

/* Ends the programs a process started (the carried tools), as a power cut would. */
void EndChildren(DWORD pid)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof(pe);
    for (BOOL more = Process32First(snap, &pe); more; more = Process32Next(snap, &pe)) {
        if (pe.th32ParentProcessID != pid || pe.th32ProcessID == pid)
            continue;
        HANDLE h = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pe.th32ProcessID);
        if (h) {
            TerminateProcess(h, 9);
            WaitForSingleObject(h, 10000);
            CloseHandle(h);
        }
    }
    CloseHandle(snap);
}

DWORD FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}

/* Runs the fix with arguments and ends its process when the temporary log holds the n-th line of
   the engine: each time the log grows the process is held still while its lines are counted, so
   it ends within the lines written while the growth was being noticed. The last engine line written before it ended ("" when
   the run ended by itself). */
std::string RunStoppedAt(const std::string& fix, const std::string& arguments, const std::string& dir, size_t n)
{
    std::string log = fixture::TempDir() + "\\UPGRADE.LOG";
    DeleteFileA(log.c_str());
    robot::Program program("\"" + fix + "\" nouser" + (arguments.empty() ? "" : " " + arguments), dir);
    DWORD pid = program.ProcessId();
    HANDLE hProcess = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    Threads threads(pid);
    std::string last;
    DWORD seen = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000;) {
        if (WaitForSingleObject(hProcess, 0) == WAIT_OBJECT_0)
            break;
        DWORD size = FileSize(log);
        if (size == seen)
            continue;
        threads.Suspend();
        seen = FileSize(log);
        std::vector<std::string> lines = EngineLines(fixture::ReadFile(log));
        if (lines.size() >= n) {
            EndChildren(pid);
            TerminateProcess(hProcess, 9);
            WaitForSingleObject(hProcess, 10000);
            EndChildren(pid);
            last = lines.back().empty() ? "(an empty line)" : lines.back();
            break;
        }
        threads.Resume();
    }
    if (hProcess)
        CloseHandle(hProcess);
    if (program.Running())
        CloseAnswering(program);
    return last;
}

/* Runs the fix unattended to its end; a failure page is closed and message boxes answered with
   their first button. What the user was shown, or "" after a clean exit with code 0. */
std::string RunToEnd(const std::string& fix, const std::string& arguments, const std::string& dir)
{
    DeleteFileA((fixture::TempDir() + "\\UPGRADE.LOG").c_str());
    robot::Program program("\"" + fix + "\" nouser" + (arguments.empty() ? "" : " " + arguments), dir);
    std::string shown, log = fixture::TempDir() + "\\UPGRADE.LOG";
    DWORD grew = GetTickCount(), size = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 120000;) {
        int code = program.WaitExit(100);
        if (code != -1)
            return code == 0 && shown.empty() ? std::string() : shown + " (exit " + std::to_string(code) + ")";
        robot::MessageBoxInfo box;
        if (program.WaitMessageBox(&box, 0)) {
            shown += "[box: " + box.text + "] ";
            program.Answer(box, box.buttonIds.empty() ? IDOK : box.buttonIds[0]);
            continue;
        }
        if (program.Dialog() || program.WaitWindow(ZFIX_DIALOG_CLASS, 0)) {
            std::string text = program.Text(IDC_TEXT5);
            if (Contains(text, "Failed to upgrade Zorel.")) {
                CloseAnswering(program);
                return shown + "[page: " + text + "]";
            }
        }
        /* A run whose log stays still for seconds with its window up waits for the user. */
        if (FileSize(log) != size) {
            size = FileSize(log);
            grew = GetTickCount();
        } else if (GetTickCount() - grew > 8000 && program.Dialog()) {
            std::vector<std::string> lines = fixture::Lines(fixture::TempLog());
            std::string last = lines.empty() ? std::string() : lines.back();
            last.erase(0, last.find_first_not_of('\t'));
            CloseAnswering(program);
            return shown + "[waits after: " + last + "]";
        }
    }
    if (program.Running())
        CloseAnswering(program);
    return shown + "[did not end]";
}

std::vector<std::string> FilesBelow(const std::string& root, const std::string& sub = std::string())
{
    std::vector<std::string> files;
    fixture::ForEachEntry(root + (sub.empty() ? "" : "\\" + sub), [&](const std::string& name, bool isDir) {
        std::string rel = sub.empty() ? name : sub + "\\" + name;
        if (isDir) {
            std::vector<std::string> below = FilesBelow(root, rel);
            files.insert(files.end(), below.begin(), below.end());
        } else {
            files.push_back(rel);
        }
    });
    return files;
}

/* The first difference between an installed folder and a tree: a file missing or different, or a
   file of the other tree that this one lacks left behind; "" when there is none. */
std::string FolderDiffers(const std::string& tree, const std::string& other, const std::string& installed)
{
    for (const std::string& f : FilesBelow(tree)) {
        std::string path = installed + "\\" + f;
        if (!fixture::FileExists(path))
            return "missing " + path;
        if (fixture::ReadFile(tree + "\\" + f) != fixture::ReadFile(path))
            return "differs " + path;
    }
    for (const std::string& f : FilesBelow(other))
        if (!fixture::FileExists(tree + "\\" + f) && fixture::FileExists(installed + "\\" + f))
            return "left " + installed + "\\" + f;
    return std::string();
}

/* Runs of the engine's hotfix stopped at a line, on fresh installations. */
class StoppedRun : public EngineTest {
protected:
    /* A fresh installation of the base release in place of the last one. */
    void FreshBase()
    {
        fixture::RemoveProduct();
        fixture::ForEachEntry(system_, [&](const std::string& name, bool isDir) {
            if (!isDir && name.compare(0, 8, "zfixeng_") == 0)
                DeleteFileA((system_ + "\\" + name).c_str());
        });
        fixture::RemoveTree(dir_ + "\\product");
        InstallBase();
    }

    /* The first difference between the installation and the tree ("base" or "fix"). */
    std::string Differs(const std::string& tree)
    {
        const std::string mine = trees_ + "\\" + tree, other = trees_ + "\\" + (tree == "fix" ? "base" : "fix");
        std::string d = FolderDiffers(mine + "\\program", other + "\\program", program_);
        for (int i = 1; i <= 2 && d.empty(); ++i)
            d = FolderDiffers(mine + "\\data", other + "\\data", dir_ + "\\product\\DATA" + std::to_string(i));
        if (d.empty())
            d = FolderDiffers(mine + "\\system", other + "\\system", system_);
        return d;
    }

    /* What the last run's log says of undoing a stopped run, and its errors. */
    void PrintUndoLines()
    {
        for (std::string line : fixture::Lines(fixture::ReadFile(program_ + "\\UPGRADE.LOG") + fixture::TempLog())) {
            line.erase(0, line.find_first_not_of('\t'));
            if (Contains(line, "UndoInterruptedRun") || Contains(line, "CompleteInterruptedRevert") || Contains(line, "ERROR") || Contains(line, "failed checksum") || Contains(line, "Unable") || Contains(line, "Identif"))
                printf("    %s\n", line.c_str());
        }
    }

    /* What a revert leaves besides the trees: the registry, ZOREL.INI of each partition, the
       folders of the program and data directories (the backup directories among them) and any
       note or temporary file in the program directory. */
    std::string Records()
    {
        std::string records = "PATCH.INI: " + fixture::ReadFile(program_ + "\\PATCH.INI") + "\n";
        for (int i = 1; i <= 2; ++i)
            records += "ZOREL.INI " + std::to_string(i) + ": " +
                       fixture::ReadFile(dir_ + "\\product\\DATA" + std::to_string(i) + "\\ZOREL.INI") + "\n";
        for (const std::string& dir : {program_, dir_ + "\\product\\DATA1", dir_ + "\\product\\DATA2"})
            fixture::ForEachEntry(dir, [&](const std::string& name, bool isDir) {
                std::string upper = Upper(name);
                if (isDir || upper.find(".RUN") != std::string::npos || upper.find("UPTMP") != std::string::npos ||
                    upper.find(".BCK") != std::string::npos)
                    records += name + (isDir ? "\\" : "") + "\n";
            });
        return records;
    }

    /* prepare(), then RunStoppedAt; both once more when the run ended before the watcher caught
       the line (on a busy machine a short run can). The line it stopped after, "" when it was not
       stopped (counted in unstopped_). */
    std::string PrepareAndStop(const std::function<void()>& prepare, const std::string& fix, const std::string& arguments,
                               size_t n)
    {
        std::string at;
        for (int attempt = 0; attempt < 2 && at.empty(); ++attempt) {
            prepare();
            at = RunStoppedAt(fix, arguments, dir_, n);
        }
        unstopped_ += at.empty();
        return at;
    }

    /* The fix installed, its revert stopped at line n, then the fix run with arguments; what
       differs from the base tree and from the records a revert that was not stopped left
       (reverted), "" for nothing. */
    std::string RevertStoppedThenRun(const std::string& fix, size_t n, const std::string& arguments,
                                     const std::string& reverted, std::string* at, std::string* shown)
    {
        std::string installed;
        *at = PrepareAndStop(
            [&] {
                FreshBase();
                installed = RunToEnd(fix, "", dir_);
            },
            fix, kRevert, n);
        if (!installed.empty())
            return "the fix did not install: " + installed;
        *shown = RunToEnd(fix, arguments, dir_);
        std::string d = Differs("base");
        if (d.empty() && Records() != reverted)
            d = "records differ:\n" + Records() + "expected:\n" + reverted;
        if (!d.empty())
            PrintUndoLines();
        return d;
    }

    static constexpr const char* kRevert = "revert Release 14.5.1FP1";
    size_t unstopped_ = 0;
};

class FaultSweep : public StoppedRun {
protected:
    void SetUp() override
    {
        StoppedRun::SetUp();
        const char* every = getenv("ZFIX_SWEEP");
        if (!every || !*every)
            GTEST_SKIP() << "set ZFIX_SWEEP to 1 (every line) or N (every N-th line) to run the sweep";
        step_ = atoi(every) > 1 ? (size_t)atoi(every) : 1;
    }

    size_t step_ = 1;
};

}  // namespace

TEST_F(FaultSweep, HotfixStoppedAtEachEngineLine)
{
    auto begin = std::chrono::steady_clock::now();
    std::string fix = Fix("hotfix");
    FreshBase();
    ASSERT_EQ("", RunToEnd(fix, "", dir_)) << fixture::TempLog();
    std::vector<std::string> lines = EngineLines(fixture::ReadFile(program_ + "\\UPGRADE.LOG"));
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ("", Differs("fix"));

    size_t tried = 0, rerunOk = 0, revertOk = 0;
    std::vector<std::string> failures;
    const char* from = getenv("ZFIX_SWEEP_FROM");
    for (size_t n = from && atoi(from) > 0 ? (size_t)atoi(from) : 1; n <= lines.size(); n += step_) {
        ++tried;
        std::string at = PrepareAndStop([&] { FreshBase(); }, fix, "", n);
        std::string shown = RunToEnd(fix, "", dir_);
        std::string d = Differs("fix");
        bool rerun = d.empty();
        if (!rerun)
            PrintUndoLines();
        rerunOk += rerun;

        PrepareAndStop([&] { FreshBase(); }, fix, "", n);
        std::string revertShown = RunToEnd(fix, kRevert, dir_);
        std::string rd = Differs("base");
        bool revert = rd.empty();
        if (!revert)
            PrintUndoLines();
        revertOk += revert;

        printf("point %3u (stopped after: %s): re-run %s %s%s; revert %s %s%s\n", (unsigned)n, at.c_str(),
               rerun ? "ok" : "FAILED", shown.c_str(), d.c_str(), revert ? "ok" : "FAILED", revertShown.c_str(), rd.c_str());
        fflush(stdout);
        if (!rerun || !revert)
            failures.push_back(std::to_string(n));
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    printf("engine lines: %u; points tried: %u; completed by the re-run: %u; restored by the revert: %u; runs not "
           "stopped: %u; %.0f s\n",
           (unsigned)lines.size(), (unsigned)tried, (unsigned)rerunOk, (unsigned)revertOk, (unsigned)unstopped_, seconds);
    EXPECT_EQ(tried, rerunOk);
    EXPECT_EQ(tried, revertOk);
}

// The revert of the hotfix, installed on a fresh installation, is stopped at each line of the
// engine in turn. Then the revert runs again and, on a second installation stopped at the same
// line, the fix runs again unattended (without "revert"): each must complete the revert, leaving
// the base tree byte for byte and the registry, ZOREL.INI and the backup directories as a revert
// that was not stopped leaves them (a revert stopped before it changed anything leaves the fix
// installed, and the unattended run of an installed fix reverts it).
TEST_F(FaultSweep, RevertStoppedAtEachLine)
{
    auto begin = std::chrono::steady_clock::now();
    std::string fix = Fix("hotfix");
    FreshBase();
    ASSERT_EQ("", RunToEnd(fix, "", dir_)) << fixture::TempLog();
    ASSERT_EQ("", RunToEnd(fix, kRevert, dir_)) << fixture::TempLog();
    std::vector<std::string> lines = EngineLines(fixture::ReadFile(program_ + "\\UPGRADE.LOG"));
    ASSERT_FALSE(lines.empty());
    ASSERT_EQ("", Differs("base"));
    const std::string reverted = Records();

    size_t tried = 0, revertOk = 0, rerunOk = 0;
    const char* from = getenv("ZFIX_SWEEP_FROM");
    for (size_t n = from && atoi(from) > 0 ? (size_t)atoi(from) : 1; n <= lines.size(); n += step_) {
        ++tried;
        std::string at, shown, atRerun, shownRerun;
        std::string d = RevertStoppedThenRun(fix, n, kRevert, reverted, &at, &shown);
        std::string rd = RevertStoppedThenRun(fix, n, "", reverted, &atRerun, &shownRerun);
        revertOk += d.empty();
        rerunOk += rd.empty();
        printf("point %3u (stopped after: %s): revert %s %s%s; re-run of the fix %s %s%s\n", (unsigned)n, at.c_str(),
               d.empty() ? "ok" : "FAILED", shown.c_str(), d.c_str(), rd.empty() ? "ok" : "FAILED", shownRerun.c_str(),
               rd.c_str());
        fflush(stdout);
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    printf("revert engine lines: %u; points tried: %u; completed by the revert run again: %u; completed by the fix run "
           "again: %u; runs not stopped: %u; %.0f s\n",
           (unsigned)lines.size(), (unsigned)tried, (unsigned)revertOk, (unsigned)rerunOk, (unsigned)unstopped_, seconds);
    EXPECT_EQ(tried, revertOk);
    EXPECT_EQ(tried, rerunOk);
}

/* The line of an uninterrupted run's engine lines that first holds text, counted from 1; 0 when
   none does. */
static size_t LineHolding(const std::vector<std::string>& lines, const std::string& text)
{
    for (size_t i = 0; i < lines.size(); ++i)
        if (Contains(lines[i], text))
            return i + 1;
    return 0;
}

// An upgrade stopped in its commit leaves the installation between two releases: another fix does
// not start on it (unattended: exit code 1, nothing changed) until the stopped fix, run again, has
// undone its run; that run then installs the fix.
TEST_F(StoppedRun, AnotherFixDoesNotStartOverAStoppedRun)
{
    std::string fix = Fix("hotfix");
    const std::string other = FixOf("other-hotfix", "hotfix", "Release 14.5.1FP1 HF22|October 9, 2026", "fix\\program");
    FreshBase();
    ASSERT_EQ("", RunToEnd(fix, "", dir_)) << fixture::TempLog();
    const size_t n = LineHolding(EngineLines(fixture::ReadFile(program_ + "\\UPGRADE.LOG")), "RenameTempFiles: Removed canFileName: ");
    ASSERT_NE(0u, n);
    const std::string at = PrepareAndStop([&] { FreshBase(); }, fix, "", n);
    ASSERT_NE("", at) << "the run ended before it could be stopped";
    const std::string records = Records(), strings = fixture::ReadFile(program_ + "\\tessra.dll");

    const std::string shown = RunToEnd(other, "", dir_);
    EXPECT_TRUE(Contains(shown, "(exit 1)")) << shown;
    const std::string log = fixture::TempLog();
    EXPECT_TRUE(Contains(log, "A stopped run of " + std::string(kFixLabel) + " has not been undone or completed. Run that fix again first.")) << log;
    EXPECT_FALSE(Contains(log, "IdentifyZorelVersion")) << log;
    EXPECT_EQ(records, Records());
    EXPECT_TRUE(fixture::ReadFile(program_ + "\\tessra.dll") == strings);

    EXPECT_EQ("", RunToEnd(fix, "", dir_)) << fixture::TempLog();
    EXPECT_TRUE(Contains(fixture::ReadFile(program_ + "\\UPGRADE.LOG"), "UndoInterruptedRun: The run of "));
    EXPECT_EQ("", Differs("fix"));
}

// A few stops in each step of a revert, in the regular suite: the revert run again, or the fix
// run again (which ends there), completes it. A revert that was not stopped leaves the base tree
// byte for byte, the strings library too. (A stop at the engine's last line is left to the sweep:
// the process may be caught a few lines later, when the run has ended.)
TEST_F(StoppedRun, StoppedRevertIsCompletedByTheNextRun)
{
    std::string fix = Fix("hotfix");
    FreshBase();
    ASSERT_EQ("", RunToEnd(fix, "", dir_)) << fixture::TempLog();
    ASSERT_EQ("", Differs("fix"));
    ASSERT_EQ("", RunToEnd(fix, kRevert, dir_)) << fixture::TempLog();
    const std::vector<std::string> revert = EngineLines(fixture::ReadFile(program_ + "\\UPGRADE.LOG"));
    ASSERT_EQ("", Differs("base"));
    const std::string reverted = Records();

    const struct {
        const char* line;        /* the revert is stopped at the first line holding it */
        const char* arguments;   /* of the run after the stop */
    } stops[] = {
        {"CreateUpgradedFiles: Restored", kRevert},                  // backups moving to temporary files
        {"RenameTempFiles: Removed canFileName: tessra.dll", ""},    // in the commit
        {"UpgradeZorelVersion: Calling UpdateTessra64", kRevert},    // after the commit
        {"UpdateZorelIni: MODE_REVERT", ""},                         // in ZOREL.INI and PATCH.INI
        {"UpgradeZorelVersion: Calling RemoveBackupDirectories", kRevert},
    };
    for (const auto& stop : stops) {
        SCOPED_TRACE(std::string(stop.line) + ", then \"" + stop.arguments + "\"");
        size_t n = LineHolding(revert, stop.line);
        ASSERT_NE(0u, n);
        std::string at, shown;
        EXPECT_EQ("", RevertStoppedThenRun(fix, n, stop.arguments, reverted, &at, &shown)) << at;
        EXPECT_EQ("", shown) << at;
        std::string log = fixture::ReadFile(program_ + "\\UPGRADE.LOG");
        EXPECT_TRUE(Contains(log, "CompleteInterruptedRevert: The revert of")) << at;
        ExpectLogLines(log, {"Zorel has been successfully reverted."});
    }
    EXPECT_EQ(0u, unstopped_);
}

/* The files below a folder with their contents. */
static std::map<std::string, std::string> Contents(const std::string& dir)
{
    std::map<std::string, std::string> files;
    fixture::ForEachEntry(dir, [&](const std::string& name, bool isDir) {
        if (!isDir)
            files[name] = fixture::ReadFile(dir + "\\" + name);
    });
    return files;
}

// Notes of a stopped run are files in the program directory that anyone who can write there can
// plant: the paths they name are held to what a run writes into them (the program directory's own
// backup directory, the configuration files and their copies), and their target label never
// splits the release-string tool's command line. A folder beside the installation, holding a
// planted backup copy of every file of the fix, copies and a release-strings library, stays as
// it was.
TEST_F(StoppedRun, PlantedNotesNameNothingOutsideTheInstallation)
{
    std::string fix = Fix("hotfix");
    const std::string outside = dir_ + "\\outside";
    const std::string planted = "planted";
    std::map<std::string, std::string> canaries = {{"canary.txt", planted}, {"canary2.txt", planted}, {"canary3.txt", "copy"}};
    for (const auto& f : FilesOf(fix)) {
        std::string name = f.first.substr(f.first.find_last_of('\\') + 1);
        char number[8];
        snprintf(number, sizeof(number), "%04u", (unsigned)f.second.entry);
        canaries[name.substr(0, name.find_last_of('.')) + number + ".IIB"] = planted;
    }
    const std::string target = kBaseLabel;
    const std::string run = std::string("[Run]\r\nFix=") + kFixLabel + "\r\n";
    const std::string revert = run + "Target=" + target + "\r\nSource=" + kFixLabel + "\r\nCurrent=" + kFixLabel + "\r\n";
    const struct {
        const char* what;
        bool installed;          /* the fix is installed before the note is planted */
        const char* noteName;
        bool leftAlone;          /* the note names what no run writes: nothing of it is taken */
        std::function<std::string(const std::string&)> note;   /* of the program directory */
    } rows[] = {
        {"upgrade note naming a backup directory outside", false, "UPGRADE.RUN", true,
         [&](const std::string&) { return run + "LabelDir=" + outside + "\r\nPatchIni=0\r\n"; }},
        {"revert note naming a backup directory outside", true, "REVERT.RUN", true,
         [&](const std::string&) { return revert + "LabelDir=" + outside + "\r\nStep=Files\r\n"; }},
        {"revert note naming configuration copies outside", true, "REVERT.RUN", false,
         [&](const std::string& program) {
             return revert + "LabelDir=" + program + "\\" + kLabelDir + "\r\nStep=Config\r\n[Copies]\r\nFile001=" + outside +
                    "\\canary.txt\r\nCopy001=\r\nFile002=" + outside + "\\canary2.txt\r\nCopy002=" + outside +
                    "\\canary3.txt\r\n";
         }},
        {"revert note whose target label holds quotes", true, "REVERT.RUN", true,
         [&](const std::string& program) {
             return run + "Target=" + target + "\" \"" + outside + "\" \"" + "Release 9|May 1, 2020\r\nSource=" + kFixLabel +
                    "\r\nCurrent=" + kFixLabel + "\r\nLabelDir=" + program + "\\" + kLabelDir + "\r\nStep=Strings\r\n";
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FreshBase();
        if (row.installed) {
            ASSERT_EQ("", RunToEnd(fix, "", dir_)) << fixture::TempLog();
        }
        fixture::RemoveTree(outside);
        CreateDirectoryA(outside.c_str(), NULL);
        for (const auto& c : canaries)
            ASSERT_TRUE(fixture::WriteFile(outside + "\\" + c.first, c.second));
        std::map<std::string, std::string> before = Contents(outside);
        before["tessra.dll"] = fixture::ReadFile(program_ + "\\tessra.dll");
        ASSERT_TRUE(CopyFileA((program_ + "\\tessra.dll").c_str(), (outside + "\\tessra.dll").c_str(), FALSE));
        ASSERT_TRUE(fixture::WriteFile(program_ + "\\" + row.noteName, row.note(program_)));

        std::string shown = RunToEnd(fix, row.installed ? kRevert : "", dir_);
        std::string log = fixture::ReadFile(program_ + "\\UPGRADE.LOG") + fixture::TempLog();
        EXPECT_TRUE(Contents(outside) == before) << shown << "\n" << log;
        for (const std::string& line : fixture::Lines(log))
            if (Contains(line, "Calling CreateProcess with")) {
                EXPECT_FALSE(Contains(line, outside)) << line;
            }
        if (row.leftAlone) {
            EXPECT_FALSE(Contains(log, "did not complete; undoing it from")) << log;
            EXPECT_FALSE(Contains(log, "did not complete; completing it from")) << log;
        }
    }
    fixture::RemoveTree(outside);
}
