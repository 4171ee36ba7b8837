#include "engine/upgrade.h"

#include "engine/commit.h"
#include "engine/create_files.h"
#include "engine/resume.h"
#include "installer/release_string.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "installer/file_copy.h"
#include "installer/memory_blocks.h"
#include "installer/paths.h"
#include "package/fix_format.h"
#include "package/fix_record.h"
#include "records/patch_ini.h"
#include "records/zorel_ini.h"
#include "revert/backup_dirs.h"
#include "revert/restore.h"

#include <stdlib.h>
#include <string.h>

/* The commit table of the run, indexed by FILEENTRY number; it lives until the process ends. */
static COMMITSLOT* gpCommitTable = NULL;

static BOOL FixTitleHas(const char* lpText) { return strstr(Str(STR_TITLE), lpText) != NULL; }

/* The labels of the run: the fix it belongs to, the release it ends at and the one it starts from. */
struct RunLabels {
    char canFix[LABEL_BUFFER + 1];
    char canTarget[LABEL_BUFFER + 1];
    char canSource[LABEL_BUFFER + 1];
};

static void FillLabels(const zfix::FIXHEADER& h, RunLabels* l)
{
    CopyText(l->canFix, sizeof(l->canFix), h.canOldLabel);
    if (giMode == MODE_UPGRADE) {
        CopyText(l->canTarget, sizeof(l->canTarget), h.canNewLabel);
        CopyText(l->canSource, sizeof(l->canSource), h.canOldLabel);
    } else {
        CopyText(l->canTarget, sizeof(l->canTarget), dwUpgradeType == 0 ? h.canOldLabel : gszRevertLabel);
        CopyText(l->canSource, sizeof(l->canSource), h.canNewLabel);
    }
}

/* The revert of a fixpack over the release whose backups cannot be walked back file by file. */
static int SpecialFixpackRevert(char* lpFixLabel)
{
    zfix::TrimLabel(lpFixLabel);
    if (!RestoreBaseRelease(lpFixLabel)) {
        WriteLog("RestoreBaseRelease didn't work as expected", 0);
        return 0;
    }
    if (strcmp(gszRevertLabel, lpFixLabel) != 0) {
        if (RestoreBadFixpack())
            return 1;
        WriteLog("RestoreFixpack didn't work as expected", 0);
        return 0;
    }
    SetLPVersions();
    char szPatchIni[PATH_BUFFER];
    FormatText(szPatchIni, sizeof(szPatchIni), "%s\\%s", gpProgramDir, "PATCH.INI");
    if (!DeleteFileA(szPatchIni))
        WriteLog("Couldn't remove patch.ini: potential problem, might need to be removed manually", 0);
    return 1;
}

static BOOL BuildCommitTable(const zfix::FIXRECORD& record)
{
    DWORD dwEntries = record.header.dwFileEntries;
    /* One slot per entry number and slot 0: a count beyond the format's limit would wrap the size
       in 32 bits (the description reader refuses such a fix before this). */
    if (dwEntries > zfix::MAX_FILE_ENTRIES) {
        WriteLogF(0, "UpgradeZorelVersion: ERROR: the fix counts %lu file entries, more than %lu", (unsigned long)dwEntries,
                  (unsigned long)zfix::MAX_FILE_ENTRIES);
        return FALSE;
    }
    gpCommitTable = (COMMITSLOT*)calloc((size_t)dwEntries + 1, sizeof(COMMITSLOT));
    if (!gpCommitTable) {
        LOG_ALLOC_FAILURE();
        return FALSE;
    }
    for (size_t i = 0; i < record.files.size(); ++i) {
        const zfix::FILELISTRECORD& f = record.files[i];
        WriteLogF(1, "UpgradeZorelVersion: Loop %ld: file num: %ld dir: %d file: %s", (long)i, (long)f.dwFileEntry,
                  (int)f.dwDir, f.lpFile);
        if (f.dwFileEntry == 0 || f.dwFileEntry > dwEntries) {
            WriteLogF(0, "UpgradeZorelVersion: ERROR: file %s names entry %ld of %ld", f.lpFile, (long)f.dwFileEntry,
                      (long)dwEntries);
            return FALSE;
        }
        COMMITSLOT& slot = gpCommitTable[f.dwFileEntry];
        free(slot.lpFile);
        slot.lpFile = _strdup(f.lpFile);
        slot.dwDir = f.dwDir;
        slot.dwOperation = f.dwOperation;
    }
    return TRUE;
}

/* The release-strings library of a fixpack: kept in the backup directory by the upgrade, brought
   back from it by the revert. FALSE when the copy fails: the kept library is then the only copy of
   the base release's, and it stays for the next run (an upgrade is undone, a revert completed). */
static BOOL CarryStringsLibrary(void)
{
    WriteLog("UpgradeZorelVersion: Calling CopyFiles", 1);
    char szInstalled[PATH_BUFFER], szKept[PATH_BUFFER];
    FormatText(szInstalled, sizeof(szInstalled), "%s\\%s", gpProgramDir, Str(STR_STRINGS_LIB));
    FormatText(szKept, sizeof(szKept), "%s\\%s", canLabelDir, Str(STR_STRINGS_LIB));
    const BOOL bUpgrade = giMode == MODE_UPGRADE;
    const char* lpFrom = bUpgrade ? szInstalled : szKept;
    const char* lpTo = bUpgrade ? szKept : szInstalled;
    if (!CopyFiles(lpFrom, lpTo)) {
        WriteLogF(0, "UpgradeZorelVersion: ERROR: Couldn't copy %s to %s (%lu)", lpFrom, lpTo, (unsigned long)GetLastError());
        return FALSE;
    }
    if (!bUpgrade)
        DeleteFileA(szKept);
    return TRUE;
}

static void RemoveCarriedTools(void)
{
    if (*gszUpdateVersionPath)
        DeleteFileA(gszUpdateVersionPath);
    if (*gszCabarcPath)
        DeleteFileA(gszCabarcPath);
}

int UpgradeZorelVersion(void)
{
    WriteLog("UpgradeZorelVersion: Starting", 1);
    int iResult = 1;
    DWORD dwSize = 0;
    zfix::FIXRECORD record;
    if (!ReadFixDescription("UpgradeZorelVersion", &record, &dwSize))
        return 0;
    const zfix::FIXHEADER& h = record.header;
    gdwChecksums = h.gdwChecksums;
    dwUpgradeType = (int)h.dwUpgradeType;
    WriteLogF(1, "UpgradeZorelVersion: dwNumFiles = %ld;  gdwChecksums = %ld; dwUpgradeType %d",
              (long)zfix::NumFiles(h), (long)gdwChecksums, dwUpgradeType);
    WriteLog(h.canOldLabel, 1);
    WriteLog(h.canNewLabel, 1);

    RunLabels labels;
    FillLabels(h, &labels);
    if (giMode == MODE_REVERT && dwUpgradeType == 2 && strcmp(canLabelDir, "Release802FP3") == 0)
        return SpecialFixpackRevert(labels.canFix);
    zfix::TrimLabel(labels.canSource);
    zfix::TrimLabel(labels.canTarget);
    zfix::TrimLabel(labels.canFix);

    if (!BuildCommitTable(record))
        return 0;
    DWORD dwCount = h.dwFileEntries;

    /* A run stopped from here on is undone (an upgrade) or completed (a revert) by the next run of
       the fix from the backup copies; the note goes when the run has told its result. */
    const BOOL bNoted = giMode == MODE_UPGRADE && dwUpgradeType > 0;
    const BOOL bRevertNoted = giMode == MODE_REVERT && dwUpgradeType > 0;
    if (bNoted && !RecordRunStart(labels.canTarget)) {
        WriteLogF(1, "UpgradeZorelVersion: Exiting with: %d", 0);
        RemoveCarriedTools();
        return 0;
    }
    if (bRevertNoted)
        RecordRevertStart(labels.canTarget, labels.canSource);

    WriteLog("UpgradeZorelVersion: Calling CreateUpgradedFiles", 1);
    if (!CreateUpgradedFiles(dwCount)) {
        iResult = 0;
        WriteLog("UpgradeZorelVersion: ERROR: Failed to CreateUpgradedFiles() ", 0);
        /* An upgrade's temporary files are only new content, which no later run takes up; those
           of a fix with labels go with the undo below, those of a revert may be restored backups. */
        if (giMode == MODE_UPGRADE && !bNoted)
            RemoveTempFiles(FALSE);
    } else {
        WriteLog("UpgradeZorelVersion: Calling RenameTempFiles", 1);
        if (!RenameTempFiles(gpCommitTable, dwCount)) {
            WriteLog("UpgradeZorelVersion: ERROR: Failed to RenameTempFiles()", 0);
            iResult = 0;
        } else if (giMode == MODE_REVERT && dwUpgradeType > 0 && !RestorePartitionCopies(dwCount)) {
            WriteLog("UpgradeZorelVersion: ERROR: Failed to RestorePartitionCopies()", 0);
            iResult = 0;
        }
    }

    const BOOL bOwnRelease = !FixTitleHas("TDX") && !FixTitleHas("Custom") && !FixTitleHas("RQA");
    if (bRevertNoted && iResult == 1)
        RecordRevertStep("Strings");
    if (dwUpgradeType != 0 && iResult == 1) {
        if (dwUpgradeType == 2 && !CarryStringsLibrary())
            iResult = 0;
        if (bOwnRelease && iResult == 1) {
            WriteLog("UpgradeZorelVersion: Calling UpdateTessra64", 1);
            iResult = UpdateTessra64(labels.canTarget) ? 1 : 0;
        }
    }
    if (bRevertNoted && iResult == 1)
        RecordRevertStep("Config");
    if (bOwnRelease) {
        WriteLog("UpgradeZorelVersion: Calling UpdateZorelIni", 1);
        if (!UpdateZorelIni(labels.canTarget, labels.canSource))
            WriteLogF(0, "UpgradeZorelVersion: Couldn't update %s with CFP_LP info", "ZOREL.INI");
    }

    if (dwUpgradeType == 0) {
        if (giMode == MODE_UPGRADE && iResult == 1) {
            WriteLog("UpgradeZorelVersion: Calling RemoveBackupDirectories 3", 1);
            RemoveBackupDirectories();
        }
    } else if (giMode == MODE_UPGRADE && iResult == 1) {
        WriteLog("UpgradeZorelVersion: Calling UpdatePatchInfo", 1);
        UpdatePatchInfo(labels.canFix, labels.canTarget, h.dwListedFiles, record.files.data());
    } else if (giMode == MODE_REVERT && iResult == 1) {
        if (bRevertNoted)
            RecordRevertStep("Registry");
        if (FixTitleHas("Custom") && strstr(canLabelDir, "jvm_backup")) {
            WriteLog("UpgradeZorelVersion: Calling RemoveBackupDirectories 1", 1);
            RemoveBackupDirectories();
        }
        if (!FixTitleHas("TDX") && !FixTitleHas("Custom")) {
            WriteLog("UpgradeZorelVersion: Calling RemoveBackupDirectories 2", 1);
            RemoveBackupDirectories();
        }
    }

    if (bRevertNoted && iResult == 1)
        RecordRevertStep("Done");
    /* A failed upgrade takes back what it changed, as the next run would; a failed revert is
       completed by the next run. */
    if (bNoted && iResult != 1)
        UndoInterruptedRun();
    WriteLogF(1, "UpgradeZorelVersion: Exiting with: %d", iResult);
    RemoveCarriedTools();
    return iResult;
}
