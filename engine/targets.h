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

/* Partition iPartition's own copy of a data directory file whose backup is lpBackName: the same
   file name in that data directory's backup directory (named as lpLabelDir's last part), since one
   data directory's file is not another's. Empty when the partition has no data directory or the
   name does not fit a path buffer. */
std::string PartitionBackupName(const char* lpLabelDir, int iPartition, const char* lpBackName);

/* The backup of a component archive of a fix without labels: "%s%04d.IIB" of the archive's stem
   and n in the component's base directory (lpDataDir for a data directory's tree, else the program
   directory), outside the tree that the updater empties or deletes. -1 when it does not fit, else
   its length. */
int ComponentBackupName(DWORD n, const char* lpArchive, const char* lpDataDir, char* lpOut, size_t cbOut);

/* The backup of a file the upgrade found by its time-stamped name, when lpBackName (the entry's
   own backup name, "<stem><n>.IIB") is not there: the name in the same folder that differs from it
   only by the timestamp. Empty when there is none. */
std::string StampedBackup(const char* lpBackName);

/* The installed name of the file whose backup (found by StampedBackup) is lpBackup: the backup's
   name without its "<n>.IIB", with the extension of lpTarget, in lpTarget's folder. Empty when the
   backup's name is too short to be one. */
std::string StampedOriginal(const char* lpTarget, const char* lpBackup);

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
