#include "engine/resume.h"

#include "engine/targets.h"
#include "identify/checksum.h"
#include "installer/file_copy.h"
#include "installer/fix_labels.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/release_string.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "package/file_entry.h"
#include "package/fix_record.h"
#include "package/names.h"
#include "records/zorel_ini.h"
#include "revert/backup_dirs.h"

#include <string.h>

#include <string>
#include <vector>

namespace {

const char kNote[] = "UPGRADE.RUN";
const char kStringsCopy[] = "UPGRADE_RUN.BCK";
const char kRevertNote[] = "REVERT.RUN";
const char kSection[] = "Run";
const char kRevertCaller[] = "CompleteInterruptedRevert";

/* The note this process wrote, which goes when the run has told its result. */
const char* gpWrittenNote = NULL;

std::string InProgramDir(const char* lpName)
{
    char szPath[PATH_BUFFER];
    JoinPath(szPath, sizeof(szPath), gpProgramDir ? gpProgramDir : ".", lpName);
    return szPath;
}

/* A target path as the engine names it; relative ones lie in the program directory. */
std::string Absolute(const std::string& path) { return ResolvedIn(gpProgramDir ? gpProgramDir : ".", path); }

/* lpFrom's bytes under lpTo, replacing what is there, with lpCaller's log lines; a backup kept as
   a second name of lpTo's file already holds them. */
BOOL PutBackFor(const char* lpCaller, const char* lpFrom, const char* lpTo)
{
    if (SameFile(lpFrom, lpTo) || CopyFileA(lpFrom, lpTo, FALSE)) {
        WriteLogF(2, "%s: Restored %s from %s", lpCaller, lpTo, lpFrom);
        return TRUE;
    }
    WriteLogF(0, "%s: ERROR: Failed restoring %s from %s (%lu)", lpCaller, lpTo, lpFrom, (unsigned long)GetLastError());
    return FALSE;
}

BOOL PutBack(const char* lpFrom, const char* lpTo) { return PutBackFor("UndoInterruptedRun", lpFrom, lpTo); }

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

void RemoveIfPresent(const char* lpPath, const char* lpWhat, const char* lpCaller = "UndoInterruptedRun")
{
    if (PathPresent(lpPath) && DeleteFileA(lpPath))
        WriteLogF(2, "%s: Removed %s %s", lpCaller, lpWhat, lpPath);
}

/* File entry n of the fix with its name; a failure is logged as lpCaller's. */
BOOL ReadEntry(const char* lpCaller, DWORD n, char* lpName, size_t cbName, zfix::FILEENTRY* lpEntry)
{
    DWORD cb = 0;
    HGLOBAL hEntry = FindAndLoadRes((int)n, RES_FILEENTRY, &cb);
    const void* data = hEntry ? LockResource(hEntry) : NULL;
    if (data && zfix::ReadFileEntry(data, cb, lpName, cbName, lpEntry))
        return TRUE;
    WriteLogF(0, "%s: ERROR: file entry %d cannot be read", lpCaller, (int)n);
    return FALSE;
}

BOOL HasChecksum(const char* lpPath, DWORD dwChecksum);

/* The file lpStamped backs up back under its own name beside target, unless that is there; with
   lpCaller's log lines. */
BOOL PutStampedBack(const char* lpCaller, const char* lpStamped, const std::string& target)
{
    const std::string original = StampedOriginal(target.c_str(), lpStamped);
    if (original.empty()) {
        WriteLogF(0, "%s: ERROR: %s names no file to put back beside %s", lpCaller, lpStamped, target.c_str());
        return FALSE;
    }
    if (PathPresent(original.c_str())) {
        WriteLogF(3, "%s: %s is in its place", lpCaller, original.c_str());
        return TRUE;
    }
    return PutBackFor(lpCaller, lpStamped, original.c_str());
}

/* A data directory's file that its data directory kept no copy of (one not in use): the run
   changed it when it holds the fix's content, or is gone when the fix removes it. */
BOOL ChangedByTheRun(const std::string& target, const zfix::FILEENTRY& fe)
{
    if (fe.dwOperation == zfix::FE_REMOVE)
        return !PathPresent(target.c_str());
    return fe.dwNewChecksum != 0 && PathPresent(target.c_str()) && HasChecksum(target.c_str(), fe.dwNewChecksum);
}

/* Every target of every entry back to its backup copy, or gone when the base did not have it. A
   data directory's file takes its data directory's own copy; without one, the shared copy (the
   first data directory's) replaces it only where the run changed it. */
BOOL UndoFiles(const zfix::FIXRECORD& record, const char* lpLabelDir)
{
    BOOL bResult = TRUE;
    for (DWORD n = 1; n <= record.header.dwFileEntries; ++n) {
        char szName[PATH_BUFFER];
        zfix::FILEENTRY fe;
        if (!ReadEntry("UndoInterruptedRun", n, szName, sizeof(szName), &fe))
            return FALSE;
        if (fe.dwOperation != zfix::FE_PATCH && fe.dwOperation != zfix::FE_REPLACE && fe.dwOperation != zfix::FE_REMOVE)
            continue;
        char szTemp[PATH_BUFFER];
        TempFileName(n, szTemp, sizeof(szTemp));
        RemoveIfPresent(Absolute(szTemp).c_str(), "the temporary file");

        char szShort[PATH_BUFFER], szStem[PATH_BUFFER], szBack[PATH_BUFFER * 2];
        if (!GetFileNamePart(szName, szShort, sizeof(szShort)) || !StripFileExtension(szShort, szStem, sizeof(szStem)))
            return FALSE;
        FormatText(szBack, sizeof(szBack), "%s\\%s%04d.IIB", lpLabelDir, szStem, (int)n);
        const BOOL bData = zfix::EffectiveDir(fe.dwDir) == zfix::DIR_DATA && !ContainsAny(szName, kHandedToUpdaters);
        /* The shared copy of a data directory's file may be the first data directory's own
           version: it is only read. */
        const BOOL bBackup =
            DoesFileExist(szBack) && (bData ? HasChecksum(szBack, fe.dwOldChecksum) : WholeBackup(szBack, fe));
        const BOOL bAdded = fe.dwOperation == zfix::FE_REPLACE && fe.dwOldSize == 0 && fe.dwOldChecksum == 0;

        std::vector<EntryTarget> targets;
        if (!EntryTargets(szName, fe.dwDir, TRUE, &targets))
            return FALSE;
        /* A file found by its time-stamped name went into the backup under that name. */
        const std::string stamped = DoesFileExist(szBack) ? std::string() : StampedBackup(szBack);
        for (const EntryTarget& t : targets) {
            std::string target = Absolute(t.path);
            RemoveIfPresent((target + ".UPTMP").c_str(), "the staged copy");
            if (!stamped.empty())
                bResult = PutStampedBack("UndoInterruptedRun", stamped.c_str(), target) && bResult;
            const std::string own = bData ? PartitionBackupName(lpLabelDir, t.iPartition, szBack) : std::string();
            if (!own.empty() && DoesFileExist(own.c_str())) {
                bResult = PutBack(own.c_str(), target.c_str()) && bResult;
            } else if (bBackup && (!bData || ChangedByTheRun(target, fe))) {
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

const char kCopies[] = "Copies";

BOOL PutBackForRevert(const char* lpFrom, const char* lpTo)
{
    return PutBackFor("CompleteInterruptedRevert", lpFrom, lpTo);
}

struct NoteValue {
    const char* lpSection;
    std::string key, value;
};

/* The note with values written into it, replaced in one rename: the profile calls rewrite the whole
   file, and a run stopped while they write must find the note as it was or as it is now. */
BOOL ReplaceNote(const char* lpNote, const std::vector<NoteValue>& values)
{
    std::string note = InProgramDir(lpNote), next = note + ".NEW";
    DeleteFileA(next.c_str());
    if (DoesFileExist(note.c_str()) && !CopyFileA(note.c_str(), next.c_str(), FALSE))
        return FALSE;
    BOOL bOk = TRUE;
    for (const NoteValue& v : values)
        bOk = WritePrivateProfileStringA(v.lpSection, v.key.c_str(), v.value.c_str(), next.c_str()) && bOk;
    WritePrivateProfileStringA(NULL, NULL, NULL, next.c_str());
    if (bOk && MoveFileExA(next.c_str(), note.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return TRUE;
    DeleteFileA(next.c_str());
    return FALSE;
}

/* The files the revert's configuration step changes: ZOREL.INI and the target's copy of it in
   each data directory and in the program directory, and PATCH.INI. */
std::vector<std::string> ConfigurationFiles(void)
{
    char szName[PATH_BUFFER];
    LabelDirName(gszRevertLabel, szName);
    /* The target's copy lies in its backup directory, a plain name below each directory. */
    const BOOL bLabelCopy = zfix::IsLabelDirName(szName);
    std::vector<std::string> dirs;
    for (int i = 0; i < giPartitions && gpZorelData; ++i)
        dirs.push_back(gpZorelData[i]);
    dirs.push_back(gpProgramDir);
    std::vector<std::string> files;
    for (const std::string& dir : dirs) {
        char szIni[PATH_BUFFER], szBackDir[PATH_BUFFER], szCopy[PATH_BUFFER];
        JoinPath(szIni, sizeof(szIni), dir.c_str(), "ZOREL.INI");
        JoinPath(szBackDir, sizeof(szBackDir), dir.c_str(), szName);
        JoinPath(szCopy, sizeof(szCopy), szBackDir, "ZOREL_INI.BCK");
        files.push_back(szIni);
        if (bLabelCopy)
            files.push_back(szCopy);
    }
    files.push_back(InProgramDir("PATCH.INI"));
    return files;
}

/* Copies of the configuration files as the revert's configuration step finds them
   ("REVERT_RUNnnn.BCK", none for a file that is not there), named in the note's values. */
BOOL CopyConfiguration(std::vector<NoteValue>* lpValues)
{
    std::vector<std::string> files = ConfigurationFiles();
    for (size_t i = 0; i < files.size(); ++i) {
        char szCopy[32];
        FormatText(szCopy, sizeof(szCopy), "REVERT_RUN%03d.BCK", (int)i + 1);
        std::string copy = InProgramDir(szCopy);
        BOOL bPresent = DoesFileExist(files[i].c_str());
        if (bPresent && !CopyFileA(files[i].c_str(), copy.c_str(), FALSE)) {
            WriteLogF(0, "UpgradeZorelVersion: ERROR: Couldn't copy %s to %s (%lu)", files[i].c_str(), copy.c_str(),
                      (unsigned long)GetLastError());
            return FALSE;
        }
        char szKey[16];
        FormatText(szKey, sizeof(szKey), "File%03d", (int)i + 1);
        lpValues->push_back(NoteValue{kCopies, szKey, files[i]});
        FormatText(szKey, sizeof(szKey), "Copy%03d", (int)i + 1);
        lpValues->push_back(NoteValue{kCopies, szKey, bPresent ? copy : std::string()});
    }
    return TRUE;
}

/* Whether two paths name the same file or folder, whatever their case or spelling. */
BOOL SamePath(const char* lpA, const char* lpB)
{
    char szA[PATH_BUFFER], szB[PATH_BUFFER];
    DWORD a = GetFullPathNameA(lpA, sizeof(szA), szA, NULL), b = GetFullPathNameA(lpB, sizeof(szB), szB, NULL);
    if (a == 0 || a >= sizeof(szA) || b == 0 || b >= sizeof(szB))
        return FALSE;
    char szLongA[PATH_BUFFER], szLongB[PATH_BUFFER];
    a = GetLongPathNameA(szA, szLongA, sizeof(szLongA));
    b = GetLongPathNameA(szB, szLongB, sizeof(szLongB));
    return _stricmp(a > 0 && a < sizeof(szLongA) ? szLongA : szA, b > 0 && b < sizeof(szLongB) ? szLongB : szB) == 0;
}

/* The backup directory a note names, held to where the run keeps it: a plain label directory name
   directly below the program directory, named by its full path (as the run writes it) or by its
   name alone. Anyone who can write the program directory can plant a note, and the undo and the
   completion copy over, move and delete files in it. */
BOOL NotedLabelDir(const char* lpCaller, const char* lpNoted, char* lpOut, size_t cbOut)
{
    const char* lpName = FixFileBaseName(lpNoted);
    size_t len = gpProgramDir ? strlen(gpProgramDir) : 0;
    BOOL bOk = zfix::IsLabelDirName(lpName) && len > 0 &&
               BuildPath(lpOut, cbOut, "%s%s%s", gpProgramDir, gpProgramDir[len - 1] == '\\' ? "" : "\\", lpName);
    if (bOk && strcmp(lpNoted, lpName) != 0)
        bOk = SamePath(lpNoted, lpOut);
    if (bOk)
        return TRUE;
    WriteLogF(0, "%s: ERROR: the note names the backup directory %s, which is not one below %s; it is left alone", lpCaller,
              lpNoted, gpProgramDir ? gpProgramDir : "the program directory");
    *lpOut = '\0';
    return FALSE;
}

/* The copies a note names: each path with its copy ("" for a file that was not there). Only the
   files the revert's configuration step changes (ConfigurationFiles) and their copies in the
   program directory are taken: the note's values are put back, and removed, as they stand. */
std::vector<std::pair<std::string, std::string>> NotedCopies(const std::string& note)
{
    std::vector<std::pair<std::string, std::string>> copies;
    std::vector<std::string> files;
    for (int n = 1;; ++n) {
        char szKey[16], szFile[PATH_BUFFER] = "", szCopy[PATH_BUFFER] = "";
        FormatText(szKey, sizeof(szKey), "File%03d", n);
        if (!GetPrivateProfileStringA(kCopies, szKey, "", szFile, sizeof(szFile), note.c_str()))
            break;
        FormatText(szKey, sizeof(szKey), "Copy%03d", n);
        GetPrivateProfileStringA(kCopies, szKey, "", szCopy, sizeof(szCopy), note.c_str());
        if (files.empty())
            files = ConfigurationFiles();
        BOOL bFile = FALSE;
        for (const std::string& f : files)
            bFile = bFile || SamePath(szFile, f.c_str());
        char szOwn[32];
        FormatText(szOwn, sizeof(szOwn), "REVERT_RUN%03d.BCK", n);
        if (!bFile || (*szCopy && !SamePath(szCopy, InProgramDir(szOwn).c_str()))) {
            WriteLogF(0, "CompleteInterruptedRevert: ERROR: %s names %s with the copy %s, which the revert does not keep; "
                      "left alone", note.c_str(), szFile, szCopy);
            continue;
        }
        copies.push_back(std::make_pair(std::string(szFile), std::string(szCopy)));
    }
    return copies;
}

/* The configuration files as the stopped revert's configuration step found them, so that the
   step is taken again from its start: a profile write cut short can leave a file without the keys
   it did not touch, and the step removes the copies it restores from. */
void PutConfigurationBack(const std::string& note)
{
    for (const auto& c : NotedCopies(note)) {
        if (c.second.empty()) {
            if (PathPresent(c.first.c_str()) && DeleteFileA(c.first.c_str()))
                WriteLogF(2, "CompleteInterruptedRevert: Removed %s, which the step found absent", c.first.c_str());
            continue;
        }
        std::string dir = c.first.substr(0, c.first.find_last_of('\\'));
        if (!IsDirectory(dir.c_str()))
            CreateDirectoryA(dir.c_str(), NULL);
        PutBackForRevert(c.second.c_str(), c.first.c_str());
    }
}

void RemoveNote(const char* lpNote)
{
    if (lpNote == kNote)
        DeleteFileA(InProgramDir(kStringsCopy).c_str());
    for (const auto& c : NotedCopies(InProgramDir(lpNote)))
        if (!c.second.empty())
            DeleteFileA(c.second.c_str());
    DeleteFileA((InProgramDir(lpNote) + ".NEW").c_str());
    if (DeleteFileA(InProgramDir(lpNote).c_str()))
        WriteLogF(1, "UpgradeZorelVersion: Removed %s", InProgramDir(lpNote).c_str());
    if (gpWrittenNote == lpNote)
        gpWrittenNote = NULL;
}

/* The fix's label as the notes name it, trimmed. */
void ThisFixLabel(const zfix::FIXRECORD& record, char* lpOut, size_t size)
{
    CopyText(lpOut, size, record.header.canNewLabel);
    zfix::TrimLabel(lpOut);
}

BOOL NoteOfThisFix(const std::string& note, const char* lpThisFix, const char* lpCaller)
{
    char szFix[LABEL_BUFFER + 1] = "";
    GetPrivateProfileStringA(kSection, "Fix", "", szFix, sizeof(szFix), note.c_str());
    if (strcmp(szFix, lpThisFix) == 0)
        return TRUE;
    WriteLogF(0, "%s: %s was left by a stopped run of %s, not of this fix: run that fix again first", lpCaller, note.c_str(),
              szFix);
    return FALSE;
}

BOOL HasChecksum(const char* lpPath, DWORD dwChecksum)
{
    FILE* f = fopen(lpPath, "rb");
    if (!f)
        return FALSE;
    unsigned long dwFound = FileChecksum(f);
    fclose(f);
    return dwChecksum == 0 || dwFound == dwChecksum;
}


/* Every target of the fix as the release before it had it. Until the revert's commit the backup
   copy holds that content; the revert moves it into the entry's temporary file, which the commit
   renames over the last target (earlier targets get copies of it); patched files have a backup
   copy too, and a temporary file written by the reverse patch. A target that holds the content
   already was committed. The copies stay until the end, so that this too can stop anywhere. */
BOOL CompleteRevertFiles(const zfix::FIXRECORD& record, const char* lpLabelDir)
{
    BOOL bResult = TRUE;
    std::vector<std::string> temps, owns;
    for (DWORD n = 1; n <= record.header.dwFileEntries; ++n) {
        char szName[PATH_BUFFER];
        zfix::FILEENTRY fe;
        if (!ReadEntry("CompleteInterruptedRevert", n, szName, sizeof(szName), &fe))
            return FALSE;
        char szShort[PATH_BUFFER], szStem[PATH_BUFFER], szBack[PATH_BUFFER * 2];
        if (!GetFileNamePart(szName, szShort, sizeof(szShort)) || !StripFileExtension(szShort, szStem, sizeof(szStem)))
            return FALSE;
        FormatText(szBack, sizeof(szBack), "%s\\%s%04d.IIB", lpLabelDir, szStem, (int)n);
        if (fe.dwOperation == zfix::FE_OLDFIX) {
            if (DoesFileExist(szBack))
                bResult = PutBackForRevert(szBack, Absolute(szName).c_str()) && bResult;
            continue;
        }
        if (fe.dwOperation != zfix::FE_PATCH && fe.dwOperation != zfix::FE_REPLACE && fe.dwOperation != zfix::FE_REMOVE)
            continue;
        char szTemp[PATH_BUFFER];
        TempFileName(n, szTemp, sizeof(szTemp));
        std::string temp = Absolute(szTemp);
        temps.push_back(temp);
        const BOOL bAdded = fe.dwOperation == zfix::FE_REPLACE && fe.dwOldSize == 0 && fe.dwOldChecksum == 0;
        const char* lpSource = NULL;
        if (!bAdded && DoesFileExist(szBack) && HasChecksum(szBack, fe.dwOldChecksum))
            lpSource = szBack;
        else if (!bAdded && DoesFileExist(temp.c_str()) && FileSizeOf(temp.c_str()) > 0 &&
                 HasChecksum(temp.c_str(), fe.dwOldChecksum))
            lpSource = temp.c_str();

        /* A file the upgrade found by its time-stamped name went into the backup under that name;
           the revert puts it back under it, and the file of the entry's name goes. */
        const std::string stamped = DoesFileExist(szBack) ? std::string() : StampedBackup(szBack);

        std::vector<EntryTarget> targets;
        if (!EntryTargets(szName, fe.dwDir, TRUE, &targets))
            return FALSE;
        for (const EntryTarget& t : targets) {
            std::string target = Absolute(t.path);
            RemoveIfPresent((target + ".UPTMP").c_str(), "the staged copy", kRevertCaller);
            /* A data directory's own copy holds what was that data directory's before the fix. */
            const std::string own = zfix::EffectiveDir(fe.dwDir) == zfix::DIR_DATA && !ContainsAny(szName, kHandedToUpdaters)
                                        ? PartitionBackupName(lpLabelDir, t.iPartition, szBack)
                                        : std::string();
            if (!own.empty() && DoesFileExist(own.c_str())) {
                if (PutBackForRevert(own.c_str(), target.c_str()))
                    owns.push_back(own);
                else
                    bResult = FALSE;
            } else if (!stamped.empty()) {
                if (PutStampedBack(kRevertCaller, stamped.c_str(), target))
                    RemoveIfPresent(target.c_str(), "the fix's file", kRevertCaller);
                else
                    bResult = FALSE;
            } else if (bAdded) {
                RemoveIfPresent(target.c_str(), "the added file", kRevertCaller);
            } else if (PathPresent(target.c_str()) && fe.dwOldChecksum != 0 && HasChecksum(target.c_str(), fe.dwOldChecksum)) {
                WriteLogF(3, "CompleteInterruptedRevert: %s is as before the fix", target.c_str());
            } else if (lpSource) {
                bResult = PutBackForRevert(lpSource, target.c_str()) && bResult;
            } else {
                WriteLogF(0, "CompleteInterruptedRevert: ERROR: No copy of %s as it was before the fix (neither %s nor %s)",
                          target.c_str(), szBack, temp.c_str());
            }
        }
    }
    if (bResult) {
        for (const std::string& temp : temps)
            RemoveIfPresent(temp.c_str(), "the temporary file", kRevertCaller);
        for (const std::string& own : owns)
            RemoveIfPresent(own.c_str(), "the data directory's copy", kRevertCaller);
    }
    return bResult;
}

BOOL StepReached(const char* lpStep, const char* lpNoted)
{
    static const char* const kSteps[] = {"Files", "Strings", "Config", "Registry", "Done"};
    int iStep = 0, iNoted = 0;
    for (int i = 0; i < 5; ++i) {
        if (strcmp(kSteps[i], lpStep) == 0)
            iStep = i;
        if (strcmp(kSteps[i], lpNoted) == 0)
            iNoted = i;
    }
    return iNoted <= iStep;
}

/* The steps of a revert after its file step, as the engine takes them, from the one the note
   names: the release strings (a fixpack's library from its backup directory), ZOREL.INI and
   PATCH.INI, and the backup directories. */
void CompleteRevertRecords(const char* lpStep, const char* lpTarget, const char* lpSource)
{
    const char* title = Str(STR_TITLE);
    const BOOL bOwnRelease = !strstr(title, "TDX") && !strstr(title, "Custom") && !strstr(title, "RQA");
    if (StepReached("Strings", lpStep)) {
        if (dwUpgradeType == 2) {
            char szKept[PATH_BUFFER];
            JoinPath(szKept, sizeof(szKept), canLabelDir, Str(STR_STRINGS_LIB));
            if (DoesFileExist(szKept) && PutBackForRevert(szKept, InProgramDir(Str(STR_STRINGS_LIB)).c_str()))
                DeleteFileA(szKept);
        }
        if (bOwnRelease) {
            WriteLog("CompleteInterruptedRevert: Calling UpdateTessra64", 1);
            UpdateTessra64(lpTarget);
        }
        RecordRevertStep("Config");
    }
    if (StepReached("Config", lpStep)) {
        if (bOwnRelease) {
            if (!StepReached("Strings", lpStep))
                PutConfigurationBack(InProgramDir(kRevertNote));
            WriteLog("CompleteInterruptedRevert: Calling UpdateZorelIni", 1);
            if (!UpdateZorelIni(lpTarget, lpSource))
                WriteLogF(0, "CompleteInterruptedRevert: Couldn't update %s with CFP_LP info", "ZOREL.INI");
        }
        RecordRevertStep("Registry");
    }
    if (StepReached("Registry", lpStep)) {
        /* As the revert does it: a custom fix reverted from its JVM backup, or a hotfix or fixpack. */
        if ((strstr(title, "Custom") && strstr(canLabelDir, "jvm_backup")) ||
            (!strstr(title, "TDX") && !strstr(title, "Custom"))) {
            WriteLog("CompleteInterruptedRevert: Calling RemoveBackupDirectories", 1);
            RemoveBackupDirectories();
        }
        RecordRevertStep("Done");
    }
}

/* The run state a revert works with, set from the note for the completion and given back after it,
   so that the run goes on as asked. */
struct RevertState {
    int iMode, iUpgradeType;
    char szRevertLabel[sizeof(gszRevertLabel)], szLabelDir[sizeof(canLabelDir)], szCurrent[sizeof(canCurrentVersion)];
    RevertState()
    {
        iMode = giMode;
        iUpgradeType = dwUpgradeType;
        CopyText(szRevertLabel, sizeof(szRevertLabel), gszRevertLabel);
        CopyText(szLabelDir, sizeof(szLabelDir), canLabelDir);
        CopyText(szCurrent, sizeof(szCurrent), canCurrentVersion);
    }
    ~RevertState()
    {
        giMode = iMode;
        dwUpgradeType = iUpgradeType;
        CopyText(gszRevertLabel, sizeof(gszRevertLabel), szRevertLabel);
        CopyText(canLabelDir, sizeof(canLabelDir), szLabelDir);
        CopyText(canCurrentVersion, sizeof(canCurrentVersion), szCurrent);
    }
};

BOOL CompleteRevert(const zfix::FIXRECORD& record)
{
    std::string note = InProgramDir(kRevertNote);
    char szThisFix[LABEL_BUFFER + 1];
    ThisFixLabel(record, szThisFix, sizeof(szThisFix));
    if (!NoteOfThisFix(note, szThisFix, "CompleteInterruptedRevert"))
        return FALSE;
    char szTarget[REVERT_LABEL_SIZE] = "", szSource[LABEL_BUFFER + 1] = "", szCurrent[sizeof(canCurrentVersion)] = "";
    char szLabelDir[PATH_BUFFER] = "", szStep[16] = "";
    GetPrivateProfileStringA(kSection, "Target", "", szTarget, sizeof(szTarget), note.c_str());
    GetPrivateProfileStringA(kSection, "Source", "", szSource, sizeof(szSource), note.c_str());
    GetPrivateProfileStringA(kSection, "Current", "", szCurrent, sizeof(szCurrent), note.c_str());
    GetPrivateProfileStringA(kSection, "LabelDir", "", szLabelDir, sizeof(szLabelDir), note.c_str());
    GetPrivateProfileStringA(kSection, "Step", "Files", szStep, sizeof(szStep), note.c_str());
    if (!*szTarget || !*szLabelDir) {
        WriteLogF(0, "CompleteInterruptedRevert: ERROR: %s does not name the revert's target and backup directory", note.c_str());
        return FALSE;
    }
    /* The target becomes a quoted word of the release-string tool's command line, and its backup
       directory name a folder below the program and data directories. */
    char szTargetDir[PATH_BUFFER];
    if (!zfix::IsQuotableText(szTarget) || !zfix::IsLabelDirName(LabelDirName(szTarget, szTargetDir))) {
        WriteLogF(0, "CompleteInterruptedRevert: ERROR: %s names the target %s, which holds a '\"' or names no plain "
                  "backup directory; it is left alone", note.c_str(), szTarget);
        return FALSE;
    }
    char szNoted[PATH_BUFFER];
    CopyText(szNoted, sizeof(szNoted), szLabelDir);
    if (!NotedLabelDir("CompleteInterruptedRevert", szNoted, szLabelDir, sizeof(szLabelDir)))
        return FALSE;
    WriteLogF(0, "CompleteInterruptedRevert: The revert of %s to %s did not complete; completing it from the step %s",
              szThisFix, szTarget, szStep);
    RevertState kept;
    giMode = MODE_REVERT;
    dwUpgradeType = (int)record.header.dwUpgradeType;
    CopyText(gszRevertLabel, sizeof(gszRevertLabel), szTarget);
    CopyText(canLabelDir, sizeof(canLabelDir), szLabelDir);
    CopyText(canCurrentVersion, sizeof(canCurrentVersion), szCurrent);
    if (StepReached("Files", szStep)) {
        if (!CompleteRevertFiles(record, szLabelDir)) {
            WriteLog("CompleteInterruptedRevert: ERROR: Not every file could be put back; the note stays for the next run", 0);
            return FALSE;
        }
        RecordRevertStep("Strings");
    }
    CompleteRevertRecords(szStep, szTarget, szSource);
    RemoveNote(kRevertNote);
    WriteLogF(0, "CompleteInterruptedRevert: The installation is back at %s", szTarget);
    return TRUE;
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
        gpWrittenNote = kNote;
        WriteLogF(1, "UpgradeZorelVersion: Recorded the run in %s", note.c_str());
        return TRUE;
    }
    WriteLogF(0, "UpgradeZorelVersion: ERROR: Couldn't record the run in %s (%ld)", note.c_str(), (long)GetLastError());
    DeleteFileA(note.c_str());
    DeleteFileA(InProgramDir(kStringsCopy).c_str());
    return FALSE;
}

void RecordRevertStart(const char* lpTarget, const char* lpSource)
{
    std::string note = InProgramDir(kRevertNote);
    char szFull[PATH_BUFFER];
    if (!GetFullPathNameA(canLabelDir, sizeof(szFull), szFull, NULL))
        CopyText(szFull, sizeof(szFull), canLabelDir);
    DeleteFileA(note.c_str());
    std::vector<NoteValue> values = {{kSection, "Fix", lpSource},          {kSection, "Target", lpTarget},
                                     {kSection, "Source", lpSource},       {kSection, "Current", canCurrentVersion},
                                     {kSection, "LabelDir", szFull},       {kSection, "Step", "Files"}};
    BOOL bOk = ReplaceNote(kRevertNote, values);
    gpWrittenNote = kRevertNote;
    if (bOk)
        WriteLogF(1, "UpgradeZorelVersion: Recorded the revert in %s", note.c_str());
    else
        WriteLogF(0, "UpgradeZorelVersion: ERROR: Couldn't record the revert in %s", note.c_str());
}

void RecordRevertStep(const char* lpStep)
{
    std::string note = InProgramDir(kRevertNote);
    if (!DoesFileExist(note.c_str()))
        return;
    std::vector<NoteValue> values = {{kSection, "Step", lpStep}};
    /* The configuration step is taken again from its start by the next run: what it changes is
       copied first. */
    BOOL bOk = strcmp(lpStep, "Config") != 0 || CopyConfiguration(&values);
    bOk = bOk && ReplaceNote(kRevertNote, values);
    if (bOk)
        WriteLogF(2, "UpgradeZorelVersion: Recorded the revert's step %s in %s", lpStep, note.c_str());
    else
        WriteLogF(0, "UpgradeZorelVersion: ERROR: Couldn't record the revert's step %s in %s", lpStep, note.c_str());
}

void RecordRunEnd(void)
{
    if (gpWrittenNote)
        RemoveNote(gpWrittenNote);
}

BOOL CompleteInterruptedRevert(void)
{
    if (!DoesFileExist(InProgramDir(kRevertNote).c_str()))
        return FALSE;
    DWORD dwSize = 0;
    zfix::FIXRECORD record;
    if (!ReadFixDescription(kRevertCaller, &record, &dwSize))
        return FALSE;
    return CompleteRevert(record);
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
    ThisFixLabel(record, szThisFix, sizeof(szThisFix));
    char szLabelDir[PATH_BUFFER] = "", szPatchIni[8] = "";
    GetPrivateProfileStringA(kSection, "LabelDir", "", szLabelDir, sizeof(szLabelDir), note.c_str());
    GetPrivateProfileStringA(kSection, "PatchIni", "1", szPatchIni, sizeof(szPatchIni), note.c_str());
    if (!NoteOfThisFix(note, szThisFix, "UndoInterruptedRun") || !*szLabelDir)
        return FALSE;
    char szNoted[PATH_BUFFER];
    CopyText(szNoted, sizeof(szNoted), szLabelDir);
    if (!NotedLabelDir("UndoInterruptedRun", szNoted, szLabelDir, sizeof(szLabelDir)))
        return FALSE;
    WriteLogF(0, "UndoInterruptedRun: The run of %s did not complete; undoing it from %s", szThisFix, szLabelDir);
    BOOL bFiles = UndoFiles(record, szLabelDir);
    UndoRecords(FixFileBaseName(szLabelDir), strcmp(szPatchIni, "0") != 0);
    std::string copy = InProgramDir(kStringsCopy);
    if (DoesFileExist(copy.c_str()))
        PutBack(copy.c_str(), InProgramDir(Str(STR_STRINGS_LIB)).c_str());
    if (!bFiles) {
        WriteLog("UndoInterruptedRun: ERROR: Not every file could be put back; the note stays for the next run", 0);
        return FALSE;
    }
    RemoveNote(kNote);
    WriteLog("UndoInterruptedRun: The installation is back at the release before the run", 0);
    return TRUE;
}

std::string StoppedRunLeft(void)
{
    for (const char* lpNote : {kNote, kRevertNote}) {
        std::string note = InProgramDir(lpNote);
        if (!DoesFileExist(note.c_str()))
            continue;
        char szFix[LABEL_BUFFER + 1] = "";
        GetPrivateProfileStringA(kSection, "Fix", "", szFix, sizeof(szFix), note.c_str());
        WriteLogF(0, "StoppedRunLeft: %s of a stopped run of %s is still there", note.c_str(), *szFix ? szFix : "an unknown fix");
        return *szFix ? szFix : std::string("an unknown fix");
    }
    return std::string();
}
