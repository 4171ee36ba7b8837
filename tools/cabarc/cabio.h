// File access and path helpers shared by the packing (FCI) and extracting (FDI) halves of cabarc.
#pragma once

#include <windows.h>

#include <string>

namespace cabio {

// Open/read/write/close/seek over Win32 handles with the C runtime's open flags and seek origins,
// as both cabinet interfaces expect them. Open returns -1 on failure; *err gets the system error.
INT_PTR Open(const char* path, int oflag, int* err);
UINT Read(INT_PTR file, void* buf, UINT size, int* err);
UINT Write(INT_PTR file, const void* buf, UINT size, int* err);
int Close(INT_PTR file, int* err);
long Seek(INT_PTR file, long distance, int origin, int* err);

// Messages: "cabarc: " + text on standard error; Fail returns false for use in returns.
void Error(const char* format, ...);
bool Fail(const char* format, ...);
std::string SystemMessage(DWORD error);

// Case-insensitive wildcard match ('*' any run of characters, '?' one character).
bool WildMatch(const char* pattern, const char* name);

std::string FullPath(const std::string& path);
// Creates a directory and its missing parents.
bool MakeDirectories(const std::string& dir);
// Text conversion between the ANSI code page and UTF-8 (the cabinet's _A_NAME_IS_UTF names).
bool AnsiToUtf8(const std::string& ansi, std::string* utf8);
bool Utf8ToAnsi(const std::string& utf8, std::string* ansi);
bool IsAscii(const std::string& text);

}  // namespace cabio
