#include <windows.h>
BOOL DecompressBuffer(const void*, DWORD, HGLOBAL*, DWORD*) { return FALSE; }
