#include "engine/create_files.h"

#include "components/components.h"
#include "components/jvm.h"
#include "components/names.h"
#include "engine/apply_update.h"
#include "engine/backups_ahead.h"
#include "engine/temps_ahead.h"
#include "engine/progress.h"
#include "engine/targets.h"
#include "identify/checksum.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "installer/file_copy.h"
#include "installer/memory_blocks.h"
#include "installer/paths.h"
#include "installer/decompress_buffer.h"
#include "package/file_entry.h"
#include "package/patch_apply.h"
#include "resources/resource.h"
#include "installer/gauge.h"
#include "installer/window.h"

#include <errno.h>
#include <io.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char* const kComponentArchives[] = {"hlv-dojo.cab", "osgi_plugins.cab", "jvm.cab", "jvm_patch.diff",
                                          "ckeditor.cab", NULL};
const char* const kNotMovedToBackup[] = {"hlv-dojo.cab", "keyrk2.dll", "osgi_plugins.cab", "ckeditor.cab",
                                         "jvm.cab", "jvm_patch.diff", NULL};

/* The unpacked payload of one entry, freed when the entry is done. */
class Payload {
public:
    ~Payload() { Free(); }
    /* The packed resource of entry n. */
    BOOL Find(DWORD n)
    {
        HGLOBAL hRes = FindAndLoadRes((int)n, RES_UPDATE, &cbPacked_);
        packed_ = hRes ? LockResource(hRes) : NULL;
        if (!packed_) {
            WriteLogF(0, "Failed to load update resource %d.", (int)n);
            return FALSE;
        }
        return TRUE;
    }
    /* The bytes of the resource found. */
    BOOL Unpack(DWORD n)
    {
        /* A payload that does not unpack to its stated size is damaged whatever checksum its
           entry states (0 would let the zero-filled rest through the final check). */
        if (!DecompressBuffer(packed_, cbPacked_, &hMem_, &size_)) {
            WriteLogF(0, "CreateUpgradedFiles: ERROR: update resource %d does not unpack to its stated %lu bytes", (int)n,
                      (unsigned long)size_);
            Free();
            return FALSE;
        }
        bytes_ = hMem_ ? (const BYTE*)LockBlock(hMem_) : NULL;
        if (!bytes_)
            size_ = 0;
        return TRUE;
    }
    void Free()
    {
        if (hMem_) {
            UnlockBlock(hMem_);
            FreeBlock(hMem_);
        }
        hMem_ = NULL;
        bytes_ = NULL;
        size_ = 0;
    }
    const BYTE* Bytes() const { return bytes_; }
    DWORD Size() const { return size_; }

private:
    const void* packed_ = NULL;
    DWORD cbPacked_ = 0;
    HGLOBAL hMem_ = NULL;
    const BYTE* bytes_ = NULL;
    DWORD size_ = 0;
};

/* One target of one entry and the names the engine gives it. */
struct Target {
    DWORD n;
    const char* lpEntryName;
    const zfix::FILEENTRY* fe;
    const char* lpDataDir;   /* the data directory handed to the component updaters */
    int iPartition;          /* the partition of a data directory's file, else -1 */
    BOOL bLast;              /* the entry's last target */
    char canFileName[PATH_BUFFER];
    char canTempName[PATH_BUFFER];
    char canShortName[PATH_BUFFER];
    char canBackName[PATH_BUFFER * 2];
    char canOwnBackName[PATH_BUFFER];  /* a data directory file's own backup in its partition, or "" */
    BackupsAhead* ahead;     /* backup links made ahead, or NULL */
    BOOL bAhead;             /* backupOutcome holds this target's backup link */
    BackupOutcome backupOutcome;
    const TempOutcome* made; /* the temporary file made ahead, or NULL */
};

enum Step { STEP_ON, STEP_NEXT_TARGET, STEP_STOP };

BOOL Upgrading() { return giMode != MODE_REVERT; }  /* the branch of the backup step (mode 4 too) */

/* The directory part of a path with its last backslash, or the program directory. */
std::string DirectoryPart(const char* lpPath)
{
    const char* slash = strrchr(lpPath, '\\');
    if (!slash)
        return std::string(gpProgramDir ? gpProgramDir : ".") + "\\";
    return std::string(lpPath, (size_t)(slash - lpPath) + 1);
}

std::string WithoutTrailingSlash(std::string dir)
{
    if (dir.size() > 1 && dir.back() == '\\')
        dir.pop_back();
    return dir;
}

/* The label directory known to be there; asked once per run: asking costs two changes of the
   current directory. */
std::string gKnownLabelDir;

/* The backup name of entry n in the label directory (fixes with labels): "%s\\%s%04d.IIB" of the
   label directory and the base name of the entry's short name. -1 when a name does not fit,
   else the length. */
int LabelBackupName(DWORD n, const char* lpEntryName, char* lpOut, size_t cbOut)
{
    char szShort[PATH_BUFFER], szBase[PATH_BUFFER];
    if (!GetFileNamePart(lpEntryName, szShort, sizeof(szShort)) || !StripFileExtension(szShort, szBase, sizeof(szBase)))
        return -1;
    return FormatText(lpOut, cbOut, "%s\\%s%04d.IIB", canLabelDir, szBase, (int)n);
}

/* canBackName, canTempName and canShortName of a target; canLabelDir is made when a backup of a
   fix with labels will go there. FALSE when a name does not fit. */
BOOL BackupNames(Target* t)
{
    TempFileName(t->n, t->canTempName, sizeof(t->canTempName));
    if (!GetFileNamePart(t->lpEntryName, t->canShortName, sizeof(t->canShortName)))
        return FALSE;
    char szBase[PATH_BUFFER];
    int len;
    t->canOwnBackName[0] = '\0';
    if (dwUpgradeType == 0 && ContainsAny(t->canFileName, kHandedToUpdaters)) {
        /* Beside the archive would be inside the tree that its updater empties or deletes. */
        len = ComponentBackupName(t->n, t->canFileName, t->iPartition >= 0 ? t->lpDataDir : NULL, t->canBackName,
                                  sizeof(t->canBackName));
    } else if (dwUpgradeType == 0) {
        if (!StripFileExtension(t->canFileName, szBase, sizeof(szBase)))
            return FALSE;
        len = FormatText(t->canBackName, sizeof(t->canBackName), "%s%04d.IIB", szBase, (int)t->n);
    } else {
        if (!StripFileExtension(t->canShortName, szBase, sizeof(szBase)))
            return FALSE;
        WriteLogF(2, "CreateUpgradedFiles: canShortName: %s, canFile: %s", t->canShortName, szBase);
        len = LabelBackupName(t->n, t->lpEntryName, t->canBackName, sizeof(t->canBackName));
        if (gKnownLabelDir != canLabelDir) {
            if (IsDirectory(canLabelDir)) {
                gKnownLabelDir = canLabelDir;
            } else if (CreateDirectoryA(canLabelDir, NULL)) {
                WriteLogF(2, "CreateUpgradedFiles: Created backup directory %s", canLabelDir);
                gKnownLabelDir = canLabelDir;
            } else {
                WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed to create backup directory %s", canLabelDir);
            }
        }
    }
    if (len < 0 || (size_t)len >= PATH_BUFFER) {
        WriteLogF(0, "CreateUpgradedFiles: ERROR: the backup name of %s is too long", t->canFileName);
        return FALSE;
    }
    WriteLogF(2, "CreateUpgradedFiles: canBackName: %s", t->canBackName);
    if (dwUpgradeType > 0 && t->iPartition >= 0) {
        /* One data directory's file is not another's: each keeps its own copy beside the shared one. */
        std::string own = PartitionBackupName(canLabelDir, t->iPartition, t->canBackName);
        if (own.empty()) {
            WriteLogF(0, "CreateUpgradedFiles: ERROR: the backup name of %s is too long", t->canFileName);
            return FALSE;
        }
        CopyText(t->canOwnBackName, sizeof(t->canOwnBackName), own.c_str());
        WriteLogF(2, "CreateUpgradedFiles: canBackName of the data directory: %s", t->canOwnBackName);
    }
    WriteLogF(2, "CreateUpgradedFiles: canTempName: %s", t->canTempName);
    return TRUE;
}

/* Makes the backup directory of a data directory's own copy when it is not there. */
void MakeOwnBackupDir(const char* lpOwnBackName)
{
    const std::string dir = WithoutTrailingSlash(DirectoryPart(lpOwnBackName));
    if (IsDirectory(dir.c_str()))
        return;
    if (CreateDirectoryA(dir.c_str(), NULL))
        WriteLogF(2, "CreateUpgradedFiles: Created backup directory %s", dir.c_str());
    else
        WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed to create backup directory %s", dir.c_str());
}

/* The program directory's backup of a data directory's component tree, which the fix registry
   names: the first data directory's, kept once made. */
void KeepSharedCopy(const char* lpOwn, const char* lpShared)
{
    if (DoesFileExist(lpShared) || !DoesFileExist(lpOwn))
        return;
    if (!CopyFileA(lpOwn, lpShared, TRUE))
        WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed Backing up %s to %s (%ld)", lpOwn, lpShared, (long)GetLastError());
}

/* The backup copy of a file the commit replaces or removes: the file itself keeps its name and
   content until then, so that a run stopped before the commit leaves every file in place. An
   earlier attempt's backup is kept. lpAhead: the outcome of the same link made ahead, if any. */
BOOL CopyToBackup(const char* lpFrom, const char* lpTo, const BackupOutcome* lpAhead)
{
    const BOOL bLinked = lpAhead ? lpAhead->bLinked : KeepBackup(lpFrom, lpTo);
    if (bLinked) {
        WriteLogF(2, "CreateUpgradedFiles: Backed up %s to %s", lpFrom, lpTo);
        return TRUE;
    }
    DWORD dwError = lpAhead ? lpAhead->dwError : GetLastError();
    if (dwError == ERROR_FILE_EXISTS || dwError == ERROR_ALREADY_EXISTS)
        return TRUE;  /* an earlier attempt's backup is kept */
    WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed Backing up %s to %s (%ld)", lpFrom, lpTo, (long)dwError);
    DeleteFileA(lpTo);  /* a copy cut short (a full disk) is no backup */
    return FALSE;
}

/* A data directory's own copy of its file; an earlier attempt's copy is kept. */
BOOL KeepOwnBackup(const Target& t)
{
    MakeOwnBackupDir(t.canOwnBackName);
    return CopyToBackup(t.canFileName, t.canOwnBackName, NULL);
}

void MoveToBackup(const char* lpFrom, const char* lpTo)
{
    if (rename(lpFrom, lpTo) == 0)
        WriteLogF(2, "CreateUpgradedFiles: Backed up %s to %s", lpFrom, lpTo);
    else
        WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed Backing up %s to %s (%ld)", lpFrom, lpTo, (long)errno);
}

/* The component updater of an archive, with its log lines; TRUE when the target was one. */
BOOL HandToComponent(const Target& t, BOOL bUpgrade, BOOL* pbFailed)
{
    const char* f = t.canFileName;
    const char* tmp = t.canTempName;
    /* A data directory's tree goes into, and comes back from, that data directory's own copy. */
    const char* back = *t.canOwnBackName ? t.canOwnBackName : t.canBackName;
    if (*t.canOwnBackName && Upgrading())
        MakeOwnBackupDir(t.canOwnBackName);
    if (strstr(f, "hlv-dojo.cab")) {
        const char* p = bUpgrade ? "CreateUpgradedFiles: Calling ProcessDojo 2: " : "CreateUpgradedFiles: Calling ProcessDojo: ";
        WriteLogF(2, "%sgpZorelData[i] = %s", p, t.lpDataDir);
        WriteLogF(2, "%scanFileName = %s", p, f);
        WriteLogF(2, "%scanTempName = %s", p, tmp);
        WriteLogF(2, "%scanBackName = %s", p, back);
        ProcessDojo(t.lpDataDir, f, tmp, back);
        if (*t.canOwnBackName && Upgrading())
            KeepSharedCopy(t.canOwnBackName, t.canBackName);
        if (t.bLast)
            DeleteFileA(tmp);
        return TRUE;
    }
    if (strstr(f, "osgi_plugins.cab")) {
        const char* p = "CreateUpgradedFiles: Calling ProcessOsgi: ";
        WriteLogF(2, "%scanFileName = %s", p, f);
        WriteLogF(2, "%scanTempName = %s", p, tmp);
        WriteLogF(2, "%scanBackName = %s", p, back);
        ProcessOsgi(f, tmp, back);
        DeleteFileA(tmp);
        return TRUE;
    }
    if (strstr(f, "kwswindows.zip")) {
        ProcessKWS(f, tmp, back);
        DeleteFileA(tmp);
        return TRUE;
    }
    if (strstr(f, "ckeditor.cab")) {
        const char* p = "CreateUpgradedFiles: Calling ProcessCkeditor: ";
        WriteLogF(2, "%scanFileName = %s", p, f);
        WriteLogF(2, "%scanTempName = %s", p, tmp);
        WriteLogF(2, "%scanBackName = %s", p, back);
        WriteLogF(2, "%sgpZorelData[i] = %s", p, t.lpDataDir);
        ProcessCkEditor(f, tmp, back, t.lpDataDir);
        if (*t.canOwnBackName && Upgrading())
            KeepSharedCopy(t.canOwnBackName, t.canBackName);
        if (t.bLast)
            DeleteFileA(tmp);
        return TRUE;
    }
    if (strstr(f, "jvm.cab")) {
        if (bUpgrade && !RestoreGoldJvm(f, t.n)) {
            *pbFailed = TRUE;
            return TRUE;
        }
        const char* p = bUpgrade ? "CreateUpgradedFiles: Calling ProcessJvm (2): " : "CreateUpgradedFiles: Calling ProcessJvm (1): ";
        WriteLogF(2, "%scanFileName = %s", p, f);
        WriteLogF(2, "%scanTempName = %s", p, tmp);
        WriteLogF(2, "%scanBackName = %s", p, back);
        gbJvmUpdated = ProcessJvm(f, tmp, back);
        DeleteFileA(tmp);
        return TRUE;
    }
    if (strstr(f, "jvm_patch.diff"))
        WriteLog("jvm_patch.diff", 1);
    return FALSE;
}

/* An old-fix entry on revert: its backup goes back into place. */
void RestoreOldFix(DWORD n, const char* lpName)
{
    char szShort[PATH_BUFFER], szBase[PATH_BUFFER], szBack[PATH_BUFFER * 2];
    if (!GetFileNamePart(lpName, szShort, sizeof(szShort)) || !StripFileExtension(szShort, szBase, sizeof(szBase)))
        return;
    FormatText(szBack, sizeof(szBack), "%s\\%s%04d.IIB", canLabelDir, szBase, (int)n);
    if (!DoesFileExist(szBack)) {
        WriteLogF(2, "CreateUpgradedFiles: Backup file for old fix %s doesn't exist", szBack);
        return;
    }
    WriteLogF(2, "CreateUpgradedFiles: Backup file for old fix exists");
    if (DoesFileExist(lpName)) {
        WriteLogF(2, "CreateUpgradedFiles: Before removing old fix temp file %s", lpName);
        DeleteFileA(lpName);
    }
    if (rename(szBack, lpName) == 0)
        WriteLogF(2, "CreateUpgradedFiles: Restored old fix %s to %s", szBack, lpName);
    else
        WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed Restoring old fix %s to %s (%ld)", szBack, lpName, (long)errno);
}

/* The entry of the fix named lpName in the directory dwDir; 0 when there is none. */
DWORD EntryNamed(const std::string& name, DWORD dwDir)
{
    for (DWORD n = 1;; ++n) {
        DWORD cb = 0;
        const void* data = QuietResource((int)n, RES_FILEENTRY, &cb);
        char szName[PATH_BUFFER];
        zfix::FILEENTRY fe;
        if (!data || !zfix::ReadFileEntry(data, cb, szName, sizeof(szName), &fe))
            return 0;
        if (_stricmp(szName, name.c_str()) == 0 && zfix::EffectiveDir(fe.dwDir) == zfix::EffectiveDir(dwDir))
            return n;
    }
}

/* The revert of a file the upgrade found by its time-stamped name: it goes back under that name,
   and the commit removes the file of the entry's name, for which no temporary file is made. When
   the fix also lists the file under that name (removed by the fix), it becomes that entry's
   temporary file unless the entry has one of its own: the commit would otherwise remove it again. */
void RestoreStamped(const Target& t, const std::string& stamped, BOOL* pbResult)
{
    std::string original = StampedOriginal(t.canFileName, stamped.c_str());
    const DWORD m = original.empty() ? 0 : EntryNamed(StampedOriginal(t.lpEntryName, stamped.c_str()), t.fe->dwDir);
    if (m != 0) {
        char szTemp[PATH_BUFFER];
        TempFileName(m, szTemp, sizeof(szTemp));
        if (PathPresent(szTemp)) {
            WriteLogF(2, "CreateUpgradedFiles: %s is restored by entry %d", stamped.c_str(), (int)m);
            return;
        }
        original = szTemp;
    }
    if (!original.empty() && PathPresent(original.c_str())) {
        WriteLogF(2, "CreateUpgradedFiles: %s is in its place; %s stays", original.c_str(), stamped.c_str());
        return;
    }
    if (!original.empty() && MoveFileA(stamped.c_str(), original.c_str())) {
        WriteLogF(2, "CreateUpgradedFiles: Restored %s to %s", stamped.c_str(), original.c_str());
        return;
    }
    WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed Restoring %s to %s (%ld)", stamped.c_str(), original.c_str(),
              (long)GetLastError());
    *pbResult = FALSE;
}

/* Backup step of whole files and removals. */
Step BackupStep(Target* t, BOOL* pbResult, BOOL* pbFailed)
{
    if (Upgrading()) {
        BOOL bMatch = FALSE;
        char szStamped[PATH_BUFFER] = "";
        std::string dir;
        t->bAhead = t->ahead && t->ahead->Take(t->n, t->canFileName, &t->backupOutcome);
        const BOOL bInstalled = t->bAhead ? t->backupOutcome.bExists : DoesFileExist(t->canFileName);
        if (!bInstalled) {
            dir = DirectoryPart(t->canFileName);
            if (NameStart(WithoutTrailingSlash(dir).c_str(), t->canShortName, szStamped, sizeof(szStamped))) {
                WriteLogF(2, "CreateUpgradedFiles: Matched canShortName: %s;  canTimestampName: %s", t->canShortName,
                          szStamped);
                bMatch = TRUE;
            }
        }
        if (bInstalled || ContainsAny(t->canFileName, kComponentArchives) || bMatch) {
            if (bMatch) {
                char szBase[PATH_BUFFER], szTmpBackup[PATH_BUFFER];
                StripFileExtension(szStamped, szBase, sizeof(szBase));
                FormatText(szTmpBackup, sizeof(szTmpBackup), "%s%04d.IIB", szBase, (int)t->n);
                WriteLogF(2, "CreateUpgradedFiles: canShortTimestampName: %s;  canTimestampName: %s", szBase, szStamped);
                WriteLogF(2, "CreateUpgradedFiles: canTmpBackupName: %s", szTmpBackup);
                /* A fix without labels keeps its backups beside the files, where its revert looks. */
                if (dwUpgradeType == 0)
                    FormatText(t->canBackName, sizeof(t->canBackName), "%s%s", dir.c_str(), szTmpBackup);
                else
                    FormatText(t->canBackName, sizeof(t->canBackName), "%s\\%s", canLabelDir, szTmpBackup);
                MoveToBackup((dir + szStamped).c_str(), t->canBackName);
            }
            if (!ContainsAny(t->canFileName, kNotMovedToBackup) && !bMatch) {
                if (strstr(t->canFileName, kNotices)) {
                    if (!DoesFileExist(t->canBackName))
                        WriteLogF(2, "CreateUpgradedFiles: Skip replace and backup %s to %s", t->canFileName, t->canBackName);
                } else if ((*t->canOwnBackName && !KeepOwnBackup(*t)) ||
                           !CopyToBackup(t->canFileName, t->canBackName, t->bAhead ? &t->backupOutcome : NULL)) {
                    /* The commit would replace or remove the file with nothing to bring it back. */
                    *pbResult = FALSE;
                    return STEP_STOP;
                }
            }
        } else {
            WriteLogF(2, "CreateUpgradedFiles: File %s doesn't exist in current install! (This can be ok)", t->canFileName);
            char szExt[PATH_BUFFER];
            GetFileExtension(t->canFileName, szExt, sizeof(szExt));
            if (strcmp(szExt, "sys") == 0)
                return STEP_NEXT_TARGET;
        }
        return STEP_ON;
    }

    WriteLog("CreateUpgradedFiles: giMode is REVERT", 2);
    if (*t->canOwnBackName && ContainsAny(t->canFileName, kHandedToUpdaters) && DoesFileExist(t->canOwnBackName)) {
        /* The data directory's tree from its own copy, which goes once the revert is committed. */
        if (CopyFiles(t->canOwnBackName, t->canTempName)) {
            WriteLogF(2, "CreateUpgradedFiles: Restored %s to %s", t->canOwnBackName, t->canTempName);
            HandToComponent(*t, FALSE, pbFailed);
        } else {
            WriteLog("CreateUpgradedFiles: ERROR: CopyFiles :", 0);
            WriteLogF(0, "Failed to rename temp file %s to %s.", t->canOwnBackName, t->canTempName);
            *pbResult = FALSE;
        }
        return STEP_ON;
    }
    if (!DoesFileExist(t->canBackName)) {
        const std::string stamped = StampedBackup(t->canBackName);
        if (!stamped.empty()) {
            RestoreStamped(*t, stamped, pbResult);
            return STEP_ON;
        }
    }
    if (!DoesFileExist(t->canBackName)) {
        WriteLogF(2, "CreateUpgradedFiles: Backup file %s doesn't exist", t->canBackName);
        return STEP_ON;
    }
    if (DoesFileExist(t->canTempName))
        DeleteFileA(t->canTempName);
    if (t->bLast) {
        if (rename(t->canBackName, t->canTempName) == 0) {
            WriteLogF(2, "CreateUpgradedFiles: Restored %s to %s", t->canBackName, t->canTempName);
        } else {
            WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed Restoring %s to %s (%ld)", t->canBackName, t->canTempName,
                      (long)errno);
            /* Without its temporary file the commit would remove the installed file, and the
               backup directories would go after it. */
            *pbResult = FALSE;
            return STEP_ON;
        }
    } else if (!CopyFiles(t->canBackName, t->canTempName)) {
        WriteLog("CreateUpgradedFiles: ERROR: CopyFiles :", 0);
        WriteLogF(0, "Failed to rename temp file %s to %s.", t->canBackName, t->canTempName);
        *pbResult = FALSE;
        return STEP_ON;
    }
    /* Only a restored backup goes to a component's updater, which empties the tree first. */
    HandToComponent(*t, FALSE, pbFailed);
    return STEP_ON;
}

/* Sets the last-access and last-modified times of the open file; every byte is written first. */
BOOL StampTime(FILE* f, DWORD dwTime)
{
    if (fflush(f) != 0)
        return FALSE;
    HANDLE h = (HANDLE)_get_osfhandle(_fileno(f));
    FILETIME ft = UnixTimeToFileTime(dwTime);
    return h != INVALID_HANDLE_VALUE && SetFileTime(h, NULL, &ft, &ft);
}

/* The end of the temporary file step, once the content passed its final check: the backup of a
   patched file, the component updaters, and the closing lines. */
Step FinishTempFileStep(Target* t, BOOL* pbResult, BOOL* pbFailed, BOOL bStamped)
{
    /* A patched file's installed version goes under the backup name the fix registry records too:
       the patch itself only turns the file back, and a later restore of the base release (a second
       fix on the same base) works from backup copies. The shared copy is the first data
       directory's, so a data directory's file is kept in its own copy as well, as a replaced one is. */
    if (t->fe->dwOperation == zfix::FE_PATCH && giMode == MODE_UPGRADE && dwUpgradeType > 0) {
        t->bAhead = t->ahead && t->ahead->Take(t->n, t->canFileName, &t->backupOutcome);
        const BOOL bOwn = *t->canOwnBackName && !ContainsAny(t->canFileName, kHandedToUpdaters);
        if ((bOwn && !KeepOwnBackup(*t)) ||
            !CopyToBackup(t->canFileName, t->canBackName, t->bAhead ? &t->backupOutcome : NULL)) {
            *pbResult = FALSE;
            return STEP_STOP;
        }
    }
    if (HandToComponent(*t, giMode == MODE_UPGRADE, pbFailed))
        return STEP_ON;
    if (!bStamped) {
        WriteLogF(1, "Failed to set time on %s.", t->canTempName);
        return STEP_ON;
    }
    WriteLog("OK", 1);
    WriteLog("", 1);
    return STEP_ON;
}

/* Temporary file step: the content for the end of the run, its final check and its time. The
   checksum is taken of the bytes as they are written, and the time is set through the open file:
   opening a file is the dearest part of writing a small one. */
Step TempFileStep(Target* t, FILE* lpInstalled, const Payload& payload, BOOL* pbResult, BOOL* pbFailed)
{
    const zfix::FILEENTRY* fe = t->fe;
    if (t->made) {
        /* Made ahead: written, checked and timed as below, with UpgradeFile's lines and gauge. */
        ReplayUpgradeFile(fe, t->made->gauge);
        WriteLogF(2, "CreateUpgradedFiles: UpgradeFile returned SUCCESS for file %s", t->canFileName);
        return FinishTempFileStep(t, pbResult, pbFailed, TRUE);
    }
    FILE* tmp = fopen(t->canTempName, "w+b");
    if (!tmp) {
        if (lpInstalled)
            fclose(lpInstalled);
        WriteLogF(0, "Failed to open the temp file %s.", t->canTempName);
        *pbResult = FALSE;
        return STEP_STOP;
    }
    setvbuf(tmp, NULL, _IOFBF, 256 * 1024);
    BOOL bOk;
    DWORD dwExpected, dwTime;
    unsigned long dwFound = 0;
    if (giMode == MODE_UPGRADE) {
        bOk = UpgradeFile(lpInstalled, t->canFileName, tmp, payload.Bytes(), payload.Size(), fe, &dwFound);
        if (bOk)
            WriteLogF(2, "CreateUpgradedFiles: UpgradeFile returned SUCCESS for file %s", t->canFileName);
        else
            WriteLogF(0, "CreateUpgradedFiles: UpgradeFile returned ERROR for file %s", t->canFileName);
        dwExpected = fe->dwNewChecksum;
        dwTime = fe->dwNewTime;
    } else {
        bOk = RevertFile(lpInstalled, t->canFileName, tmp, payload.Bytes(), payload.Size(), fe, &dwFound);
        if (bOk)
            WriteLogF(2, "CreateUpgradedFiles: RevertFile returned SUCCESS for file %s", t->canFileName);
        else
            WriteLogF(0, "CreateUpgradedFiles: RevertFile returned ERROR for file %s", t->canFileName);
        dwExpected = fe->dwOldChecksum;
        dwTime = fe->dwOldTime;
        WriteLogF(2, "CreateUpgradedFiles: Expected Cksm  %lx; Expected size %lx", (unsigned long)fe->dwOldChecksum,
                  (unsigned long)fe->dwOldSize);
    }
    if (lpInstalled)
        fclose(lpInstalled);
    const BOOL bPasses = PassesFinalCheck(dwFound, dwExpected, zfix::ExpectedOutputSize(*fe, giMode != MODE_UPGRADE));
    const BOOL bComponent = ContainsAny(t->canFileName, kHandedToUpdaters);
    BOOL bStamped = FALSE;
    if (bOk && bPasses && !bComponent)
        bStamped = StampTime(tmp, dwTime);
    BOOL bClosed = fclose(tmp) == 0;
    if (!bOk || !bClosed) {
        WriteLog("Failed", 0);
        *pbResult = FALSE;
        return STEP_STOP;
    }
    if (!bPasses) {
        WriteLogF(0, "New file (%s) failed at final checksum. (Found %#lx, Expected %#lx)", t->canTempName, dwFound,
                  (unsigned long)dwExpected);
        *pbResult = FALSE;
        return STEP_STOP;
    }
    return FinishTempFileStep(t, pbResult, pbFailed, bStamped);
}

Step DoTarget(Target* t, const Payload& payload, BOOL* pbResult, BOOL* pbFailed)
{
    const zfix::FILEENTRY* fe = t->fe;
    WriteLogF(2, giMode == MODE_UPGRADE ? "Upgrading %s..." : "Reverting %s...", t->canFileName);
    if (!BackupNames(t)) {
        *pbResult = FALSE;
        return STEP_STOP;
    }
    FILE* installed = NULL;
    if (fe->dwOperation == zfix::FE_PATCH) {
        if (!t->made) {  /* a file made ahead was read there */
            installed = fopen(t->canFileName, "rb");
            if (!installed) {
                WriteLogF(0, "Failed to open the src file %s. Skipping.", t->canFileName);
                if (!PathPresent(t->canFileName))
                    return STEP_NEXT_TARGET;  /* not installed here: it stays absent */
                /* There but unreadable (held, denied): with no new content the commit would
                   remove it with no copy kept, so the run stops before anything is committed. */
                WriteLogF(0, "CreateUpgradedFiles: ERROR: %s is there but cannot be read (%ld)", t->canFileName,
                          (long)errno);
                *pbResult = FALSE;
                return STEP_STOP;
            }
            setvbuf(installed, NULL, _IOFBF, 256 * 1024);
        }
    } else {
        Step s = BackupStep(t, pbResult, pbFailed);
        if (s != STEP_ON || *pbFailed)
            return *pbFailed ? STEP_STOP : s;
        if (fe->dwOperation == zfix::FE_REMOVE)
            return STEP_NEXT_TARGET;
        if (giMode == MODE_REVERT) {
            WriteLog("CreateUpgradedFiles: Freeing memory while reverting...", 2);
            GaugeProgress(ghGaugeTotal, GAUGE_SETPOS, (LONG)t->n);
            return STEP_NEXT_TARGET;
        }
    }
    return TempFileStep(t, installed, payload, pbResult, pbFailed);
}

BOOL KnownOperation(const zfix::FILEENTRY& fe)
{
    switch (fe.dwOperation) {
    case zfix::FE_PATCH:
    case zfix::FE_REPLACE:
    case zfix::FE_REMOVE:
        return TRUE;
    case zfix::FE_OLDFIX:
        return dwUpgradeType > 0;
    default:
        return FALSE;
    }
}

/* An entry of an upgrade whose backup and temporary file the loop makes with the same outcome
   whoever makes them: a patched, replaced or removed file with one target in the program
   directory, no archive of the component updaters and not the notices file (their files follow
   rules of their own). */
struct PlainEntry {
    DWORD n;
    std::string name;  /* also its target */
    zfix::FILEENTRY fe;
};

std::vector<PlainEntry> PlainEntries(DWORD dwCount)
{
    std::vector<PlainEntry> entries;
    for (DWORD n = 1; n <= dwCount; ++n) {
        DWORD cb = 0;
        const void* data = QuietResource((int)n, RES_FILEENTRY, &cb);
        char szName[PATH_BUFFER];
        zfix::FILEENTRY fe;
        if (!data || !zfix::ReadFileEntry(data, cb, szName, sizeof(szName), &fe))
            break;  /* the loop stops there */
        const int dir = zfix::EffectiveDir(fe.dwDir);
        const BOOL bFile = fe.dwOperation == zfix::FE_PATCH || fe.dwOperation == zfix::FE_REPLACE ||
                           fe.dwOperation == zfix::FE_REMOVE;
        if (bFile && dir != zfix::DIR_DATA && dir != zfix::DIR_SYSTEM && !ContainsAny(szName, kNotMovedToBackup) &&
            !ContainsAny(szName, kHandedToUpdaters) && !strstr(szName, kNotices))
            entries.push_back(PlainEntry{n, szName, fe});
    }
    return entries;
}

/* The backup links of the entries from `from` on, in the label directory. */
std::vector<BackupJob> BackupJobs(const std::vector<PlainEntry>& entries, DWORD from)
{
    std::vector<BackupJob> jobs;
    for (const PlainEntry& e : entries) {
        char szBack[PATH_BUFFER];
        const int len = LabelBackupName(e.n, e.name.c_str(), szBack, sizeof(szBack));
        if (e.n < from || len < 0 || (size_t)len >= sizeof(szBack))
            continue;
        jobs.push_back(BackupJob{e.n, e.name, szBack, e.fe.dwOperation != zfix::FE_PATCH});
    }
    return jobs;
}

/* The temporary files of the patched and replaced entries; not of a driver (".sys"), which the
   loop skips when it is not installed, nor of a file too big to be made in memory. */
std::vector<TempJob> TempJobs(const std::vector<PlainEntry>& entries)
{
    std::vector<TempJob> jobs;
    for (const PlainEntry& e : entries) {
        char szExt[PATH_BUFFER], szTemp[PATH_BUFFER];
        GetFileExtension(e.name.c_str(), szExt, sizeof(szExt));
        if (e.fe.dwOperation == zfix::FE_REMOVE || strcmp(szExt, "sys") == 0 ||
            e.fe.dwOldSize > TempsAhead::kMaxInMemory || e.fe.dwNewSize > TempsAhead::kMaxInMemory)
            continue;
        TempFileName(e.n, szTemp, sizeof(szTemp));
        jobs.push_back(TempJob{e.n, e.fe, e.name, szTemp});
    }
    return jobs;
}

/* The backup that the revert renames to entry n's temporary file: that of the entry's last target
   (earlier targets get copies). Empty when it cannot be named. */
std::string LastTargetBackupName(DWORD n, const char* lpName, const zfix::FILEENTRY& fe)
{
    std::vector<EntryTarget> targets;
    if (!EntryTargets(lpName, fe.dwDir, FALSE, &targets) || targets.empty())
        return std::string();
    const EntryTarget& last = targets.back();
    char szBack[PATH_BUFFER * 2], szBase[PATH_BUFFER];
    int len = -1;
    if (dwUpgradeType > 0) {
        len = LabelBackupName(n, lpName, szBack, sizeof(szBack));
    } else if (ContainsAny(last.path.c_str(), kHandedToUpdaters)) {
        const BOOL bData = zfix::EffectiveDir(fe.dwDir) == zfix::DIR_DATA && gpZorelData && last.iPartition < giPartitions;
        len = ComponentBackupName(n, last.path.c_str(), bData ? gpZorelData[last.iPartition] : NULL, szBack, sizeof(szBack));
    } else if (StripFileExtension(last.path.c_str(), szBase, sizeof(szBase))) {
        len = FormatText(szBack, sizeof(szBack), "%s%04d.IIB", szBase, (int)n);
    }
    if (len < 0 || (size_t)len >= PATH_BUFFER)
        return std::string();
    return szBack;
}

/* What a revert does with a temporary file an earlier run left. */
enum EarlierTemp { TEMP_STALE, TEMP_KEPT, TEMP_BACK_TO_BACKUP };

/* A revert's temporary file that an earlier revert of the same fix made by renaming the entry's
   backup to it: the old file itself, and its only copy. With the old file's checksum it is kept
   for the commit to put in place. A file of the installation's own (a data directory's customised
   template) has a checksum of its own: that the backup is gone tells it then, and it goes back
   under the backup's name, where this revert takes it from again. *lpBack: that name. New content
   of an upgrade (the fix's checksum) and anything for a file the fix adds are stale. */
EarlierTemp RestoredByAnEarlierRevert(DWORD n, const char* lpTemp, std::string* lpBack)
{
    DWORD cb = 0;
    const void* data = QuietResource((int)n, RES_FILEENTRY, &cb);
    char szName[PATH_BUFFER];
    zfix::FILEENTRY fe;
    if (!data || !zfix::ReadFileEntry(data, cb, szName, sizeof(szName), &fe))
        return TEMP_STALE;
    if (fe.dwOperation != zfix::FE_REPLACE && fe.dwOperation != zfix::FE_REMOVE)
        return TEMP_STALE;
    if (fe.dwOldSize == 0 && fe.dwOldChecksum == 0)
        return TEMP_STALE;  /* the fix adds the file: the upgrade backed nothing up */
    FILE* f = fopen(lpTemp, "rb");
    if (!f)
        return TEMP_STALE;
    const unsigned long dwFound = FileChecksum(f);
    fclose(f);
    if (fe.dwOldChecksum != 0 && dwFound == fe.dwOldChecksum)
        return TEMP_KEPT;
    if (FileSizeOf(lpTemp) == 0 || (fe.dwNewChecksum != 0 && dwFound == fe.dwNewChecksum))
        return TEMP_STALE;
    *lpBack = LastTargetBackupName(n, szName, fe);
    return !lpBack->empty() && !PathPresent(lpBack->c_str()) ? TEMP_BACK_TO_BACKUP : TEMP_STALE;
}

}  // namespace

void RemoveTempFiles(BOOL bStale)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA("UPTMP????.TMP", &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const char* lpDigits = fd.cFileName + 5;  /* the name itself, not a short alias that matched */
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || strlen(fd.cFileName) != 13 ||
            strspn(lpDigits, "0123456789") != 4)
            continue;
        if (bStale && giMode == MODE_REVERT) {
            std::string back;
            const EarlierTemp earlier = RestoredByAnEarlierRevert((DWORD)atoi(lpDigits), fd.cFileName, &back);
            if (earlier == TEMP_KEPT) {
                WriteLogF(2, "CreateUpgradedFiles: Kept %s, the backup an earlier revert restored", fd.cFileName);
                continue;
            }
            if (earlier == TEMP_BACK_TO_BACKUP) {
                if (MoveFileExA(fd.cFileName, back.c_str(), MOVEFILE_COPY_ALLOWED))
                    WriteLogF(2, "CreateUpgradedFiles: Restored %s, which an earlier revert restored, to %s", fd.cFileName,
                              back.c_str());
                else
                    WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed Restoring %s to %s (%lu); it is kept", fd.cFileName,
                              back.c_str(), (unsigned long)GetLastError());
                continue;
            }
        }
        const char* lpWhose = bStale ? "left by an earlier run" : "made by this run";
        if (DeleteFileA(fd.cFileName))
            WriteLogF(2, "CreateUpgradedFiles: Removed %s, %s", fd.cFileName, lpWhose);
        else
            WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed to remove %s, %s (%lu)", fd.cFileName, lpWhose,
                      (unsigned long)GetLastError());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

BOOL RestorePartitionCopies(DWORD dwCount)
{
    BOOL bResult = TRUE;
    for (DWORD n = 1; n <= dwCount; ++n) {
        DWORD cb = 0;
        const void* data = QuietResource((int)n, RES_FILEENTRY, &cb);
        char szName[PATH_BUFFER], szBack[PATH_BUFFER];
        zfix::FILEENTRY fe;
        if (!data || !zfix::ReadFileEntry(data, cb, szName, sizeof(szName), &fe))
            break;
        if (zfix::EffectiveDir(fe.dwDir) != zfix::DIR_DATA || (fe.dwOperation != zfix::FE_PATCH &&
                                                               fe.dwOperation != zfix::FE_REPLACE &&
                                                               fe.dwOperation != zfix::FE_REMOVE))
            continue;
        const int len = LabelBackupName(n, szName, szBack, sizeof(szBack));
        std::vector<EntryTarget> targets;
        if (len < 0 || (size_t)len >= sizeof(szBack) || !EntryTargets(szName, fe.dwDir, TRUE, &targets))
            return FALSE;
        const BOOL bComponent = ContainsAny(szName, kHandedToUpdaters);
        for (const EntryTarget& target : targets) {
            const std::string own = PartitionBackupName(canLabelDir, target.iPartition, szBack);
            if (own.empty() || !DoesFileExist(own.c_str()))
                continue;
            /* A component's tree came back from its copy already. */
            if (!bComponent && !SameFile(own.c_str(), target.path.c_str()) &&
                !CopyFileA(own.c_str(), target.path.c_str(), FALSE)) {
                WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed Restoring %s to %s (%ld)", own.c_str(),
                          target.path.c_str(), (long)GetLastError());
                bResult = FALSE;
                continue;
            }
            if (!bComponent)
                WriteLogF(2, "CreateUpgradedFiles: Restored %s to %s", own.c_str(), target.path.c_str());
            DeleteFileA(own.c_str());
            RemoveDirectoryA(WithoutTrailingSlash(DirectoryPart(own.c_str())).c_str());  /* once empty */
        }
    }
    return bResult;
}

BOOL CreateUpgradedFiles(DWORD dwCount)
{
    GaugeCommand(ghGaugeTotal, GAUGE_SETRANGE, (LONG)dwCount);
    GaugeCommand(ghGaugeFile, GAUGE_SETPOS, 0);
    BOOL bResult = TRUE;
    BOOL bFailed = FALSE;  /* a failure that ends the whole step at once */
    WriteLogF(2, "CreateUpgradedFiles: number of file entries: %d", (int)dwCount);
    RemoveTempFiles(TRUE);
    /* Upgrades of fixes with labels make their temporary files ahead, and their backup links from
       the first entry after the one that made sure of the label directory. A failed or stopped
       upgrade of a fix with labels is undone, temporary files made ahead included. */
    BackupsAhead ahead;
    TempsAhead made;
    BOOL bLinksAhead = giMode == MODE_UPGRADE && dwUpgradeType > 0;
    std::vector<PlainEntry> plain;
    if (bLinksAhead) {
        plain = PlainEntries(dwCount);
        made.Start(TempJobs(plain));
    }

    for (DWORD n = 1; n <= dwCount && bResult && !bFailed; ++n) {
        DWORD cb = 0;
        HGLOBAL hEntry = FindAndLoadRes((int)n, RES_FILEENTRY, &cb);
        const void* data = hEntry ? LockResource(hEntry) : NULL;
        if (!data) {
            WriteLog("Failed to load file entry resource.", 0);
            bResult = FALSE;
            break;
        }
        char szName[PATH_BUFFER];
        zfix::FILEENTRY fe;
        if (!zfix::ReadFileEntry(data, cb, szName, sizeof(szName), &fe)) {
            WriteLogF(0, "CreateUpgradedFiles: ERROR: file entry %d is damaged", (int)n);
            bResult = FALSE;
            break;
        }
        WriteLogF(2, "CreateUpgradedFiles: canTempName:= %s", szName);
        if (!KnownOperation(fe)) {
            WriteLogF(0, "CreateUpgradedFiles: ERROR: entry %d (%s) has the operation %lu, which this fix cannot apply",
                      (int)n, szName, (unsigned long)fe.dwOperation);
            bResult = FALSE;
            break;
        }
        if (fe.dwOperation == zfix::FE_OLDFIX) {
            if (giMode == MODE_REVERT)
                RestoreOldFix(n, szName);
            continue;
        }
        Payload payload;
        TempOutcome madeAhead;
        BOOL bMadeAhead = FALSE;
        if (fe.dwOperation != zfix::FE_REMOVE) {
            if (!payload.Find(n)) {
                bResult = FALSE;
                break;
            }
            bMadeAhead = made.Started() && made.Take(n, szName, &madeAhead);
            if (!bMadeAhead && !payload.Unpack(n)) {
                bResult = FALSE;
                break;
            }
        }
        char szLine[PATH_BUFFER * 2];
        FormatText(szLine, sizeof(szLine), "%s %s", Str(30), szName);
        ShowCurrentFile(szLine);

        std::vector<EntryTarget> targets;
        if (!EntryTargets(szName, fe.dwDir, FALSE, &targets)) {
            bResult = FALSE;
            break;
        }
        if (bLinksAhead && gKnownLabelDir == canLabelDir) {
            bLinksAhead = FALSE;  /* started once */
            ahead.Start(BackupJobs(plain, n));
        }
        for (size_t j = 0; j < targets.size(); ++j) {
            Target t;
            memset(&t, 0, sizeof(t));
            t.ahead = ahead.Started() ? &ahead : NULL;
            t.made = bMadeAhead ? &madeAhead : NULL;
            t.n = n;
            t.lpEntryName = szName;
            t.fe = &fe;
            int iData = zfix::EffectiveDir(fe.dwDir) == zfix::DIR_DATA ? targets[j].iPartition : 0;
            t.lpDataDir = giPartitions > 0 && gpZorelData ? gpZorelData[iData] : "";
            t.iPartition = zfix::EffectiveDir(fe.dwDir) == zfix::DIR_DATA ? targets[j].iPartition : -1;
            t.bLast = j + 1 == targets.size();
            CopyText(t.canFileName, sizeof(t.canFileName), targets[j].path.c_str());
            Step s = DoTarget(&t, payload, &bResult, &bFailed);
            if (s == STEP_STOP || bFailed)
                break;
        }
        GaugeProgress(ghGaugeTotal, GAUGE_SETPOS, (LONG)n);
    }

    ShowCurrentFile("");
    GaugeProgress(ghGaugeTotal, GAUGE_SETPOS, (LONG)dwCount, TRUE);
    if (bFailed)
        bResult = FALSE;
    WriteLogF(2, "CreateUpgradedFiles: Exiting CreateUpgradedFiles: bRtn = %d", bResult);
    return bResult;
}
