#include "cabio.h"

#include <fcntl.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace cabio {

INT_PTR Open(const char* path, int oflag, int* err)
{
    DWORD access;
    switch (oflag & (_O_RDONLY | _O_WRONLY | _O_RDWR)) {
    case _O_WRONLY: access = GENERIC_WRITE; break;
    case _O_RDWR: access = GENERIC_READ | GENERIC_WRITE; break;
    default: access = GENERIC_READ; break;
    }
    DWORD disposition;
    if ((oflag & (_O_CREAT | _O_EXCL)) == (_O_CREAT | _O_EXCL))
        disposition = CREATE_NEW;
    else if ((oflag & (_O_CREAT | _O_TRUNC)) == (_O_CREAT | _O_TRUNC))
        disposition = CREATE_ALWAYS;
    else if (oflag & _O_CREAT)
        disposition = OPEN_ALWAYS;
    else if (oflag & _O_TRUNC)
        disposition = TRUNCATE_EXISTING;
    else
        disposition = OPEN_EXISTING;
    HANDLE h = CreateFileA(path, access, FILE_SHARE_READ, NULL, disposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        if (err)
            *err = static_cast<int>(GetLastError());
        return -1;
    }
    return reinterpret_cast<INT_PTR>(h);
}

UINT Read(INT_PTR file, void* buf, UINT size, int* err)
{
    DWORD got = 0;
    if (!ReadFile(reinterpret_cast<HANDLE>(file), buf, size, &got, NULL)) {
        if (err)
            *err = static_cast<int>(GetLastError());
        return static_cast<UINT>(-1);
    }
    return got;
}

UINT Write(INT_PTR file, const void* buf, UINT size, int* err)
{
    DWORD put = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file), buf, size, &put, NULL) || put != size) {
        if (err)
            *err = static_cast<int>(GetLastError());
        return static_cast<UINT>(-1);
    }
    return put;
}

int Close(INT_PTR file, int* err)
{
    if (!CloseHandle(reinterpret_cast<HANDLE>(file))) {
        if (err)
            *err = static_cast<int>(GetLastError());
        return -1;
    }
    return 0;
}

long Seek(INT_PTR file, long distance, int origin, int* err)
{
    DWORD method = origin == SEEK_CUR ? FILE_CURRENT : origin == SEEK_END ? FILE_END : FILE_BEGIN;
    DWORD pos = SetFilePointer(reinterpret_cast<HANDLE>(file), distance, NULL, method);
    if (pos == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) {
        if (err)
            *err = static_cast<int>(GetLastError());
        return -1;
    }
    return static_cast<long>(pos);
}

static void Report(const char* format, va_list args)
{
    std::fputs("cabarc: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputs("\n", stderr);
}

void Error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Report(format, args);
    va_end(args);
}

bool Fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Report(format, args);
    va_end(args);
    return false;
}

std::string SystemMessage(DWORD error)
{
    char buf[300];
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0,
                             buf, sizeof buf, NULL);
    while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ' || buf[n - 1] == '.'))
        --n;
    char code[32];
    std::snprintf(code, sizeof code, "error %lu", error);
    return n ? std::string(buf, n) + " (" + code + ")" : std::string(code);
}

static char Fold(char c)
{
    char s[2] = {c, '\0'};
    CharUpperBuffA(s, 1);
    return s[0];
}

bool WildMatch(const char* pattern, const char* name)
{
    const char* star = NULL;
    const char* resume = NULL;
    while (*name) {
        if (*pattern == '*') {
            star = pattern++;
            resume = name;
        } else if (*pattern && (*pattern == '?' || Fold(*pattern) == Fold(*name))) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star + 1;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

std::string FullPath(const std::string& path)
{
    char buf[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, NULL);
    if (n == 0 || n >= sizeof buf)
        return std::string();
    return std::string(buf, n);
}

bool MakeDirectories(const std::string& dir)
{
    if (dir.empty())
        return true;
    DWORD attributes = GetFileAttributesA(dir.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    size_t slash = dir.find_last_of("\\/");
    if (slash != std::string::npos && slash > 0 && dir[slash - 1] != ':' &&
        !MakeDirectories(dir.substr(0, slash)))
        return false;
    return CreateDirectoryA(dir.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS;
}

static bool Convert(const std::string& in, UINT from, UINT to, DWORD fromFlags, std::string* out)
{
    out->clear();
    if (in.empty())
        return true;
    int wide = MultiByteToWideChar(from, fromFlags, in.data(), static_cast<int>(in.size()), NULL, 0);
    if (wide <= 0)
        return false;
    std::vector<wchar_t> w(wide);
    MultiByteToWideChar(from, fromFlags, in.data(), static_cast<int>(in.size()), &w[0], wide);
    BOOL lossy = FALSE;
    BOOL* lossyArg = to == CP_UTF8 ? NULL : &lossy;
    int n = WideCharToMultiByte(to, 0, &w[0], wide, NULL, 0, NULL, lossyArg);
    if (n <= 0)
        return false;
    std::vector<char> b(n);
    WideCharToMultiByte(to, 0, &w[0], wide, &b[0], n, NULL, lossyArg);
    if (lossy)
        return false;
    out->assign(&b[0], n);
    return true;
}

bool AnsiToUtf8(const std::string& ansi, std::string* utf8)
{
    return Convert(ansi, CP_ACP, CP_UTF8, 0, utf8);
}

bool Utf8ToAnsi(const std::string& utf8, std::string* ansi)
{
    return Convert(utf8, CP_UTF8, CP_ACP, MB_ERR_INVALID_CHARS, ansi);
}

bool IsAscii(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return false;
    return true;
}

}  // namespace cabio
