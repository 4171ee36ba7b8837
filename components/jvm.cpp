/* The product's Java runtime below the program directory: replaced whole from a cabinet, and
   brought back to its unpatched ("gold") state before a new runtime is installed. */
#include "components/jvm.h"

#include "components/cabinet_tool.h"
#include "components/zip_extract.h"
#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "installer/file_copy.h"
#include "installer/memory_blocks.h"
#include "installer/paths.h"
#include "package/fix_record.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace {

const char kJvmTree[] = "jvm";
const char kPatcherZip[] = "jvm\\jvm_standalone_bck.zip";
const char kPolicy[] = "jvm\\lib\\security\\java.pol";
const char kPolicyCopy[] = "java.pol.tmp";
const char kGoldCopy[] = "GOLD_JVM.bak";
const char* const kRevertedJars[] = {"lib\\ext\\ksocac.jar", "lib\\ext\\ksoxmlcrypto.jar"};
const char kJvmStage[] = "jvm_new";
const char kJvmOld[] = "jvm_old";

/* Deletes a work directory of the gold restore and its entry; FALSE after the log line. */
BOOL RemoveWorkDir(const std::string& dir)
{
    if (!IsDirectory(dir.c_str()))
        return TRUE;
    if (!DeleteTree(dir.c_str())) {
        WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed deleting %s (%ld)", dir.c_str(), (long)GetLastError());
        return FALSE;
    }
    RemoveDirectoryA(dir.c_str());
    return TRUE;
}

/* A run stopped between the two moves of a replacement leaves the runtime aside in jvm_old and
   no jvm: it goes back under its name before anything else looks at the runtime (an absent one
   would pass for no runtime, and jvm_old is deleted as a work folder). */
void RuntimeBackFromAside()
{
    const std::string jvm = ProgramPath(kJvmTree), old = ProgramPath(kJvmOld);
    if (GetFileAttributesA(jvm.c_str()) != INVALID_FILE_ATTRIBUTES || !IsDirectory(old.c_str()))
        return;
    if (MoveFileA(old.c_str(), jvm.c_str()))
        WriteLogF(1, "ProcessJvm: Moved %s, left by a stopped run, back to %s", old.c_str(), jvm.c_str());
    else
        WriteLogF(0, "ProcessJvm: Failed renaming %s to %s (%ld)", old.c_str(), jvm.c_str(), (long)GetLastError());
}

/* The whole runtime unpacked in staged takes the place of the installed one, which is moved
   aside and then deleted. FALSE, with the installed runtime under its name, when a move fails. */
BOOL ReplaceRuntime(const std::string& staged, const std::string& jvm)
{
    const std::string old = ProgramPath(kJvmOld);
    if (!RemoveWorkDir(old))
        return FALSE;
    const BOOL bInstalled = GetFileAttributesA(jvm.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (bInstalled && !MoveFileA(jvm.c_str(), old.c_str())) {
        WriteLogF(0, "ProcessJvm: Failed deleting %s (%ld)", jvm.c_str(), (long)GetLastError());
        return FALSE;
    }
    if (!MoveFileA(staged.c_str(), jvm.c_str())) {
        WriteLogF(0, "ProcessJvm: Failed renaming %s to %s (%ld)", staged.c_str(), jvm.c_str(), (long)GetLastError());
        if (bInstalled)
            MoveFileA(old.c_str(), jvm.c_str());
        return FALSE;
    }
    if (RemoveTreeIfPresent(old))
        WriteLog("ProcessJvm: Removed jvm dir successfully", 2);
    else
        WriteLogF(0, "ProcessJvm: Failed deleting %s (%ld)", old.c_str(), (long)GetLastError());
    return TRUE;
}

/* The base release's backup of "jvm.cab" (entry dwEntry) goes back in place first. */
void RestoreFromBaseBackup(const char* lpFileName, DWORD dwEntry, const char* lpOldLabel)
{
    char szLabel[zfix::LABEL_SIZE + 1], szDir[zfix::LABEL_DIR_MAX + 1], szGold[PATH_BUFFER];
    CopyText(szLabel, sizeof(szLabel), lpOldLabel);
    zfix::TrimLabel(szLabel);
    FormatText(szGold, sizeof(szGold), "%s\\jvm%04d.IIB", LabelDirName(szLabel, szDir), (int)dwEntry);
    WriteLogF(2, "CreateUpgradedFiles: First restore gold JVM %s before update JVM in fixpack", szGold);
    if (!DoesFileExist(szGold)) {
        WriteLogF(2, "CreateUpgradedFiles: %s does NOT exist! (this can be ok)", szGold);
        return;
    }
    WriteLogF(2, "CreateUpgradedFiles: Restore gold JVM with backup file by previous FP: %s.", szGold);
    const std::string copy = ProgramPath(kGoldCopy);
    if (!CopyFiles(szGold, copy.c_str())) {
        /* Without its copy there is nothing to unpack: the runtime must stay as it is. */
        WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed copy %s to %s (%ld)", szGold, kGoldCopy, (long)GetLastError());
        WriteLog("CreateUpgradedFiles: The gold JVM is not restored; the JVM stays as it is", 2);
        return;
    }
    WriteLogF(2, "CreateUpgradedFiles: copied %s to %s", szGold, kGoldCopy);
    if (IsNoTreeBackup(copy)) {
        /* The base release's backup says that there was no runtime then: there is no gold runtime
           to restore, and the installed one must not give way to none. */
        WriteLogF(2, "CreateUpgradedFiles: %s holds no gold JVM; the JVM stays as it is", szGold);
        DeleteFileA(copy.c_str());
        return;
    }
    int iMode = giMode;
    giMode = MODE_REVERT;
    WriteLogF(2, "CreateUpgradedFiles: Calling ProcessJvm: canFileName = %s", lpFileName);
    WriteLogF(2, "CreateUpgradedFiles: Calling ProcessJvm: canTempName = %s", kGoldCopy);
    WriteLogF(2, "CreateUpgradedFiles: Calling ProcessJvm: canBackName = %s", szGold);
    ProcessJvm(lpFileName, kGoldCopy, szGold);
    giMode = iMode;
    DeleteFileA(copy.c_str());
}

/* The JVM patcher's zip of the gold runtime replaces the runtime, its policy file kept; FALSE
   ends the engine's file pass. */
BOOL RestoreFromPatcherZip()
{
    ProgramDirAgain programDirAgain;
    const std::string zip = ProgramPath(kPatcherZip);
    if (!DoesFileExist(zip.c_str())) {
        WriteLogF(2, "CreateUpgradedFiles: %s does NOT exist! (this may be ok)", zip.c_str());
        return TRUE;
    }
    WriteLogF(2, "CreateUpgradedFiles: Restore gold JVM with backup file by JVM patcher: %s. ", zip.c_str());
    const std::string jvm = ProgramPath(kJvmTree), old = ProgramPath("jvm_old"), dst = ProgramPath("jvm_dst");
    if (!RemoveWorkDir(old) || !RemoveWorkDir(dst))
        return FALSE;
    /* The zip is extracted into its work folder, which must be current: the program directory is
       current until then, and the members would overwrite its files. */
    if (!MakeTreeDirectory("CreateUpgradedFiles", dst) || !EnterTree("CreateUpgradedFiles", dst))
        return FALSE;
    unzFile uf = unzOpen64(zip.c_str());
    if (!uf) {
        WriteLogF(0, "CreateUpgradedFiles: Unable to open JVM backup archive: %d", (int)GetLastError());
        EnterProgramDirectory();
        RemoveWorkDir(dst);
        return FALSE;
    }
    int err = ExtractZipAll(uf, 0, 1, NULL);
    unzClose(uf);
    EnterProgramDirectory();
    /* Only a whole runtime may take the place of the installed one. */
    if (err != 0 || !TreeHasFiles(dst)) {
        WriteLogF(0, "CreateUpgradedFiles: ERROR: JVM backup archive %s was not extracted whole (%d); the JVM stays as it is",
                  zip.c_str(), err);
        RemoveWorkDir(dst);
        return FALSE;
    }
    const std::string policy = ProgramPath(kPolicy), policyCopy = ProgramPath(kPolicyCopy);
    if (DoesFileExist(policy.c_str()))
        CopyFiles(policy.c_str(), policyCopy.c_str());

    if (rename(jvm.c_str(), old.c_str()) != 0) {
        WriteLogF(0, "CreateUpgradedFiles: Failed renaming %s (%ld)", jvm.c_str(), (long)errno);
        RemoveWorkDir(dst);
        DeleteFileA(policyCopy.c_str());
        return FALSE;
    }
    if (rename(dst.c_str(), jvm.c_str()) != 0) {
        WriteLogF(0, "Failed renaming %s (%ld)", dst.c_str(), (long)errno);
        rename(old.c_str(), jvm.c_str());  /* the runtime goes back under its name */
        RemoveWorkDir(dst);
        DeleteFileA(policyCopy.c_str());
        return FALSE;
    }
    const BOOL bRemoved = RemoveWorkDir(old);
    if (bRemoved)
        WriteLog("CreateUpgradedFiles: Restore new JVM by JVM Patcher to gold JVM successfully. ", 2);
    /* The site's policy goes back into the runtime now in place, whatever became of the old one. */
    if (DoesFileExist(policyCopy.c_str())) {
        CopyFiles(policyCopy.c_str(), policy.c_str());
        DeleteFileA(policyCopy.c_str());
    }
    return bRemoved;
}

}  // namespace

int ProcessJvm(const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    ProgramDirAgain programDirAgain;
    WriteLogF(1, "ProcessJvm: Running in %s", gszStartDir);
    const std::string program = gpProgramDir, jvm = JoinedPath(program, kJvmTree);
    const std::string temp = ProgramPath(lpTempName);
    const BOOL bUpgrade = UpdaterUpgrades();
    RuntimeBackFromAside();
    DWORD dwCode = 0;
    if (bUpgrade) {
        EnterProgramDirectory();
        const std::string back = ProgramPath(lpBackName);
        BOOL bBackedUp;
        if (NothingToBackUp(jvm)) {
            bBackedUp = WriteNoTreeBackup("ProcessJvm", jvm, back, &dwCode);
        } else {
            std::string command = PackCommand(back, "jvm\\*");
            WriteLogF(2, "ProcessJvm: Calling CreateProcess with %s", command.c_str());
            bBackedUp = PackedBackup(command, back, &dwCode);
            if (!bBackedUp)
                WriteLog(command.c_str(), 0);
        }
        if (!bBackedUp) {
            WriteLogF(0, "ProcessJvm: Failed Backing up %s to %s (%ld)", lpFileName, lpBackName, (long)dwCode);
            return 0;
        }
        WriteLogF(2, "ProcessJvm: Backed up %s to %s", lpFileName, lpBackName);
    } else if (IsNoTreeBackup(temp)) {
        return RemoveTreeThatWasNot("ProcessJvm", jvm, temp);
    }

    /* The runtime is unpacked into a work folder first and takes the place of the installed one
       only when it is whole: a cabinet that cannot be copied or unpacked leaves the runtime as
       it is. */
    const std::string stage = ProgramPath(kJvmStage), archive = JoinedPath(stage, "jvm.cab");
    if (!RemoveWorkDir(stage) || !MakeTreeDirectory("ProcessJvm", stage))
        return 0;
    if (!CopyFiles(temp.c_str(), archive.c_str())) {
        WriteLog(bUpgrade ? "CopyFiles (jvm):" : "ProcessJvm: CopyFiles (jvm):", 0);
        WriteLogF(0, "Failed to rename temp file %s to %s.", temp.c_str(), archive.c_str());
        EnterProgramDirectory();
        RemoveWorkDir(stage);
        return 0;
    }
    /* The fix's cabinet holds the runtime's own paths; a backup holds jvm\..., as it was packed
       from the program directory. */
    const std::string staged = bUpgrade ? stage : JoinedPath(stage, kJvmTree);
    std::string command = UnpackCommand(archive, stage);
    WriteLogF(2, "ProcessJvm: Calling CreateProcess with %s", command.c_str());
    BOOL bUnpacked = EnterTree("ProcessJvm", stage) && RunCabinetTool(command, &dwCode) && dwCode == 0;
    EnterProgramDirectory();
    DeleteFileA(archive.c_str());
    if (!bUnpacked || !TreeHasFiles(staged)) {
        WriteLog(command.c_str(), 0);
        WriteLogF(0, "ProcessJvm: Failed extracting from %s to %s (%ld)", archive.c_str(), staged.c_str(), (long)dwCode);
        RemoveWorkDir(stage);
        return 0;
    }
    if (!bUpgrade)
        for (const char* jar : kRevertedJars)
            DeleteFileA(JoinedPath(jvm, jar).c_str());
    BOOL bReplaced = ReplaceRuntime(staged, jvm);
    RemoveWorkDir(stage);
    return bReplaced ? 1 : 0;
}

int RestoreGoldJvm(const char* lpFileName, DWORD dwEntry)
{
    zfix::FIXRECORD record;
    DWORD dwSize = 0;
    if (!ReadFixDescription("RestoreGoldJvm", &record, &dwSize))
        return 0;
    RuntimeBackFromAside();
    RestoreFromBaseBackup(lpFileName, dwEntry, record.header.canOldLabel);
    return RestoreFromPatcherZip();
}
