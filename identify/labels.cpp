/* The check-file table, the installed files of the fix and the labels a revert can go back to. */
#include "identify/identify.h"

#include "identify/checksum.h"
#include "installer/file_copy.h"
#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/work_ahead.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "package/file_entry.h"
#include "resources/resource.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

zfix::PCHECKFILE* gpCheckFileTable = NULL;

static BOOL IsLastLabel(const char* lpLabel)
{
    return giFixLabels > 0 && strcmp(gpcanFixLabels[giFixLabels - 1], lpLabel) == 0;
}

static void AddLabelOnce(const char* lpLabel)
{
    if (IsLastLabel(lpLabel))
        return;
    AddFixLabel(lpLabel);
    WriteLogF(2, "VerifyValidLabels: Added %d label %s", giFixLabels - 1, gpcanFixLabels[giFixLabels - 1]);
}

/* The checksum of a file, or FALSE when it cannot be opened. */
static BOOL ChecksumOf(const char* lpPath, unsigned long* pdwChecksum)
{
    FILE* f = fopen(lpPath, "rb");
    if (!f)
        return FALSE;
    *pdwChecksum = FileChecksum(f);
    fclose(f);
    return TRUE;
}

/* Where a file of the fix is installed: under every data directory in use, in the system
   directory, or in the program directory (the current directory). */
static std::vector<std::string> InstalledPaths(const char* lpFile, DWORD dwDir, BOOL bSystem)
{
    std::vector<std::string> paths;
    if (dwDir == zfix::DIR_DATA) {
        for (int i = 0; gpZorelData && i < giPartitions; ++i)
            if (gpDataValid && gpDataValid[i] && gpZorelData[i])
                paths.push_back(std::string(gpZorelData[i]) + "\\" + lpFile);
    } else if (dwDir == zfix::DIR_SYSTEM && bSystem) {
        paths.push_back(std::string(gpSystemDir ? gpSystemDir : "") + "\\" + lpFile);
    } else {
        paths.push_back(lpFile);
    }
    return paths;
}

static void Status(const char* lpText, BOOL bShow)
{
    if (!ghMainDlg)
        return;
    HWND hText = GetDlgItem(ghMainDlg, IDC_TEXT5);
    if (lpText)
        SetWindowTextA(hText, lpText);
    ShowWindow(hText, bShow ? SW_SHOW : SW_HIDE);
    ShowWindow(ghGaugeFile, bShow ? SW_SHOW : SW_HIDE);
}

/* The FILEENTRY number whose name ends in lpBase, or 0; FALSE when an entry before it (or, without
   a match, any entry) cannot be loaded. The entries are read once: a search per checksum record
   would read them all again for each file, which for a fix of thousands of files takes longer
   than installing it. */
static BOOL FindFileEntry(const char* lpBase, DWORD* pdwEntry)
{
    static std::map<std::string, DWORD> firstByBase;
    static DWORD dwRead = 0, dwFailed = 0;
    for (; dwRead < gdwFileEntries && dwFailed == 0; ++dwRead) {
        DWORD k = dwRead + 1, dwSize = 0;
        HGLOBAL hRes = FindAndLoadRes((int)k, RES_FILEENTRY, &dwSize);
        const void* data = hRes ? LockResource(hRes) : NULL;
        char szName[zfix::MAX_ENTRY_NAME + 1];
        zfix::FILEENTRY fe;
        if (!data || !zfix::ReadFileEntry(data, dwSize, szName, sizeof(szName), &fe))
            dwFailed = k;
        else
            firstByBase.insert(std::make_pair(std::string(FixFileBaseName(szName)), k));
    }
    std::map<std::string, DWORD>::const_iterator found = firstByBase.find(lpBase);
    if (found != firstByBase.end() && (dwFailed == 0 || found->second < dwFailed)) {
        *pdwEntry = found->second;
        return TRUE;
    }
    if (dwFailed != 0) {
        WriteLog("Failed to load file entry resource.", 0);
        return FALSE;
    }
    return TRUE;
}

static BOOL IsComponentArchive(const char* lpPath)
{
    static const char* const parts[] = {"osgi", "dojo", "xsp", "kqzm", "jvm", "ckeditor"};
    for (const char* part : parts)
        if (strstr(lpPath, part))
            return TRUE;
    return FALSE;
}

/* Copies lpFrom to lpTo for FoundBackup: 1 when copied, else 0. The copy of an archive taken
   whatever its content (bAnyContent) has a failure line of its own. */
static int CopyBackup(const char* lpFrom, const char* lpTo, BOOL bAnyContent)
{
    if (CopyFiles(lpFrom, lpTo)) {
        WriteLogF(3, "FoundBackup: Copied %s to %s", lpFrom, lpTo);
        return 1;
    }
    WriteLogF(3, bAnyContent ? "FoundBackup: Couldn't copy  %s to %s" : "FoundBackup: Couldn't copy %s to %s", lpFrom,
              lpTo);
    return 0;
}

int FoundBackup(DWORD dwNew)
{
    zfix::PCHECKFILE entry = gpCheckFileTable[dwNew];
    char szName[PATH_BUFFER + 16], szTarget[PATH_BUFFER * 2];
    BackupCopyName(entry->lpFile, entry->dwFileEntry, szName, sizeof(szName));
    BackupCopyPath(entry->canReleaseLabel, entry->lpFile, entry->dwFileEntry, szTarget, sizeof(szTarget));
    WriteLogF(3, "FoundBackup: new name : %s; gpCheckFileTable[dwNew]->canReleaseLabel: %s", szTarget,
              entry->canReleaseLabel);

    std::string tried;
    for (DWORD j = 0; j < gdwChecksums; ++j) {
        const char* label = gpCheckFileTable[j]->canReleaseLabel;
        if (strcmp(label, entry->canReleaseLabel) == 0 || tried == label)
            continue;
        char szSource[PATH_BUFFER * 2];
        BackupCopyPath(label, entry->lpFile, entry->dwFileEntry, szSource, sizeof(szSource));
        WriteLogF(3, "FoundBackup: checking old backup name : %s", szSource);
        unsigned long dwChecksum = 0;
        if (DoesFileExist(szSource)) {
            char szDir[zfix::LABEL_DIR_MAX + 1];
            WriteLogF(3, "FoundBackup: File %s found in the %s directory", szName, LabelDirName(label, szDir));
            ChecksumOf(szSource, &dwChecksum);
            if (dwChecksum == entry->dwChecksum) {
                WriteLogF(3, "FoundBackup: backup file %s found with correct checksum: 0x%08X", szSource,
                          (unsigned)dwChecksum);
                if (DoesFileExist(szTarget)) {
                    WriteLogF(3, "FoundBackup: File %s already exists!", szTarget);
                    break;
                }
                return CopyBackup(szSource, szTarget, FALSE);
            }
            WriteLogF(3, "FoundBackup: %s has checksum 0x%08X, expected: 0x%08X", szSource, (unsigned)dwChecksum,
                      (unsigned)entry->dwChecksum);
        } else {
            WriteLogF(3, "FoundBackup: File %s doesn't exist", szSource);
        }
        tried = label;
    }

    char szExt[PATH_BUFFER];
    GetFileExtension(entry->lpFile, szExt, sizeof(szExt));
    BOOL bAnyContent = _stricmp(szExt, "jar") == 0 || _stricmp(szExt, "gz") == 0;
    for (const std::string& candidate : InstalledPaths(entry->lpFile, entry->dwDir, FALSE)) {
        unsigned long dwChecksum = 0;
        if (!ChecksumOf(candidate.c_str(), &dwChecksum))
            continue;
        if (dwChecksum == entry->dwChecksum) {
            WriteLogF(3, "FoundBackup: file %s found in the current directory", candidate.c_str());
            if (!DoesFileExist(szTarget))
                return CopyBackup(candidate.c_str(), szTarget, FALSE);
        } else {
            WriteLogF(3, "FoundBackup: file %s has different checksum: 0x%08X", candidate.c_str(), (unsigned)dwChecksum);
        }
        if (!DoesFileExist(szTarget) && entry->dwChecksum != 0) {
            WriteLogF(3, "FoundBackup: %s has checksum 0x%08X", candidate.c_str(), (unsigned)entry->dwChecksum);
            if (bAnyContent)
                return CopyBackup(candidate.c_str(), szTarget, TRUE);
        }
    }
    WriteLogF(3, "FoundBackup: File %s not found", FixFileBaseName(entry->lpFile));
    return 0;
}

/* Phase 1: the check-file table, and whether the installed release is one of its other labels. */
static int BuildCheckFileTable(const zfix::FIXRECORD& record, const char* newLabel)
{
    static zfix::PCHECKFILE table[zfix::MAX_CHECKFILES];
    gpCheckFileTable = table;
    int result = 0;
    BOOL bRqa = StrIs(STRR_HOTFIX, zfix::FIXKIND_RQA);
    WriteLogF(1, "VerifyValidLabels: Looping on gdwChecksums: %d", (int)gdwChecksums);
    for (DWORD i = 0; i < gdwChecksums && i < record.checksums.size(); ++i) {
        const zfix::CHECKSUMRECORD& r = record.checksums[i];
        char szLabel[LABEL_BUFFER + 1];
        CopyText(szLabel, sizeof(szLabel), r.canLabel);
        zfix::TrimLabel(szLabel);
        WriteLogF(2, "VerifyValidLabels: canFixLabel: %s", szLabel);
        zfix::PCHECKFILE entry = zfix::NewCheckFile(r);
        if (!entry) {
            WriteLog("VerifyValidLabels: ERROR: Failed to allocate PCHECKFILE", 0);
            exit(1);
        }
        zfix::FreeCheckFile(table[i]);  /* from an earlier identification of this run */
        table[i] = entry;
        WriteLogF(2, "VerifyValidLabels: gpCheckFileTable: checksum: 0x%08X, dw = %d, file: %s",
                  (unsigned)entry->dwChecksum, (int)i, entry->lpFile);
        if (strcmp(szLabel, newLabel) == 0) {
            WriteLogF(2, "VerifyValidLabels: continue as lpDst is: %s", szLabel);
            continue;
        }
        char szA[zfix::LABEL_DIR_MAX + 1], szB[zfix::LABEL_DIR_MAX + 1];
        LabelDirName(szLabel, szA);
        LabelDirName(canCurrentVersion, szB);
        size_t a = strlen(szA), b = strlen(szB);
        if (bRqa) {
            WriteLog("VerifyValidLabels: RQA hotfix", 2);
            const char* p = strstr(szA, "_RQA");
            if (p && p > szA)
                a = (size_t)(p - szA);
            p = strstr(szB, "HF");
            if (!(p && p > szB))
                p = strstr(szB, "_RQA");
            if (p && p > szB)
                b = (size_t)(p - szB);
        }
        if (strncmp(canCurrentVersion, szLabel, strlen(szLabel)) == 0 || strncmp(szA, szB, a > b ? a : b) == 0) {
            if (!result)
                WriteLogF(1, "VerifyValidLabels: UPGRADE: Current version [%s] is equal to old version: [%s]",
                          canCurrentVersion, szLabel);
            FormatText(canLabelDir, sizeof(canLabelDir), "%s", szA);
            result = 1;
        }
    }
    for (DWORD i = 0; i < gdwChecksums; ++i)
        WriteLogF(2, "VerifyValidLabels: gpCheckFileTable[%5d]: Checksum: 0x%08X\tFile: %s\t\tRelease: %s", (int)i,
                  (unsigned)table[i]->dwChecksum, table[i]->lpFile, table[i]->canReleaseLabel);
    return result;
}

/* Phase 2: which of the fix's files are installed. */
static void MarkInstalledFiles(const zfix::FIXRECORD& record, DWORD dwNumFiles)
{
    WriteLogF(1, "VerifyValidLabels: Looping on dwNumFiles: %d", (int)dwNumFiles);
    /* The check-file entries of each name, found once rather than by a walk of the whole table
       for every installed file. */
    std::map<std::string, std::vector<DWORD> > entriesByName;
    for (DWORD i = 0; i < gdwChecksums; ++i)
        entriesByName[gpCheckFileTable[i]->lpFile].push_back(i);
    /* Whether each is there is asked a little ahead on two threads: each asking waits on the
       file server. */
    std::vector<std::string> paths;
    for (DWORD n = 0; n < dwNumFiles && n < record.files.size(); ++n)
        for (std::string& path : InstalledPaths(record.files[n].lpFile, record.files[n].dwDir, TRUE))
            paths.push_back(std::move(path));
    AnswersAhead<BOOL> installed([](const std::string& path) { return DoesFileExist(path.c_str()); });
    installed.Start(std::move(paths), 2);
    for (DWORD n = 0; n < dwNumFiles && n < record.files.size(); ++n) {
        const zfix::FILELISTRECORD& f = record.files[n];
        WriteLogF(2, "VerifyValidLabels: Current File: %s, dw: %d", f.lpFile, (int)(n + 1));
        for (const std::string& path : InstalledPaths(f.lpFile, f.dwDir, TRUE)) {
            if (!installed.Get(path)) {
                WriteLogF(2, "VerifyValidLabels: The file %s is not installed. Intentionally skipping (This is OK) ",
                          path.c_str());
                continue;
            }
            BOOL bFound = FALSE;
            std::map<std::string, std::vector<DWORD> >::const_iterator same = entriesByName.find(f.lpFile);
            if (same != entriesByName.end()) {
                for (DWORD i : same->second) {
                    zfix::PCHECKFILE entry = gpCheckFileTable[i];
                    entry->bPresent = 1;
                    entry->dwDir = f.dwDir;
                    entry->dwFileEntry = f.dwFileEntry;
                    bFound = TRUE;
                }
            }
            WriteLogF(2, bFound ? "VerifyValidLabels: File %s PRESENT in the fix; canFile: %s"
                                : "VerifyValidLabels: File %s NOT present in the fix; canFile: %s",
                      path.c_str(), FixFileBaseName(path.c_str()));
        }
    }
}

/* The label directories of the run and whether each is there; nothing in the search for
   backups makes or removes one, and asking costs two changes of the current directory. */
typedef std::map<std::string, BOOL> DirectoryStates;

static BOOL IsKnownDirectory(const char* lpDir, DirectoryStates* lpKnown)
{
    DirectoryStates::const_iterator it = lpKnown->find(lpDir);
    if (it != lpKnown->end())
        return it->second;
    BOOL bDir = IsDirectory(lpDir);
    (*lpKnown)[lpDir] = bDir;
    return bDir;
}

/* Phase 3, one entry: whether its label can be offered for a revert. */
static BOOL EntryRevertible(DWORD i, DirectoryStates* lpKnownDirs)
{
    zfix::PCHECKFILE entry = gpCheckFileTable[i];
    const char* base = FixFileBaseName(entry->lpFile);
    char szDir[zfix::LABEL_DIR_MAX + 1], szCopy[PATH_BUFFER * 2];
    WriteLogF(2, "VerifyValidLabels: dw = %d, gpCheckFileTable[dw]->lpFile = %s,  gpCheckFileTable[dw]->canReleaseLabel = %s",
              (int)i, entry->lpFile, entry->canReleaseLabel);
    LabelDirName(entry->canReleaseLabel, szDir);
    if (!IsKnownDirectory(szDir, lpKnownDirs)) {
        WriteLogF(2, "VerifyValidLabels: Directory %s doesn't exist", szDir);
        if (IsLastLabel(entry->canReleaseLabel))
            DropLastFixLabel();
        return FALSE;
    }
    BackupCopyPath(entry->canReleaseLabel, entry->lpFile, entry->dwFileEntry, szCopy, sizeof(szCopy));
    if (!DoesFileExist(szCopy)) {
        WriteLogF(2, "VerifyValidLabels: File %s not  found in backup directory for %s", szCopy, entry->canReleaseLabel);
        WriteLogF(2, "VerifyValidLabels: checksum : 0x%08X dw: %d", (unsigned)entry->dwChecksum, (int)i);
        if (entry->dwChecksum == 0)
            WriteLog("VerifyValidLabels: But it has 0 dwChecksum: OK", 2);
        else if (!FoundBackup(i))
            WriteLogF(2, "VerifyValidLabels: File %s apparently was not installed in the original configuration for version %s: skipping",
                      entry->lpFile, entry->canReleaseLabel);
        return TRUE;
    }
    /* A copy that cannot be opened has no checksum: it matches nothing. */
    unsigned long dwCopyChecksum = 0;
    BOOL bRead = ChecksumOf(szCopy, &dwCopyChecksum);
    WriteLogF(2, "VerifyValidLabels: File: %s dwChecksum: 0x%08X", szCopy, (unsigned)dwCopyChecksum);
    if ((IsComponentArchive(szCopy) && entry->dwChecksum != 0) || entry->dwChecksum == 0 ||
        (bRead && entry->dwChecksum == dwCopyChecksum)) {
        WriteLogF(2, "VerifyValidLabels: Checksum 0x%08X for file %s in backup directory for release %s is correct",
                  (unsigned)dwCopyChecksum, szCopy, entry->canReleaseLabel);
        ++dwNumBackupFiles;
        return TRUE;
    }
    WriteLogF(2, "VerifyValidLabels: Calling FoundBackup as dwChecksum: 0x%08X != dwChecksum: 0x%08X",
              (unsigned)entry->dwChecksum, (unsigned)dwCopyChecksum);
    if (FoundBackup(i)) {
        ++dwNumBackupFiles;
        return TRUE;
    }
    char szExt[PATH_BUFFER];
    GetFileExtension(base, szExt, sizeof(szExt));
    if (strcmp(szExt, "sym") == 0) {
        WriteLogF(2, "VerifyValidLabels: File %s apparently was not installed in the original client configuration for version %s: skipping",
                  entry->lpFile, entry->canReleaseLabel);
        return FALSE;
    }
    if (entry->dwDir == zfix::DIR_DATA)
        ++dwNumBackupFiles;
    if ((gwOptions & OPTIONS_FORCE) || GetEnvironmentVariableA("STX9", NULL, 0) > 0) {
        ++dwNumBackupFiles;
        return TRUE;
    }
    if (strstr(base, "tessra"))
        return FALSE;
    if (strstr(base, "pomvi"))
        ++dwNumBackupFiles;
    ++dwNumBackupFiles;
    return TRUE;
}

int VerifyValidLabels(const zfix::FIXRECORD& record, const char* newLabel, DWORD dwNumFiles)
{
    WriteLogF(1, "VerifyLabels: dwNumFiles: %d", (int)dwNumFiles);
    ClearFixLabels();
    int result = BuildCheckFileTable(record, newLabel);
    MarkInstalledFiles(record, dwNumFiles);

    WriteLogF(1, "VerifyValidLabels: %s", "Searching for backups...");
    Status("Searching for backups...", TRUE);
    dwNumBackupFiles = 0;
    DirectoryStates knownDirs;
    GaugeCommand(ghGaugeFile, GAUGE_SETRANGE, (LONG)gdwChecksums);
    WriteLogF(1, "VerifyValidLabels: Looping on gdwChecksums 2: %d", (int)gdwChecksums);
    for (DWORD i = 0; i < gdwChecksums; ++i) {
        GaugeProgress(ghGaugeFile, GAUGE_SETPOS, (LONG)i);
        zfix::PCHECKFILE entry = gpCheckFileTable[i];
        if (entry->dwDir == zfix::DIR_SYSTEM) {
            WriteLogF(2, "VerifyValidLabels: Skipping file %s; bPresent: %d, dwDir: %d, dw: %d", entry->lpFile,
                      entry->bPresent, (int)entry->dwDir, (int)i);
            continue;
        }
        const char* base = FixFileBaseName(entry->lpFile);
        DWORD dwEntry = entry->dwFileEntry;
        if (!entry->bPresent && !FindFileEntry(base, &dwEntry))
            result = 0;
        entry->dwFileEntry = dwEntry;
        if (strcmp(entry->canReleaseLabel, newLabel) == 0 || strcmp(base, Str(STR_STRINGS_LIB)) == 0)
            continue;
        if (EntryRevertible(i, &knownDirs))
            AddLabelOnce(entry->canReleaseLabel);
    }
    Status(NULL, FALSE);
    return result;
}
