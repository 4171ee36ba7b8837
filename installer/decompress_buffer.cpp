#include "installer/decompress_buffer.h"

#include <cstring>

#include "installer/log.h"
#include "package/explode.h"

BOOL DecompressBuffer(const void* lpResource, DWORD dwResourceSize, HGLOBAL* phMem, DWORD* pdwSize) {
  if (lpResource == NULL) return FALSE;
  if (phMem) *phMem = NULL;
  DWORD dwSize = 0;
  if (dwResourceSize >= 4) std::memcpy(&dwSize, lpResource, 4);
  if (pdwSize) *pdwSize = dwSize;
  // A match of at most 518 bytes takes at least 22 bits, and nothing gives more bytes per bit:
  // a stated size beyond that is a lie, refused before the memory is taken.
  if (dwResourceSize < 4 || dwSize > (unsigned long long)(dwResourceSize - 4) * 8 * 518 / 22 + 518) {
    WriteLog("Failed to decompress buffer.", 0);
    return FALSE;
  }

  HGLOBAL hMem = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, dwSize);
  if (hMem == NULL) {
    WriteLog("Failed to decompress buffer.", 0);
    return FALSE;
  }
  if (phMem) *phMem = hMem;
  // A block of 0 bytes cannot be locked; an empty payload is still decoded (to nothing).
  void* lpOut = dwSize ? GlobalLock(hMem) : NULL;
  unsigned status = zfix::EXPLODE_SHORT_INPUT;
  if (lpOut != NULL || dwSize == 0) {
    size_t written = 0;
    status = zfix::ExplodeToBuffer(static_cast<const BYTE*>(lpResource) + 4, dwResourceSize - 4, lpOut, dwSize, &written);
    // A stream that ends early leaves a tail of zeros: not the payload it claims to be.
    if (status == zfix::EXPLODE_OK && written != dwSize) status = zfix::EXPLODE_ABORT;
  }
  if (lpOut != NULL) GlobalUnlock(hMem);
  if (phMem == NULL) GlobalFree(hMem);
  if (status != zfix::EXPLODE_OK) {
    WriteLog("Failed to decompress buffer.", 0);
    return FALSE;
  }
  return TRUE;
}
