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
    if (CopyFiles(szGold, copy.c_str()))
        WriteLogF(2, "CreateUpgradedFiles: copied %s to %s", szGold, kGoldCopy);
    else
        WriteLogF(0, "CreateUpgradedFiles: ERROR: Failed copy %s to %s (%ld)", szGold, kGoldCopy, (long)GetLastError());
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
    const std::string policy = ProgramPath(kPolicy), policyCopy = ProgramPath(kPolicyCopy);
    if (DoesFileExist(policy.c_str()))
        CopyFiles(policy.c_str(), policyCopy.c_str());

    CreateDirectoryA(dst.c_str(), NULL);
    SetCurrentDirectoryA(dst.c_str());
    unzFile uf = unzOpen64(zip.c_str());
    if (!uf) {
        WriteLogF(0, "CreateUpgradedFiles: Unable to open JVM backup archive: %d", (int)GetLastError());
        return FALSE;
    }
    ExtractZipAll(uf, 0, 1, NULL);
    unzClose(uf);
    EnterProgramDirectory();

    if (rename(jvm.c_str(), old.c_str()) != 0) {
        WriteLogF(0, "CreateUpgradedFiles: Failed renaming %s (%ld)", jvm.c_str(), (long)errno);
        return FALSE;
    }
    if (rename(dst.c_str(), jvm.c_str()) != 0) {
        WriteLogF(0, "Failed renaming %s (%ld)", dst.c_str(), (long)errno);
        return FALSE;
    }
    if (!RemoveWorkDir(old))
        return FALSE;
    WriteLog("CreateUpgradedFiles: Restore new JVM by JVM Patcher to gold JVM successfully. ", 2);
    if (DoesFileExist(policyCopy.c_str())) {
        CopyFiles(policyCopy.c_str(), policy.c_str());
        DeleteFileA(policyCopy.c_str());
    }
    return TRUE;
}

}  // namespace

int ProcessJvm(const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    ProgramDirAgain programDirAgain;
    WriteLogF(1, "ProcessJvm: Running in %s", gszStartDir);
    const std::string program = gpProgramDir, jvm = JoinedPath(program, kJvmTree);
    const std::string temp = ProgramPath(lpTempName), archive = ProgramPath(lpFileName);
    const BOOL bUpgrade = UpdaterUpgrades();
    DWORD dwCode = 0;
    if (bUpgrade) {
        EnterProgramDirectory();
        const std::string back = ProgramPath(lpBackName);
        std::string command = PackCommand(back, "jvm\\*");
        WriteLogF(2, "ProcessJvm: Calling CreateProcess with %s", command.c_str());
        if (!PackedBackup(command, back, &dwCode)) {
            WriteLog(command.c_str(), 0);
            WriteLogF(0, "ProcessJvm: Failed Backing up %s to %s (%ld)", lpFileName, lpBackName, (long)dwCode);
            return 0;
        }
        WriteLogF(2, "ProcessJvm: Backed up %s to %s", lpFileName, lpBackName);
    }
    if (RemoveTreeIfPresent(jvm))
        WriteLog("ProcessJvm: Removed jvm dir successfully", 2);
    else
        WriteLogF(0, "ProcessJvm: Failed deleting %s (%ld)", jvm.c_str(), (long)GetLastError());
    if (!bUpgrade)
        for (const char* jar : kRevertedJars)
            DeleteFileA(JoinedPath(jvm, jar).c_str());
    CreateDirectoryA(jvm.c_str(), NULL);

    if (!CopyFiles(temp.c_str(), archive.c_str())) {
        WriteLog(bUpgrade ? "CopyFiles (jvm):" : "ProcessJvm: CopyFiles (jvm):", 0);
        WriteLogF(0, "Failed to rename temp file %s to %s.", temp.c_str(), archive.c_str());
        return 0;
    }
    /* The fix's cabinet holds the runtime's own paths and goes into the jvm directory; a backup
       holds jvm\... and goes back where it was packed from. */
    const std::string destination = bUpgrade ? jvm : program;
    SetCurrentDirectoryA(destination.c_str());
    std::string command = UnpackCommand(archive, destination);
    WriteLogF(2, "ProcessJvm: Calling CreateProcess with %s", command.c_str());
    if (!RunCabinetTool(command, &dwCode) || dwCode != 0) {
        WriteLog(command.c_str(), 0);
        WriteLogF(0, "ProcessJvm: Failed extracting from %s to %s (%ld)", archive.c_str(), destination.c_str(),
                  (long)dwCode);
        return 0;
    }
    DeleteFileA(archive.c_str());
    return 1;
}

int RestoreGoldJvm(const char* lpFileName, DWORD dwEntry)
{
    zfix::FIXRECORD record;
    DWORD dwSize = 0;
    if (!ReadFixDescription("RestoreGoldJvm", &record, &dwSize))
        return 0;
    RestoreFromBaseBackup(lpFileName, dwEntry, record.header.canOldLabel);
    return RestoreFromPatcherZip();
}
