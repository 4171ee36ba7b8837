/* The INI files of the product and of the installer (PATCH.INI, ZOREL.INI), through the Win32
   profile API. Every reader uses the same rules: the default "DEFAULT" means that the key is
   missing, a value of zero characters is an error, and a name read from the fix registry that
   is joined to a product directory must stay inside it. */
#ifndef ZFIX_PROFILE_H
#define ZFIX_PROFILE_H

#include <windows.h>

#include <stddef.h>

#define PROFILE_DEFAULT "DEFAULT"
#define PROFILE_BUFFER 260

/* How a key read went. */
#define PROFILE_VALUE 0   /* a value of one character or more */
#define PROFILE_MISSING 1 /* the buffer holds "DEFAULT": no such key (or section, or file) */
#define PROFILE_EMPTY 2   /* the key is there with no value: an error for every reader */

/* Reads key of section from lpFile into lpValue (size bytes) with the default "DEFAULT";
   returns PROFILE_VALUE, PROFILE_MISSING or PROFILE_EMPTY. After PROFILE_EMPTY the caller
   logs GetLastError() with its own words. */
int ReadProfileString(const char* lpSection, const char* lpKey, char* lpValue, DWORD size, const char* lpFile);

/* TRUE when the section holds at least one key (an absent and an empty section read alike). */
BOOL ProfileSectionHasKeys(const char* lpSection, const char* lpFile);

/* Makes section an empty section of lpFile: creates the file and the section when they are
   missing and removes every key of an existing one, in place. A single empty-list section
   write does that on Windows, but under Wine it creates neither a missing file nor a missing
   section, so the section is first made to exist with one key. */
BOOL WriteEmptyProfileSection(const char* lpSection, const char* lpFile);

/* Joins a directory and a relative name read from the fix registry ("%s\\%s") into lpOut.
   A name that could leave the directory (a ".." step, a drive, a leading '\\', a stream ':',
   a device name) or a path that does not fit is refused: FALSE, with a log line that names
   lpCaller, the key and the value. */
BOOL JoinRegistryName(const char* lpDir, const char* lpName, char* lpOut, size_t size, const char* lpCaller,
                      const char* lpKey);

#endif
