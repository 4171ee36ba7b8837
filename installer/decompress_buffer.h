// Unpacks a compressed resource (u32 little-endian size, then an implode stream) into a
// movable global memory block.
//
//   HGLOBAL h; DWORD n;
//   BOOL ok = DecompressBuffer(lpRes, dwResSize, &h, &n);   // pdwSize may be NULL
//
// The block is allocated with exactly the stored size, zero-filled, and belongs to the caller
// whenever *phMem is set (also on failure). A damaged stream, or one that decodes to more or
// fewer bytes than the stored size, logs "Failed to decompress buffer." and returns FALSE; the
// block then holds what was decoded and fits. A stored size that the stream cannot reach is
// refused before any memory is taken (*phMem stays NULL).
#pragma once

#include <windows.h>

BOOL DecompressBuffer(const void* lpResource, DWORD dwResourceSize, HGLOBAL* phMem, DWORD* pdwSize);
