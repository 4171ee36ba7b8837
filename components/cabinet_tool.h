/* What the component updaters share: the carried cabinet tool's command lines and its run, full
   paths below the program directory, and the program directory made current again on leaving. */
#ifndef ZFIX_CABINET_TOOL_H
#define ZFIX_CABINET_TOOL_H

#include <windows.h>

#include <string>

/* Makes the program directory current when it goes out of scope: every updater returns with it
   current, whichever step it left at. */
class ProgramDirAgain {
public:
    ProgramDirAgain() = default;
    ProgramDirAgain(const ProgramDirAgain&) = delete;
    ProgramDirAgain& operator=(const ProgramDirAgain&) = delete;
    ~ProgramDirAgain();
};

/* TRUE in the upgrade direction: MODE_UPGRADE, or the mode after a failed upgrade. */
BOOL UpdaterUpgrades(void);

/* A path with a drive or a leading backslash. */
BOOL IsAbsolutePath(const char* lpPath);
/* lpName below the program directory, or lpName itself when it is already absolute. */
std::string ProgramPath(const char* lpName);
/* lpDir\lpName. */
std::string JoinedPath(const std::string& dir, const char* lpName);

/* "pack the patterns (paths relative to the current directory) into a new cabinet" */
std::string PackCommand(const std::string& cabinet, const std::string& patterns);
/* "unpack every member with its stored path, overwriting, into the directory" */
std::string UnpackCommand(const std::string& archive, const std::string& destination);
/* "unpack every member with its stored path, overwriting, into the current directory" */
std::string UnpackInPlaceCommand(const std::string& archive);

/* Starts the cabinet tool with the command line in the current directory, without a window, and
   waits for it. FALSE when it could not be started (*pdwCode: the system error); else TRUE with
   its exit code in *pdwCode. */
BOOL RunCabinetTool(const std::string& command, DWORD* pdwCode);

/* Runs a pack command: TRUE only when the tool ended with 0 and the cabinet is on disk. Anything
   else (the tool missing, a full disk, an unwritable backup directory) leaves the tree without a
   backup, so the caller must not delete it. *pdwCode: the system error or the exit code. */
BOOL PackedBackup(const std::string& command, const std::string& cabinet, DWORD* pdwCode);

/* DeleteTree of a directory that exists; TRUE when it is gone (or was not there). */
BOOL RemoveTreeIfPresent(const std::string& dir);

/* A tree with nothing to back up: absent, or a directory without a file below it. (A file where
   the tree belongs is not one: its pack fails and the updater stops.) */
BOOL NothingToBackUp(const std::string& tree);
/* A directory with a file somewhere below it. */
BOOL TreeHasFiles(const std::string& dir);

/* The backup copy of a tree with nothing to back up: an empty file, which the revert takes for
   "there was no tree" (a cabinet is never empty). TRUE when written; else *pdwCode is the system
   error. lpUpdater and lpTree name them in the log line. */
BOOL WriteNoTreeBackup(const char* lpUpdater, const std::string& tree, const std::string& back, DWORD* pdwCode);
/* The archive to unpack is such an empty backup copy. */
BOOL IsNoTreeBackup(const std::string& archive);
/* The revert of a tree that was not there before the fix: it is removed; 1, or 0 after the log
   line when it cannot be. */
int RemoveTreeThatWasNot(const char* lpUpdater, const std::string& tree, const std::string& archive);

/* Creates the directory and every missing one above it; TRUE when it is a directory now, else
   FALSE after the log line. */
BOOL MakeTreeDirectory(const char* lpUpdater, const std::string& dir);
/* Makes the directory current; FALSE after the log line when it cannot be entered: nothing may
   then be unpacked relative to the current directory, which is still another one. */
BOOL EnterTree(const char* lpUpdater, const std::string& dir);

#endif
