/* The executable's own resources: the loader by kind, the string table, the file table, and
   the two services built on it (contents listing and local extraction). */
#ifndef ZFIX_RESOURCES_H
#define ZFIX_RESOURCES_H

#include <windows.h>

#define RES_VERSION        1
#define RES_FILEENTRY      2
#define RES_UPDATE         3
#define RES_NONE           4
#define RES_LICENSEENTRY   5
#define RES_UPDATE64ENTRY  6
#define RES_UPDATECABENTRY 7

#define FILE_TABLE_SIZE    10001

typedef struct FILETABLEENTRY {
    char* name;
    DWORD dwDir;
    DWORD dwOldChecksum;
    DWORD dwFileEntry;
} FILETABLEENTRY;

HGLOBAL FindAndLoadRes(int id, int kind, DWORD* pdwSize);
/* The bytes of a resource as FindAndLoadRes finds it, without its log line: for work done off
   the order of the log. NULL when missing. */
const void* QuietResource(int id, int kind, DWORD* pdwSize);
/* The fix description record (VERSION/1), locked, with its size; NULL after string 32 was shown
   and logged because it is missing. */
const void* LoadFixRecord(DWORD* pdwSize);

#ifdef __cplusplus
#include "package/fix_record.h"
/* The fix description, read through: FALSE when it is missing (after string 32) or runs past its
   end (logged with the caller's name). The record's names point into the locked resource. */
BOOL ReadFixDescription(const char* lpCaller, zfix::FIXRECORD* record, DWORD* pdwSize);
#endif
/* The fix is damaged (lpWhat says how): logged, shown unless the run is unattended, and the run
   ends with exit code 1. */
void FixDamaged(const char* lpWhat);
/* Unpacks a compressed resource into a new block of exactly its stated size. NULL when the
   resource is missing (*pbMissing set, nothing else said) or does not unpack to exactly its
   stated size (logged, naming lpWhat). */
HGLOBAL UnpackPayload(int id, int kind, const char* lpWhat, DWORD* pdwLength, BOOL* pbMissing);
BOOL LoadResourceStrings(void);
int LoadFileTable(FILETABLEENTRY** table);
void ListContents(void);
/* Writes the fix's files into lpTargetDir; FALSE after a message when a file could not be
   written whole. */
BOOL ExtractLocally(const char* lpTargetDir);

#endif
