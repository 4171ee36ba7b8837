#include "installer/resources.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"

#include "installer/decompress_buffer.h"
#include "installer/memory_blocks.h"
#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/fix_record.h"
#include "package/names.h"
#include "installer/fix_labels.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

static const char* ResourceType(int kind)
{
    switch (kind) {
    case RES_VERSION: return zfix::RESTYPE_VERSION;
    case RES_FILEENTRY: return zfix::RESTYPE_FILEENTRY;
    case RES_UPDATE: return zfix::RESTYPE_UPDATE;
    case RES_LICENSEENTRY: return zfix::RESTYPE_LICENSEENTRY;
    case RES_UPDATE64ENTRY: return zfix::RESTYPE_UPDATE64ENTRY;
    case RES_UPDATECABENTRY: return zfix::RESTYPE_UPDATECABENTRY;
    default: return NULL;
    }
}

HGLOBAL FindAndLoadRes(int id, int kind, DWORD* pdwSize)
{
    const char* type = ResourceType(kind);
    HRSRC hRes = NULL;
    if (type) {
        if (kind == RES_VERSION)
            id = 1;
        hRes = FindResourceA(ghInstance, MAKEINTRESOURCEA(id), type);
        WriteLogF(0, "FindAndLoadRes: Calling FindResource for %s at %d, returns 0x%x\n", type, id,
                  (unsigned)(UINT_PTR)hRes);
    }
    if (!hRes) {
        WriteLog("FindAndLoadRes: ERROR: Calling FindResource() returned NULL!", 0);
        return NULL;
    }
    if (pdwSize)
        *pdwSize = SizeofResource(ghInstance, hRes);
    return LoadResource(ghInstance, hRes);
}

const void* QuietResource(int id, int kind, DWORD* pdwSize)
{
    const char* type = ResourceType(kind);
    HRSRC hRes = type ? FindResourceA(ghInstance, MAKEINTRESOURCEA(id), type) : NULL;
    HGLOBAL hData = hRes ? LoadResource(ghInstance, hRes) : NULL;
    *pdwSize = hData ? SizeofResource(ghInstance, hRes) : 0;
    return hData ? LockResource(hData) : NULL;
}

BOOL LoadResourceStrings(void)
{
    const int kMaxStrings = 4096;
    char** strings = (char**)calloc(kMaxStrings, sizeof(char*));
    if (!strings)
        return FALSE;
    int count = 0;
    char szText[520];
    while (count < kMaxStrings && LoadStringA(ghInstance, (UINT)count, szText, sizeof(szText)) > 0)
        strings[count++] = _strdup(szText);
    gpStrings = strings;
    giStringCount = count;
    return count > 0;
}


const void* LoadFixRecord(DWORD* pdwSize)
{
    HGLOBAL hRes = FindAndLoadRes(1, RES_VERSION, pdwSize);
    const void* data = hRes ? LockResource(hRes) : NULL;
    if (!data) {
        MessageBoxA(ghMainDlg, Str(32), Str(STR_CAPTION), MB_OK | MB_ICONERROR);
        WriteLogString(32, 0);
    }
    return data;
}

void FixDamaged(const char* lpWhat)
{
    char szText[600];
    FormatText(szText, sizeof(szText), "This fix is damaged: %s", lpWhat);
    WriteLog(szText, 0);
    /* The contents listing answers in a box even in an unattended run. */
    if (!(gwOptions & OPTIONS_NOUSER) || (gwOptions & OPTIONS_CONTENTS))
        MessageBoxA(ghMainDlg, szText, Str(STR_CAPTION), MB_OK | MB_ICONERROR);
    exit(1);
}

/* A name of the fix must stay below the directory it is installed in. */
static void CheckFixName(const char* lpName)
{
    if (!zfix::StaysInside(lpName)) {
        std::string what = std::string("the file name \"") + lpName + "\" is not a plain name inside its directory.";
        FixDamaged(what.c_str());
    }
}

/* A label must give one plain backup directory name below the program directory. */
static void CheckFixLabel(const char* lpField)
{
    char szLabel[LABEL_BUFFER + 1], szDir[zfix::LABEL_DIR_MAX + 1];
    CopyText(szLabel, sizeof(szLabel), lpField);
    zfix::TrimLabel(szLabel);
    if (!zfix::IsLabelDirName(LabelDirName(szLabel, szDir))) {
        std::string what = std::string("the label \"") + szLabel + "\" names no plain backup directory.";
        FixDamaged(what.c_str());
    }
}

/* Every FILEENTRY/n names the file its file-list record names, in the same directory, and stays
   below that directory: the engine backs up, writes and (undoing a failed run) puts back files
   under the entry's own name, while the commit and the fix registry go by the file list. A
   missing entry is left to the engine, which stops at it before it writes anything. */
static void CheckFileEntries(const zfix::FIXRECORD& record)
{
    static BOOL bChecked = FALSE;
    if (bChecked)
        return;
    /* One slot per entry number, sized from dwFileEntries, which ReadFixRecord holds to the
       format's limit: the size cannot wrap. */
    std::vector<const zfix::FILELISTRECORD*> listed = zfix::ListedByEntry(record);
    for (DWORD n = 1; n < listed.size(); ++n) {
        DWORD dwSize = 0;
        HGLOBAL hEntry = FindAndLoadRes((int)n, RES_FILEENTRY, &dwSize);
        const void* data = hEntry ? LockResource(hEntry) : NULL;
        if (!data)
            continue;
        char szName[zfix::MAX_ENTRY_NAME + 1];
        zfix::FILEENTRY fe;
        char szWhat[zfix::MAX_ENTRY_NAME * 2 + 80];
        if (!zfix::ReadFileEntry(data, dwSize, szName, sizeof(szName), &fe)) {
            FormatText(szWhat, sizeof(szWhat), "file entry %d is corrupt.", (int)n);
            FixDamaged(szWhat);
        }
        CheckFixName(szName);
        const zfix::FILELISTRECORD* f = listed[n];
        if (f && (_stricmp(f->lpFile, szName) != 0 || zfix::EffectiveDir(f->dwDir) != zfix::EffectiveDir(fe.dwDir))) {
            FormatText(szWhat, sizeof(szWhat), "file entry %d names \"%s\" in directory %lu, but its file list names \"%s\" in directory %lu.",
                       (int)n, szName, (unsigned long)zfix::EffectiveDir(fe.dwDir), f->lpFile,
                       (unsigned long)zfix::EffectiveDir(f->dwDir));
            FixDamaged(szWhat);
        }
    }
    bChecked = TRUE;
}

BOOL ReadFixDescription(const char* lpCaller, zfix::FIXRECORD* record, DWORD* pdwSize)
{
    const void* data = LoadFixRecord(pdwSize);
    if (!data)
        return FALSE;
    std::string why;
    if (!zfix::ReadFixRecord(data, *pdwSize, record, &why)) {
        WriteLogF(0, "%s: ERROR: the fix description is corrupt: %s", lpCaller, why.c_str());
        FixDamaged("its description is corrupt.");
    }
    CheckFixLabel(record->header.canOldLabel);
    CheckFixLabel(record->header.canNewLabel);
    for (const zfix::CHECKSUMRECORD& r : record->checksums) {
        CheckFixLabel(r.canLabel);
        CheckFixName(r.lpFile);
    }
    for (const zfix::FILELISTRECORD& f : record->files)
        CheckFixName(f.lpFile);
    CheckFileEntries(*record);
    return TRUE;
}

HGLOBAL UnpackPayload(int id, int kind, const char* lpWhat, DWORD* pdwLength, BOOL* pbMissing)
{
    *pdwLength = 0;
    *pbMissing = FALSE;
    DWORD dwSize = 0;
    HGLOBAL hRes = FindAndLoadRes(id, kind, &dwSize);
    const BYTE* data = hRes ? (const BYTE*)LockResource(hRes) : NULL;
    if (!data) {
        *pbMissing = TRUE;
        return NULL;
    }
    HGLOBAL hBlock = NULL;
    if (!DecompressBuffer(data, dwSize, &hBlock, pdwLength)) {
        WriteLogF(0, "%s: ERROR: the payload does not unpack to its stated %lu bytes", lpWhat, (unsigned long)*pdwLength);
        if (hBlock)
            FreeBlock(hBlock);
        *pdwLength = 0;
        return NULL;
    }
    return hBlock;
}

int LoadFileTable(FILETABLEENTRY** table)
{
    DWORD dwSize = 0;
    zfix::FIXRECORD record;
    if (!ReadFixDescription("LoadFileTable", &record, &dwSize))
        return 0;
    gdwChecksums = record.header.gdwChecksums;
    if (record.header.dwUpgradeType > 0)
        gdwFileEntries = record.header.dwFileEntries;
    for (int i = 0; i < FILE_TABLE_SIZE; ++i) {
        if (!table[i])
            table[i] = (FILETABLEENTRY*)calloc(1, sizeof(FILETABLEENTRY));
        if (!table[i]) {
            LOG_ALLOC_FAILURE();
            return 0;
        }
    }
    int n = (int)record.files.size();
    for (int i = 1; i <= n && i < FILE_TABLE_SIZE; ++i) {
        const zfix::FILELISTRECORD& f = record.files[(size_t)i - 1];
        table[i]->name = _strdup(f.lpFile);
        table[i]->dwDir = f.dwDir;
        table[i]->dwOldChecksum = f.dwOldChecksum;
        table[i]->dwFileEntry = f.dwFileEntry;
    }
    return n;
}

static FILETABLEENTRY** NewFileTable(void)
{
    static FILETABLEENTRY* table[FILE_TABLE_SIZE];
    return table;
}

void ListContents(void)
{
    FILETABLEENTRY** table = NewFileTable();
    int n = LoadFileTable(table);
    if (n > (int)zfix::MAX_LISTED_ENTRIES) {
        MessageBoxA(NULL, "Too many entries in the fixes list!", "Info", MB_OK);
        return;
    }
    std::string text = "This fix contains:\n";
    for (int i = 1; i <= n; ++i) {
        if (i > 1)
            text += ", ";
        text += table[i]->name ? table[i]->name : "";
    }
    MessageBoxA(NULL, text.c_str(), "Info", MB_OK);
}

/* The last component of an entry name (a local extraction puts every file in the target
   directory itself), or NULL when it is no plain file name. */
static const char* SafeShortName(const char* lpName)
{
    const char* shortName = lpName;
    for (const char* p = lpName; *p; ++p)
        if (*p == '\\' || *p == '/')
            shortName = p + 1;
    return zfix::IsPlainName(shortName) ? shortName : NULL;
}

/* A file of the local extraction that cannot be written: said to the user, and the run ends
   with exit code 1. */
static BOOL ExtractFailure(const char* lpText)
{
    WriteLogF(0, "ExtractLocally: ERROR: %s", lpText);
    MessageBoxA(NULL, lpText, "Error", MB_OK | MB_ICONERROR);
    return FALSE;
}

BOOL ExtractLocally(const char* lpTargetDir)
{
    WriteLog("ExtractLocally: Starting", 0);
    FILETABLEENTRY** table = NewFileTable();
    int n = LoadFileTable(table);
    if (n > (int)zfix::MAX_FILE_ENTRIES) {
        MessageBoxA(NULL, "Too many entries in the fixes list!", "Info", MB_OK);
        return FALSE;
    }
    char szDir[PATH_BUFFER];
    size_t len = strlen(lpTargetDir);
    if (!BuildPath(szDir, sizeof(szDir), len == 0 || lpTargetDir[len - 1] != '\\' ? "%s\\" : "%s", lpTargetDir))
        return ExtractFailure("The target directory's path is too long.");
    std::string text;
    for (int i = 1; i <= n; ++i) {
        DWORD dwEntrySize = 0;
        HGLOBAL hEntry = FindAndLoadRes((int)table[i]->dwFileEntry, RES_FILEENTRY, &dwEntrySize);
        char szName[zfix::MAX_ENTRY_NAME + 1];
        zfix::FILEENTRY entry;
        if (!hEntry) {
            WriteLog("Failed to load file entry resource.", 0);
            continue;
        }
        if (!zfix::ReadFileEntry(LockResource(hEntry), dwEntrySize, szName, sizeof(szName), &entry)) {
            WriteLogF(0, "ExtractLocally: ERROR: file entry %d is corrupt", (int)table[i]->dwFileEntry);
            FixDamaged("a file entry is corrupt.");
        }
        const char* shortName = SafeShortName(szName);
        if (!zfix::StaysInside(szName) || !shortName) {
            text = std::string("the file name \"") + szName + "\" is not a plain name inside its directory.";
            FixDamaged(text.c_str());
        }
        char szWhat[zfix::MAX_ENTRY_NAME + 32];
        FormatText(szWhat, sizeof(szWhat), "UPDATE/%d (%s)", (int)table[i]->dwFileEntry, szName);
        DWORD dwLength = 0;
        BOOL bMissing = FALSE;
        HGLOBAL hBlock = UnpackPayload((int)table[i]->dwFileEntry, RES_UPDATE, szWhat, &dwLength, &bMissing);
        if (bMissing) {
            /* Entries without a payload come last: the extraction ends at the first of them. */
            WriteLogF(0, "Failed to load update resource %d.", i);
            return TRUE;
        }
        if (!hBlock) {
            text = std::string("the file ") + szName + " does not unpack to its stated size.";
            FixDamaged(text.c_str());
        }
        char szPath[PATH_BUFFER];
        if (!BuildPath(szPath, sizeof(szPath), "%s%s", szDir, shortName)) {
            FreeBlock(hBlock);
            text = std::string("The path of ") + shortName + " in the target directory is too long.";
            return ExtractFailure(text.c_str());
        }
        FILE* f = fopen(szPath, "w+b");
        if (!f) {
            WriteLogF(2, "Failed to open the temp file %s.", shortName);
            FreeBlock(hBlock);
            text = std::string("Cannot write ") + szPath + ".";
            return ExtractFailure(text.c_str());
        }
        const void* bytes = dwLength ? LockBlock(hBlock) : NULL;
        BOOL bWritten = !dwLength || (bytes && fwrite(bytes, 1, dwLength, f) == dwLength);
        if (bytes)
            UnlockBlock(hBlock);
        FreeBlock(hBlock);
        bWritten = fclose(f) == 0 && bWritten;
        if (!bWritten) {
            text = std::string("Cannot write ") + szPath + ".";
            return ExtractFailure(text.c_str());
        }
    }
    return TRUE;
}
