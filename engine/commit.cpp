#include "engine/commit.h"

#include "engine/progress.h"
#include "engine/targets.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"
#include "installer/file_copy.h"
#include "installer/memory_blocks.h"
#include "installer/paths.h"
#include "package/file_entry.h"
#include "resources/resource.h"
#include "installer/gauge.h"

#include <string.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

/* The errno a failed file operation of the C library would have given: 13 for a file that is
   locked or protected, 2 for one that is not there. */
int ErrnoOf(DWORD dwError)
{
    switch (dwError) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return 13;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return 2;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return 17;
    default:
        return (int)dwError;
    }
}

/* MoveFileEx with MOVEFILE_REPLACE_EXISTING within one volume, as the system does it: the file
   opened for deletion is given its new name. Under Wine MoveFileEx asks the server once more per
   file, which the commit of a fixpack pays some two thousand times. */
BOOL RenameOver(const char* lpFrom, const char* lpTo)
{
    char szFull[MAX_PATH * 2];
    DWORD cch = GetFullPathNameA(lpTo, sizeof(szFull), szFull, NULL);
    if (cch == 0 || cch >= sizeof(szFull) || szFull[0] == '\\')  /* network names are spelt otherwise */
        return MoveFileExA(lpFrom, lpTo, MOVEFILE_REPLACE_EXISTING);
    std::string nt = std::string("\\??\\") + szFull;
    int cwch = MultiByteToWideChar(CP_ACP, 0, nt.c_str(), (int)nt.size(), NULL, 0);
    if (cwch <= 0)
        return MoveFileExA(lpFrom, lpTo, MOVEFILE_REPLACE_EXISTING);
    std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + (size_t)cwch * sizeof(WCHAR));
    FILE_RENAME_INFO* info = (FILE_RENAME_INFO*)&buffer[0];
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = NULL;
    info->FileNameLength = (DWORD)cwch * sizeof(WCHAR);
    MultiByteToWideChar(CP_ACP, 0, nt.c_str(), (int)nt.size(), info->FileName, cwch);
    HANDLE h = CreateFileA(lpFrom, DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL bDone = SetFileInformationByHandle(h, FileRenameInfo, info, (DWORD)buffer.size());
    const DWORD dwError = GetLastError();
    CloseHandle(h);
    SetLastError(dwError);
    return bDone;
}

/* How a target takes its new content: the new file lies beside it (or is the temporary file
   itself) and is renamed over it, so the target holds its old or its new content at every moment,
   never a part of either and never nothing. Removing a file that another process holds with
   delete sharing only marks it, and the mark would later take the new file with it; a rename over
   it replaces the name at once. */
BOOL ReplaceWith(const char* lpNew, const char* lpTarget, int* piErrno)
{
    if (RenameOver(lpNew, lpTarget))
        return TRUE;
    *piErrno = ErrnoOf(GetLastError());
    return FALSE;
}

BOOL Remove(const char* lpTarget, int* piErrno)
{
    if (DeleteFileA(lpTarget))
        return TRUE;
    *piErrno = ErrnoOf(GetLastError());
    return FALSE;
}

/* The retry of a target that could be neither replaced nor removed: moved aside to its ".hf" name
   (a running program or a loaded library can be renamed though not removed), else the user is
   asked to end what holds it. lpNew is the new content to put in place, or NULL to remove the
   target. TRUE when the name is free (or holds the new content); *pbCancelled when the user gave up. */
BOOL RetryLocked(const char* lpTarget, const char* lpNew, int iErrno, BOOL* pbCancelled)
{
    BOOL bDone = FALSE;
    char szAside[PATH_BUFFER + 4];
    FormatText(szAside, sizeof(szAside), "%s.hf", lpTarget);
    while (iErrno == 13) {
        WriteLogF(1, "RenameTempFiles: canFileName: %s DOES exist, attempting to rename", lpTarget);
        if (MoveFileA(lpTarget, szAside)) {
            WriteLogF(0, "RenameTempFiles: Successfully renamed %s to %s", lpTarget, szAside);
            bDone = TRUE;
            break;
        }
        int iRenameErrno = ErrnoOf(GetLastError());
        char szText[PATH_BUFFER + 64];
        FormatText(szText, sizeof(szText), "Can't rename old %s: access problem", lpTarget);
        WriteLog(szText, 1);
        if (MessageBoxA(NULL, szText, "Error", MB_OKCANCEL) == IDCANCEL) {
            *pbCancelled = TRUE;
            break;
        }
        int iAgain = 0;
        if (lpNew ? ReplaceWith(lpNew, lpTarget, &iAgain) : Remove(lpTarget, &iAgain)) {
            WriteLogF(0, "RenameTempFiles: Removed old %s", lpTarget);
            bDone = TRUE;
            break;
        }
        WriteLogF(0, "RenameTempFiles: ERROR: Can't remove old %s: errno = %d", lpTarget, iAgain);
        iErrno = iRenameErrno;
    }
    if (iErrno == 2)
        WriteLogF(0, "RenameTempFiles: ERROR: File not found %s", lpTarget);
    return bDone;
}

/* The volume of a path's folder; asked once per folder, since the commit asks for every target. */
std::string VolumeOf(const char* lpPath)
{
    static std::map<std::string, std::string> known;
    char szFull[MAX_PATH * 2], szVolume[MAX_PATH * 2];
    char* lpName = NULL;
    if (!GetFullPathNameA(lpPath, sizeof(szFull), szFull, &lpName))
        return std::string();
    std::string folder = lpName ? std::string(szFull, (size_t)(lpName - szFull)) : std::string(szFull);
    std::map<std::string, std::string>::const_iterator it = known.find(folder);
    if (it != known.end())
        return it->second;
    if (!GetVolumePathNameA(szFull, szVolume, sizeof(szVolume)))
        return std::string();
    CharUpperA(szVolume);
    known[folder] = szVolume;
    return szVolume;
}

/* The new content of a target, ready beside it: the temporary file itself when this is its last
   use and it lies on the target's volume (a rename then serves), else a copy next to the target. */
BOOL StageNewContent(const char* lpTemp, const char* lpTarget, BOOL bLastUse, std::string* lpStaged)
{
    std::string volume = VolumeOf(lpTemp);
    if (bLastUse && !volume.empty() && volume == VolumeOf(lpTarget)) {
        *lpStaged = lpTemp;
        return TRUE;
    }
    *lpStaged = std::string(lpTarget) + ".UPTMP";
    if (CopyFileA(lpTemp, lpStaged->c_str(), FALSE))
        return TRUE;
    WriteLogF(0, "RenameTempFiles: ERROR: copying %s beside %s failed: %lu", lpTemp, lpTarget, (unsigned long)GetLastError());
    DeleteFileA(lpStaged->c_str());
    return FALSE;
}

enum Outcome { TARGET_DONE, TARGET_STOP };

/* Creates the missing folders of a target path; a folder seen once is not asked for again. */
void MakeFolders(const char* lpTarget)
{
    static std::set<std::string> known;
    const char* slash = strrchr(lpTarget, '\\');
    std::string folder = slash ? std::string(lpTarget, (size_t)(slash - lpTarget)) : std::string();
    if (folder.empty() || known.count(folder))
        return;
    CreateDirectoryPath(lpTarget);
    if (PathPresent(folder.c_str()))
        known.insert(folder);
}

Outcome CommitTarget(const char* lpTarget, const char* lpTemp, DWORD dwTempSize, BOOL bLastUse, BOOL* pbTempGone)
{
    /* Folders are made only for content: an archive handed to its updater leaves nothing here, and
       the folder of a tree its revert removed must not come back empty. */
    if (dwTempSize > 0)
        MakeFolders(lpTarget);
    std::string staged;
    BOOL bPresent = PathPresent(lpTarget);
    if (bPresent && strstr(lpTarget, kNotices)) {
        WriteLogF(1, "Skip rename %s", lpTarget);
        return TARGET_DONE;
    }
    if (dwTempSize > 0 && !StageNewContent(lpTemp, lpTarget, bLastUse, &staged)) {
        WriteLog("RenameTempFiles: CopyFiles:", 0);
        WriteLogF(0, "Failed to rename temp file %s to %s.", lpTemp, lpTarget);
        return TARGET_STOP;
    }
    const char* lpNew = dwTempSize > 0 ? staged.c_str() : NULL;
    BOOL bInPlace = FALSE;  /* the new content already holds the target's name */
    if (bPresent) {
        int iErrno = 0;
        if (lpNew ? ReplaceWith(lpNew, lpTarget, &iErrno) : Remove(lpTarget, &iErrno)) {
            WriteLogF(1, "RenameTempFiles: Removed canFileName: %s", lpTarget);
            bInPlace = lpNew != NULL;
        } else {
            WriteLogF(0, "RenameTempFiles: ERROR: Remove failed, errno = %d (0x%x)", iErrno, iErrno);
            BOOL bCancelled = FALSE;
            BOOL bFree = RetryLocked(lpTarget, lpNew, iErrno, &bCancelled);
            if (bCancelled) {
                WriteLogF(0, "Failed to remove src file %s.", lpTarget);
                if (lpNew && staged != lpTemp)
                    DeleteFileA(staged.c_str());
                return TARGET_STOP;
            }
            bInPlace = bFree && lpNew && !PathPresent(lpNew);
        }
    } else {
        WriteLogF(1, "RenameTempFiles: canFileName: %s does NOT exist (we are about to clobber it, so this is OK)", lpTarget);
    }

    if (dwTempSize == 0) {
        if (dwUpgradeType == 0)
            WriteLogF(1, "RenameTempFiles: Temp file size was 0: %s (%s)", lpTemp, lpTarget);
        else
            WriteLogF(1, "RenameTempFiles: Temp file size was 0: %s", lpTemp);
        return TARGET_DONE;
    }
    int iErrno = 0;
    if (!bInPlace && !ReplaceWith(lpNew, lpTarget, &iErrno)) {
        WriteLog("RenameTempFiles: CopyFiles:", 0);
        WriteLogF(0, "Failed to rename temp file %s to %s.", lpTemp, lpTarget);
        if (staged != lpTemp)
            DeleteFileA(staged.c_str());
        /* A file moved aside goes back under its name rather than leave the name empty. */
        char szAside[PATH_BUFFER + 4];
        FormatText(szAside, sizeof(szAside), "%s.hf", lpTarget);
        if (bPresent && !PathPresent(lpTarget) && PathPresent(szAside) && MoveFileA(szAside, lpTarget))
            WriteLogF(0, "RenameTempFiles: Moved %s back to %s", szAside, lpTarget);
        return TARGET_STOP;
    }
    /* The name must now hold the new content; anything else (a removal that reported success while
       the old file stayed) stops the commit before it goes on. */
    if (FileSizeOf(lpTarget) != dwTempSize) {
        WriteLogF(0, "RenameTempFiles: ERROR: %s does not hold the new content of %s", lpTarget, lpTemp);
        return TARGET_STOP;
    }
    if (staged == lpTemp)
        *pbTempGone = TRUE;
    WriteLog("RenameTempFiles: CopyFiles:", 1);
    WriteLogF(1, "Renamed %s to %s.", lpTemp, lpTarget);
    return TARGET_DONE;
}

/* A patched file without new content was not there to patch ("Skipping"), and stays absent. Were it
   there, an empty temporary file would remove it with no copy kept: such a slot stops the commit
   before any slot is committed, and every file stays as it is. */
BOOL PatchedFilesHaveContent(const COMMITSLOT* lpTable, DWORD dwCount)
{
    for (DWORD k = 1; k <= dwCount; ++k) {
        const COMMITSLOT& slot = lpTable[k];
        if (!slot.lpFile || !*slot.lpFile || slot.dwOperation != zfix::FE_PATCH ||
            ContainsAny(slot.lpFile, kHandedToUpdaters))
            continue;
        char szTemp[PATH_BUFFER];
        TempFileName(k, szTemp, sizeof(szTemp));
        if (FileSizeOf(szTemp) > 0)
            continue;
        std::vector<EntryTarget> targets;
        if (!EntryTargets(slot.lpFile, slot.dwDir, TRUE, &targets))
            return FALSE;
        for (const EntryTarget& t : targets) {
            if (PathPresent(t.path.c_str())) {
                WriteLogF(0, "RenameTempFiles: ERROR: no new content for %s in %s: it stays as it is", t.path.c_str(),
                          szTemp);
                return FALSE;
            }
        }
    }
    return TRUE;
}

}  // namespace

BOOL RenameTempFiles(const COMMITSLOT* lpTable, DWORD dwCount)
{
    WriteLog("RenameTempFiles: Starting", 1);
    if (!PatchedFilesHaveContent(lpTable, dwCount)) {
        WriteLog("RenameTempFiles: Finished", 1);
        return FALSE;
    }
    BOOL bShowProgress = giPartitions > 1 && ghMainDlg;
    if (bShowProgress) {
        SetDlgItemTextA(ghMainDlg, IDC_TEXT5, "Renaming temporary files");
        ShowWindow(GetDlgItem(ghMainDlg, IDC_TEXT5), SW_SHOW);
        GaugeCommand(ghGaugeFile, GAUGE_SETRANGE, (LONG)dwCount);
        GaugeCommand(ghGaugeFile, GAUGE_SETPOS, 0);
        ShowWindow(ghGaugeFile, SW_SHOW);
        ShowWindow(GetDlgItem(ghMainDlg, IDC_TEXT6), SW_HIDE);
        ShowWindow(GetDlgItem(ghMainDlg, IDC_TEXT7), SW_HIDE);
        ShowWindow(ghGaugeTotal, SW_HIDE);
    }
    BOOL bResult = TRUE;
    for (DWORD k = 1; k <= dwCount && bResult; ++k) {
        if (!lpTable[k].lpFile || !*lpTable[k].lpFile)
            continue;
        if (bShowProgress)
            GaugeProgress(ghGaugeFile, GAUGE_SETPOS, (LONG)k);
        std::vector<EntryTarget> targets;
        if (!EntryTargets(lpTable[k].lpFile, lpTable[k].dwDir, TRUE, &targets)) {
            bResult = FALSE;
            break;
        }
        char szTemp[PATH_BUFFER];
        TempFileName(k, szTemp, sizeof(szTemp));
        DWORD dwTempSize = FileSizeOf(szTemp);
        BOOL bTempGone = FALSE;
        BOOL bNotices = FALSE;
        for (size_t j = 0; j < targets.size(); ++j) {
            const char* lpTarget = targets[j].path.c_str();
            WriteLogF(1, "RenameTempFiles: canFileName: %s, dw = %d", lpTarget, (int)k);
            BOOL bLast = j + 1 == targets.size();
            bNotices = bNotices || strstr(lpTarget, kNotices) != NULL;
            if (CommitTarget(lpTarget, szTemp, dwTempSize, bLast, &bTempGone) == TARGET_STOP) {
                bResult = FALSE;
                break;
            }
            if (bLast && dwTempSize > 0 && !bTempGone && PathPresent(szTemp) && !strstr(lpTarget, kNotices) &&
                !DeleteFileA(szTemp))
                WriteLogF(0, "RenameTempFiles: ERROR: deleting file %s: %d", szTemp, (int)GetLastError());
        }
        /* An empty temporary file has done its work (the target is absent now). */
        if (bResult && dwTempSize == 0 && !bNotices && PathPresent(szTemp))
            DeleteFileA(szTemp);
    }
    if (ghGaugeFile)
        ShowWindow(ghGaugeFile, SW_HIDE);
    WriteLog("RenameTempFiles: Finished", 1);
    return bResult;
}
