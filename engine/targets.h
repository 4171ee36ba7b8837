/* Where an entry of the fix lands, and the names the engine gives its files. */
#ifndef ZFIX_TARGETS_H
#define ZFIX_TARGETS_H

#include <windows.h>

#include <string>
#include <vector>

struct EntryTarget {
    std::string path;   /* relative paths resolve against the program directory */
    int iPartition;     /* the data directory of a DIR_DATA target; 0 otherwise */
};

/* The target paths of an entry from its name and directory code: one per data directory for
   DIR_DATA (only those in use unless bAllPartitions), one under the system directory for
   DIR_SYSTEM, else the name itself. FALSE (logged) when a path does not fit a path buffer. */
BOOL EntryTargets(const char* lpName, DWORD dwDir, BOOL bAllPartitions, std::vector<EntryTarget>* lpTargets);

/* The notices file, committed only where it is missing. */
extern const char kNotices[];
/* Archives whose temporary file goes to a component updater instead of being committed (a
   NULL-ended list of name parts). */
extern const char* const kHandedToUpdaters[];

/* "UPTMP%04d.TMP": the temporary file of entry n in the program directory. */
void TempFileName(DWORD n, char* lpOut, size_t cbOut);

/* The current directory, empty when it cannot be had. */
std::string CurrentDirectoryName();

/* A name as a process whose current directory is dir finds it: one with a drive, or starting
   with a backslash, stays as it is. */
std::string ResolvedIn(const std::string& dir, const std::string& name);

/* TRUE when any of the texts (a NULL-ended list) occurs in lpPath. */
BOOL ContainsAny(const char* lpPath, const char* const* lpTexts);

/* The file's size, 0 when it cannot be asked. */
DWORD FileSizeOf(const char* lpPath);

/* TRUE when a file or directory of that name is visible. */
BOOL PathPresent(const char* lpPath);

#endif
