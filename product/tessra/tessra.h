/* tessra.dll: the product's release-strings library.
 *
 * The release text lives in the resource RELEASETEXT / 1 / 1033: the label text (release text,
 * '|', date) followed by one NUL. UpdateVersion.exe reads and rewrites that resource. */
#ifndef TESSRA_H
#define TESSRA_H

#include <windows.h>

#define TESSRA_RELEASE_TYPE "RELEASETEXT"
#define TESSRA_RELEASE_ID 1
#define TESSRA_RELEASE_LANG MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)

#ifdef __cplusplus
extern "C" {
#endif

#ifdef TESSRA_BUILD
#define TESSRA_API __declspec(dllexport)
#else
#define TESSRA_API __declspec(dllimport)
#endif

/* Copies the library's release text into buf (at most size - 1 bytes, NUL-terminated when size > 0)
 * and returns its full length; 0 when the library carries none. */
TESSRA_API DWORD TessraReleaseText(char* buf, DWORD size);

#ifdef __cplusplus
}
#endif

/* Finds the release text in a module (loaded normally or as a data file). On success *text points
 * into the resource data and *len is the length up to the first NUL. */
static __inline BOOL TessraFindReleaseText(HMODULE module, const char** text, DWORD* len)
{
    HRSRC res = FindResourceExA(module, TESSRA_RELEASE_TYPE, MAKEINTRESOURCEA(TESSRA_RELEASE_ID),
                                TESSRA_RELEASE_LANG);
    HGLOBAL data;
    const char* bytes;
    DWORD size, n;
    if (!res)
        res = FindResourceA(module, MAKEINTRESOURCEA(TESSRA_RELEASE_ID), TESSRA_RELEASE_TYPE);
    if (!res)
        return FALSE;
    size = SizeofResource(module, res);
    data = LoadResource(module, res);
    bytes = data ? (const char*)LockResource(data) : NULL;
    if (!bytes)
        return FALSE;
    for (n = 0; n < size && bytes[n] != '\0'; ++n) {
    }
    *text = bytes;
    *len = n;
    return TRUE;
}

#endif
