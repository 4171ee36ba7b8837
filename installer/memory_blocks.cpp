#include "installer/memory_blocks.h"

void CopyBytes(void* lpDest, const void* lpSource, DWORD dwCount)
{
    BYTE* d = (BYTE*)lpDest;
    const BYTE* s = (const BYTE*)lpSource;
    for (DWORD i = 0; i < dwCount; ++i)
        d[i] = s[i];
}

HGLOBAL AllocBlock(DWORD dwSize) { return GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, dwSize); }
void* LockBlock(HGLOBAL hBlock) { return GlobalLock(hBlock); }
void UnlockBlock(HGLOBAL hBlock) { GlobalUnlock(hBlock); }
void FreeBlock(HGLOBAL hBlock) { GlobalFree(hBlock); }
