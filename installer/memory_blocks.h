/* Movable, zero-filled global memory blocks, which hold the unpacked payloads and the licence
   text, and a byte copy. */
#ifndef ZFIX_MEMORY_BLOCKS_H
#define ZFIX_MEMORY_BLOCKS_H

#include <windows.h>

HGLOBAL AllocBlock(DWORD dwSize);
void* LockBlock(HGLOBAL hBlock);
void UnlockBlock(HGLOBAL hBlock);
void FreeBlock(HGLOBAL hBlock);
/* Copies dwCount bytes one by one from the first upwards. */
void CopyBytes(void* lpDest, const void* lpSource, DWORD dwCount);

#endif
