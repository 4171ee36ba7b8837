#include "installer/resources.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"

#include "installer/decompress_buffer.h"
#include "installer/memory_blocks.h"
#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/fix_record.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

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

BOOL ReadFixDescription(const char* lpCaller, zfix::FIXRECORD* record, DWORD* pdwSize)
{
    const void* data = LoadFixRecord(pdwSize);
    if (!data)
        return FALSE;
    std::string why;
    if (!zfix::ReadFixRecord(data, *pdwSize, record, &why)) {
        WriteLogF(0, "%s: ERROR: the fix description is corrupt: %s", lpCaller, why.c_str());
        return FALSE;
    }
    return TRUE;
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

/* The last component of an entry name, or NULL when it could name a place outside the target
   directory. */
static const char* SafeShortName(const char* lpName)
{
    const char* shortName = lpName;
    for (const char* p = lpName; *p; ++p)
        if (*p == '\\' || *p == '/')
            shortName = p + 1;
    if (!*shortName || !strcmp(shortName, ".") || !strcmp(shortName, "..") || strchr(shortName, ':'))
        return NULL;
    return shortName;
}

void ExtractLocally(char* lpTargetDir)
{
    WriteLog("ExtractLocally: Starting", 0);
    FILETABLEENTRY** table = NewFileTable();
    int n = LoadFileTable(table);
    if (n > (int)zfix::MAX_FILE_ENTRIES) {
        MessageBoxA(NULL, "Too many entries in the fixes list!", "Info", MB_OK);
        return;
    }
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
            continue;
        }
        DWORD dwSize = 0;
        HGLOBAL hUpdate = FindAndLoadRes((int)table[i]->dwFileEntry, RES_UPDATE, &dwSize);
        if (!hUpdate) {
            WriteLogF(0, "Failed to load update resource %d.", i);
            return;
        }
        HGLOBAL hBlock = NULL;
        DWORD dwLength = 0;
        DecompressBuffer(LockResource(hUpdate), dwSize, &hBlock, &dwLength);
        size_t len = strlen(lpTargetDir);
        if (len == 0 || lpTargetDir[len - 1] != '\\')
            strcat(lpTargetDir, "\\");
        const char* shortName = SafeShortName(szName);
        if (!shortName) {
            WriteLogF(0, "ExtractLocally: ERROR: %s names no file inside the target directory", szName);
            if (hBlock)
                FreeBlock(hBlock);
            continue;
        }
        char szPath[2 * PATH_BUFFER];
        FormatText(szPath, sizeof(szPath), "%s%s", lpTargetDir, shortName);
        FILE* f = fopen(szPath, "w+b");
        if (!f) {
            WriteLogF(2, "Failed to open the temp file %s.", shortName);
            if (hBlock)
                FreeBlock(hBlock);
            return;
        }
        const void* bytes = hBlock ? LockBlock(hBlock) : NULL;
        if (bytes && dwLength)
            fwrite(bytes, 1, dwLength, f);
        if (hBlock) {
            UnlockBlock(hBlock);
            FreeBlock(hBlock);
        }
        fclose(f);
    }
}
