/* Small shared routines on paths, files, labels and memory blocks. */
#ifndef ZFIX_UTILS_H
#define ZFIX_UTILS_H

#include <windows.h>

BOOL DoesFileExist(const char* lpPath);
BOOL IsDirectory(const char* lpPath);
BOOL CreateDirectoryPath(const char* lpPath);
/* The text after the last '.', the path without its last '.' and what follows, the text after the
   last '\'. Each writes lpOut (cbOut bytes; it may be lpPath itself) and returns FALSE with an
   empty output when the result does not fit. */
BOOL GetFileExtension(const char* lpPath, char* lpOut, size_t cbOut);
BOOL StripFileExtension(const char* lpPath, char* lpOut, size_t cbOut);
BOOL GetFileNamePart(const char* lpPath, char* lpOut, size_t cbOut);
void TrimTrailingBlanks(char* lpText);
/* Upper-cases a text in place in the system code page; returns it. */
char* UpperCase(char* lpText);
char* LabelRelease(const char* lpLabel);
char* JoinLabels(const char* lpA, const char* lpB);
BOOL CopyFiles(const char* lpFrom, const char* lpTo);
BOOL DeleteTree(const char* lpPath);
void CopyBytes(void* lpDest, const void* lpSource, DWORD dwCount);

/* Movable, zero-filled global memory blocks. */
HGLOBAL AllocBlock(DWORD dwSize);
void* LockBlock(HGLOBAL hBlock);
void UnlockBlock(HGLOBAL hBlock);
void FreeBlock(HGLOBAL hBlock);

#endif
