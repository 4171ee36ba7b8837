#include "engine/resume.h"

#include "engine/targets.h"
#include "identify/checksum.h"
#include "installer/file_copy.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "package/file_entry.h"
#include "package/fix_record.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

const char kNote[] = "UPGRADE.RUN";
const char kStringsCopy[] = "UPGRADE_RUN.BCK";
const char kSection[] = "Run";

std::string InProgramDir(const char* lpName)
{
    char szPath[PATH_BUFFER];
    JoinPath(szPath, sizeof(szPath), gpProgramDir ? gpProgramDir : ".", lpName);
    return szPath;
}

/* A target path as the engine names it; relative ones lie in the program directory. */
std::string Absolute(const std::string& path)
{
    if (path.size() > 1 && (path[1] == ':' || (path[0] == '\\' && path[1] == '\\')))
        return path;
    return InProgramDir(path.c_str());
}

/* The last part of a path. */
const char* LastPart(const char* lpPath)
{
    const char* slash = strrchr(lpPath, '\\');
    return slash ? slash + 1 : lpPath;
}

/* lpFrom's bytes under lpTo, replacing what is there; a backup kept as a second name of lpTo's
   file already holds them. */
BOOL PutBack(const char* lpFrom, const char* lpTo)
{
    if (SameFile(lpFrom, lpTo) || CopyFileA(lpFrom, lpTo, FALSE)) {
        WriteLogF(2, "UndoInterruptedRun: Restored %s from %s", lpTo, lpFrom);
        return TRUE;
    }
    WriteLogF(0, "UndoInterruptedRun: ERROR: Failed restoring %s from %s (%lu)", lpTo, lpFrom,
              (unsigned long)GetLastError());
    return FALSE;
}

/* A backup copy is whole when it carries the checksum of the file before the fix: a run stopped
   while it copied leaves a part, which must never be put back (nor kept for the next run). All
   copies are whole before the first target changes. */
BOOL WholeBackup(const char* lpBack, const zfix::FILEENTRY& fe)
{
    FILE* f = fopen(lpBack, "rb");
    if (!f)
        return FALSE;
    unsigned long dwChecksum = FileChecksum(f);
    fclose(f);
    if (fe.dwOldChecksum == 0 || dwChecksum == fe.dwOldChecksum)
        return TRUE;
    WriteLogF(0, "UndoInterruptedRun: The backup %s is not whole (Found %#lx, Expected %#lx); removing it", lpBack,
              dwChecksum, (unsigned long)fe.dwOldChecksum);
    DeleteFileA(lpBack);
    return FALSE;
}

void RemoveIfPresent(const char* lpPath, const char* lpWhat)
{
    if (PathPresent(lpPath) && DeleteFileA(lpPath))
        WriteLogF(2, "UndoInterruptedRun: Removed %s %s", lpWhat, lpPath);
}

/* Every target of every entry back to its backup copy, or gone when the base did not have it. */
BOOL UndoFiles(const zfix::FIXRECORD& record, const char* lpLabelDir)
{
    BOOL bResult = TRUE;
    for (DWORD n = 1; n <= record.header.dwFileEntries; ++n) {
        DWORD cb = 0;
        HGLOBAL hEntry = FindAndLoadRes((int)n, RES_FILEENTRY, &cb);
        const void* data = hEntry ? LockResource(hEntry) : NULL;
        char szName[PATH_BUFFER];
        zfix::FILEENTRY fe;
        if (!data || !zfix::ReadFileEntry(data, cb, szName, sizeof(szName), &fe)) {
            WriteLogF(0, "UndoInterruptedRun: ERROR: file entry %d cannot be read", (int)n);
            return FALSE;
        }
        if (fe.dwOperation != zfix::FE_PATCH && fe.dwOperation != zfix::FE_REPLACE && fe.dwOperation != zfix::FE_REMOVE)
            continue;
        char szTemp[PATH_BUFFER];
        TempFileName(n, szTemp, sizeof(szTemp));
        RemoveIfPresent(Absolute(szTemp).c_str(), "the temporary file");

        char szShort[PATH_BUFFER], szStem[PATH_BUFFER], szBack[PATH_BUFFER * 2];
        if (!GetFileNamePart(szName, szShort, sizeof(szShort)) || !StripFileExtension(szShort, szStem, sizeof(szStem)))
            return FALSE;
        FormatText(szBack, sizeof(szBack), "%s\\%s%04d.IIB", lpLabelDir, szStem, (int)n);
        const BOOL bBackup = DoesFileExist(szBack) && WholeBackup(szBack, fe);
        const BOOL bAdded = fe.dwOperation == zfix::FE_REPLACE && fe.dwOldSize == 0 && fe.dwOldChecksum == 0;

        std::vector<EntryTarget> targets;
        if (!EntryTargets(szName, fe.dwDir, TRUE, &targets))
            return FALSE;
        for (const EntryTarget& t : targets) {
            std::string target = Absolute(t.path);
            RemoveIfPresent((target + ".UPTMP").c_str(), "the staged copy");
            if (bBackup) {
                bResult = PutBack(szBack, target.c_str()) && bResult;
            } else if (bAdded && PathPresent(target.c_str()) && fe.dwNewSize > 0 && FileSizeOf(target.c_str()) == fe.dwNewSize) {
                /* A file the fix adds that the base did not have. */
                RemoveIfPresent(target.c_str(), "the added file");
            }
        }
    }
    return bResult;
}

/* ZOREL.INI of every partition and PATCH.INI as the copies taken before the run left them. */
void UndoRecords(const char* lpLabelName, BOOL bPatchIniBefore)
{
    int partitions = giPartitions > 0 && gpZorelData ? giPartitions : 0;
    std::vector<std::string> dirs;
    for (int i = 0; i < partitions; ++i)
        dirs.push_back(gpZorelData[i]);
    dirs.push_back(gpProgramDir);
    for (const std::string& dir : dirs) {
        char szBackDir[PATH_BUFFER], szCopy[PATH_BUFFER], szIni[PATH_BUFFER];
        JoinPath(szBackDir, sizeof(szBackDir), dir.c_str(), lpLabelName);
        JoinPath(szCopy, sizeof(szCopy), szBackDir, "ZOREL_INI.BCK");
        JoinPath(szIni, sizeof(szIni), dir.c_str(), "ZOREL.INI");
        if (DoesFileExist(szCopy))
            PutBack(szCopy, szIni);
    }
    char szBackDir[PATH_BUFFER], szCopy[PATH_BUFFER];
    JoinPath(szBackDir, sizeof(szBackDir), gpProgramDir, lpLabelName);
    JoinPath(szCopy, sizeof(szCopy), szBackDir, "PATCH_INI.BCK");
    std::string patchIni = InProgramDir("PATCH.INI");
    if (DoesFileExist(szCopy))
        PutBack(szCopy, patchIni.c_str());
    else if (!bPatchIniBefore)
        RemoveIfPresent(patchIni.c_str(), "the registry written by the run,");
}

}  // namespace

BOOL RecordRunStart(const char* lpFixLabel)
{
    std::string note = InProgramDir(kNote);
    char szFull[PATH_BUFFER];
    if (!GetFullPathNameA(canLabelDir, sizeof(szFull), szFull, NULL))
        CopyText(szFull, sizeof(szFull), canLabelDir);
    std::string strings = InProgramDir(Str(STR_STRINGS_LIB));
    BOOL bOk = CopyFileA(strings.c_str(), InProgramDir(kStringsCopy).c_str(), FALSE) &&
               WritePrivateProfileStringA(kSection, "Fix", lpFixLabel, note.c_str()) &&
               WritePrivateProfileStringA(kSection, "LabelDir", szFull, note.c_str()) &&
               WritePrivateProfileStringA(kSection, "PatchIni", DoesFileExist(InProgramDir("PATCH.INI").c_str()) ? "1" : "0",
                                          note.c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, note.c_str());
    /* Profile writes may reach the disk only at the flush: what counts is a note on the disk. */
    bOk = bOk && FileSizeOf(note.c_str()) > 0;
    if (bOk) {
        WriteLogF(1, "UpgradeZorelVersion: Recorded the run in %s", note.c_str());
        return TRUE;
    }
    WriteLogF(0, "UpgradeZorelVersion: ERROR: Couldn't record the run in %s (%ld)", note.c_str(), (long)GetLastError());
    DeleteFileA(note.c_str());
    DeleteFileA(InProgramDir(kStringsCopy).c_str());
    return FALSE;
}

void RecordRunEnd(void)
{
    DeleteFileA(InProgramDir(kStringsCopy).c_str());
    if (DeleteFileA(InProgramDir(kNote).c_str()))
        WriteLogF(1, "UpgradeZorelVersion: Removed %s", InProgramDir(kNote).c_str());
}

BOOL UndoInterruptedRun(void)
{
    std::string note = InProgramDir(kNote);
    if (!DoesFileExist(note.c_str()))
        return FALSE;
    DWORD dwSize = 0;
    zfix::FIXRECORD record;
    if (!ReadFixDescription("UndoInterruptedRun", &record, &dwSize))
        return FALSE;
    char szThisFix[LABEL_BUFFER + 1];
    CopyText(szThisFix, sizeof(szThisFix), record.header.canNewLabel);
    zfix::TrimLabel(szThisFix);
    char szFix[LABEL_BUFFER + 1] = "", szLabelDir[PATH_BUFFER] = "", szPatchIni[8] = "";
    GetPrivateProfileStringA(kSection, "Fix", "", szFix, sizeof(szFix), note.c_str());
    GetPrivateProfileStringA(kSection, "LabelDir", "", szLabelDir, sizeof(szLabelDir), note.c_str());
    GetPrivateProfileStringA(kSection, "PatchIni", "1", szPatchIni, sizeof(szPatchIni), note.c_str());
    if (strcmp(szFix, szThisFix) != 0 || !*szLabelDir) {
        WriteLogF(0, "UndoInterruptedRun: %s was left by a stopped run of %s, not of this fix: run that fix again first",
                  note.c_str(), szFix);
        return FALSE;
    }
    WriteLogF(0, "UndoInterruptedRun: The run of %s did not complete; undoing it from %s", szFix, szLabelDir);
    BOOL bFiles = UndoFiles(record, szLabelDir);
    UndoRecords(LastPart(szLabelDir), strcmp(szPatchIni, "0") != 0);
    std::string copy = InProgramDir(kStringsCopy);
    if (DoesFileExist(copy.c_str()))
        PutBack(copy.c_str(), InProgramDir(Str(STR_STRINGS_LIB)).c_str());
    if (!bFiles) {
        WriteLog("UndoInterruptedRun: ERROR: Not every file could be put back; the note stays for the next run", 0);
        return FALSE;
    }
    RecordRunEnd();
    WriteLog("UndoInterruptedRun: The installation is back at the release before the run", 0);
    return TRUE;
}
