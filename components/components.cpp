/* The plug-in directory, the web server and the editor: each tree is packed whole into its
   backup copy, deleted and refilled from the fix's archive on upgrade, and refilled from the
   backup copy on revert. A backup is unpacked where it was packed from, so that its members'
   paths (which begin with the tree's own path) land on the tree itself. A tree without a file
   (absent, or empty folders) gets an empty backup copy instead, and its revert removes the tree. */
#include "components/components.h"

#include "components/cabinet_tool.h"
#include "components/zip_extract.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/file_copy.h"
#include "installer/memory_blocks.h"
#include "installer/paths.h"

#include <string>

namespace {

const char kOsgiTree[] = "osgi\\shared\\eclipse\\plugins";
const char kKwsTree[] = "kws";
const char kEditorTree[] = "halvex\\html\\ckeditor";

/* Packs "tree\*" (relative to base, made current) into the backup copy, or writes the empty
   backup copy when the tree holds no file; TRUE when the backup is complete. */
BOOL PackTree(const char* lpUpdater, const std::string& base, const char* lpTree, const std::string& back, DWORD* pdwCode)
{
    const std::string tree = JoinedPath(base, lpTree);
    if (NothingToBackUp(tree))
        return WriteNoTreeBackup(lpUpdater, tree, back, pdwCode);
    if (!EnterTree(lpUpdater, base)) {
        *pdwCode = GetLastError();
        return FALSE;
    }
    std::string command = PackCommand(back, std::string(lpTree) + "\\*");
    WriteLogF(2, "%s: Calling CreateProcess with %s", lpUpdater, command.c_str());
    return PackedBackup(command, back, pdwCode);
}

/* Unpacks an archive into a directory with that directory current; TRUE when the tool ran and
   ended with 0, *pdwCode its exit code (the system error when it could not start, or when the
   directory cannot be entered). */
BOOL Unpack(const char* lpUpdater, const std::string& archive, const std::string& destination, DWORD* pdwCode)
{
    if (!EnterTree(lpUpdater, destination)) {
        *pdwCode = GetLastError();
        return FALSE;
    }
    std::string command = UnpackCommand(archive, destination);
    WriteLog(command.c_str(), 2);
    WriteLogF(2, "%s: Calling CreateProcess with %s", lpUpdater, command.c_str());
    return RunCabinetTool(command, pdwCode) && *pdwCode == 0;
}

/* Deletes the tree (going on when that fails) and makes its directory again; lpPrefix begins the
   failure line. FALSE when the tree's directory cannot be had (a file holds its name, a delete
   left it unusable): nothing may be unpacked then. */
BOOL EmptyTree(const char* lpUpdater, const std::string& tree, const char* lpRemoved, const char* lpPrefix)
{
    if (RemoveTreeIfPresent(tree))
        WriteLog(lpRemoved, 2);
    else
        WriteLogF(0, "%sFailed deleting %s (%ld)", lpPrefix, tree.c_str(), (long)GetLastError());
    return MakeTreeDirectory(lpUpdater, tree);
}

void DeleteArchive(const std::string& archive)
{
    DeleteFileA(archive.c_str());
}

}  // namespace

int ProcessOsgi(const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    ProgramDirAgain programDirAgain;
    const std::string program = gpProgramDir, tree = JoinedPath(program, kOsgiTree);
    const std::string temp = ProgramPath(lpTempName), archive = ProgramPath(lpFileName);
    WriteLogF(1, "ProcessOsgi: Running in  %s", gszStartDir);
    DWORD dwCode = 0;
    if (UpdaterUpgrades()) {
        if (!PackTree("ProcessOsgi", program, kOsgiTree, ProgramPath(lpBackName), &dwCode)) {
            WriteLogF(0, "ProcessOsgi: Failed Backing up %s to %s (%ld)", lpFileName, lpBackName, (long)dwCode);
            return 0;
        }
        WriteLogF(2, "ProcessOsgi: Backed up %s to %s", lpFileName, lpBackName);
        if (!EmptyTree("ProcessOsgi", tree, "ProcessOsgi: Removed old osgi successfully", "ProcessOsgi: "))
            return 0;
        if (!CopyFiles(temp.c_str(), archive.c_str())) {
            WriteLogF(0, "ProcessOsgi: Failed CopyFiles %s to %s (osgi): %ld", temp.c_str(), archive.c_str(),
                      (long)GetLastError());
            return 0;
        }
        if (!Unpack("ProcessOsgi", archive, tree, &dwCode)) {
            WriteLogF(0, "Failed extracting from %s to %s (%ld)", archive.c_str(), tree.c_str(), (long)dwCode);
            return 0;
        }
        DeleteArchive(archive);
        WriteLogF(1, "Successfully upgrade OSGi under %s", tree.c_str());
        return 1;
    }
    if (IsNoTreeBackup(temp))
        return RemoveTreeThatWasNot("ProcessOsgi", tree, temp);
    if (!EmptyTree("ProcessOsgi", tree, "Removed old osgi successfully", ""))
        return 0;
    if (!CopyFiles(temp.c_str(), archive.c_str())) {
        WriteLog("CopyFiles (osgi):", 0);
        WriteLogF(0, "Failed to rename temp file %s to %s.", temp.c_str(), archive.c_str());
        return 0;
    }
    if (!Unpack("ProcessOsgi", archive, program, &dwCode)) {
        WriteLogF(0, "Failed extracting from %s to %s (%ld)", archive.c_str(), program.c_str(), (long)dwCode);
        return 0;
    }
    DeleteArchive(archive);
    WriteLogF(1, "Successfully remove %s and revert OSGi under %s", lpFileName, tree.c_str());
    return 1;
}

int ProcessKWS(const char* lpFileName, const char* lpTempName, const char* lpBackName)
{
    ProgramDirAgain programDirAgain;
    const std::string program = gpProgramDir, tree = JoinedPath(program, kKwsTree);
    const std::string temp = ProgramPath(lpTempName), archive = ProgramPath(lpFileName);
    DWORD dwCode = 0;
    if (UpdaterUpgrades()) {
        if (!PackTree("ProcessKWS", program, kKwsTree, ProgramPath(lpBackName), &dwCode)) {
            WriteLogF(0, "Failed Backing up PROG_DIR\\kws\\* to %s (%ld)", lpBackName, (long)dwCode);
            return 0;
        }
        WriteLogF(2, "Backed up PROG_DIR\\kws\\* to %s", lpBackName);
        if (!EmptyTree("ProcessKWS", tree, "Removed old KWS successfully", ""))
            return 0;
        if (!CopyFiles(temp.c_str(), archive.c_str())) {
            WriteLogF(0, "Failed CopyFiles %s to %s (kws): %ld", temp.c_str(), archive.c_str(), (long)GetLastError());
            return 0;
        }
        /* The web server travels as a zip: its members are extracted below the tree, which must
           be the current directory (the program directory is current until then). */
        if (!EnterTree("ProcessKWS", tree))
            return 0;
        unzFile uf = unzOpen64(archive.c_str());
        if (!uf) {
            WriteLogF(0, "Unable to open KWS zip file:%s, error code %d", archive.c_str(), (int)GetLastError());
            return 0;
        }
        int err = ExtractZipAll(uf, 0, 1, NULL);
        unzClose(uf);
        DeleteArchive(archive);
        if (err != 0) {
            WriteLogF(0, "ProcessKWS: Failed extracting %s to %s (%d)", archive.c_str(), tree.c_str(), err);
            return 0;
        }
        WriteLogF(1, "Successfully upgrade KWS under %s", tree.c_str());
        return 1;
    }
    /* The backup is a cabinet packed from the program directory. */
    if (IsNoTreeBackup(temp))
        return RemoveTreeThatWasNot("ProcessKWS", tree, temp);
    if (!EmptyTree("ProcessKWS", tree, "Removed old KWS successfully", ""))
        return 0;
    if (!CopyFiles(temp.c_str(), archive.c_str())) {
        WriteLogF(0, "Failed to rename temp file %s to %s.", temp.c_str(), archive.c_str());
        return 0;
    }
    if (!Unpack("ProcessKWS", archive, program, &dwCode)) {
        WriteLogF(0, "Failed extracting from %s to %s (%ld)", archive.c_str(), program.c_str(), (long)dwCode);
        return 0;
    }
    DeleteArchive(archive);
    WriteLogF(1, "Successfully remove %s and revert KWS under %s", lpFileName, tree.c_str());
    return 1;
}

int ProcessCkEditor(const char* lpFileName, const char* lpTempName, const char* lpBackName, const char* lpDataDir)
{
    ProgramDirAgain programDirAgain;
    const std::string data = lpDataDir, tree = JoinedPath(data, kEditorTree);
    const std::string temp = ProgramPath(lpTempName);
    /* The archive's name is absolute (a data directory's file); a relative one lies in the data
       directory. */
    const std::string archive = IsAbsolutePath(lpFileName) ? std::string(lpFileName) : JoinedPath(data, lpFileName);
    DWORD dwCode = 0;
    if (UpdaterUpgrades()) {
        if (!PackTree("ProcessCkEditor", data, kEditorTree, ProgramPath(lpBackName), &dwCode)) {
            WriteLogF(0, "ProcessCkEditor: Failed Backing up %s to %s (%ld)", lpFileName, lpBackName, (long)dwCode);
            return 0;
        }
        WriteLogF(2, "ProcessCkEditor: Backed up %s to %s", lpFileName, lpBackName);
        if (!EmptyTree("ProcessCkEditor", tree, "ProcessCkEditor: Removed old ckeditor successfully", "ProcessCkEditor: "))
            return 0;
        if (!CopyFiles(temp.c_str(), archive.c_str())) {
            WriteLogF(0, "ProcessCkEditor: Failed CopyFiles %s to %s (ckeditor): %ld", temp.c_str(), archive.c_str(),
                      (long)GetLastError());
            return 0;
        }
        if (!Unpack("ProcessCkEditor", archive, tree, &dwCode)) {
            WriteLogF(0, "ProcessCkEditor: Failed extracting from %s to %s (%ld)", archive.c_str(), tree.c_str(),
                      (long)dwCode);
            return 0;
        }
        DeleteArchive(archive);
        WriteLogF(1, "ProcessCkEditor: Successfully upgrade ckeditor under %s", tree.c_str());
        return 1;
    }
    if (IsNoTreeBackup(temp))
        return RemoveTreeThatWasNot("ProcessCkEditor", tree, temp);
    if (!EmptyTree("ProcessCkEditor", tree, "ProcessCkEditor: Removed old ckeditor successfully", "ProcessCkEditor: ") ||
        !EnterTree("ProcessCkEditor", data))
        return 0;
    if (!CopyFiles(temp.c_str(), archive.c_str())) {
        WriteLog("ProcessCkEditor: CopyFiles (ckeditor):", 0);
        WriteLogF(0, "Failed to rename temp file %s to %s.", temp.c_str(), archive.c_str());
        return 0;
    }
    if (!Unpack("ProcessCkEditor", archive, data, &dwCode)) {
        WriteLogF(0, "ProcessCkEditor: Failed extracting from %s to %s (%ld)", archive.c_str(), data.c_str(), (long)dwCode);
        return 0;
    }
    DeleteArchive(archive);
    WriteLogF(1, "ProcessCkEditor: Successfully remove %s and revert CKEDITOR under %s", lpFileName, tree.c_str());
    return 1;
}
