/* Paths of the installation: whether a file or folder is there, folders along a path, and the
   parts of a name. */
#ifndef ZFIX_PATHS_H
#define ZFIX_PATHS_H

#include <windows.h>

#include <stddef.h>

/* TRUE when the file can be opened for reading. */
BOOL DoesFileExist(const char* lpPath);
/* TRUE when the path can be made the current directory (which is restored). */
BOOL IsDirectory(const char* lpPath);
/* Makes the folder the current directory, spelled as the file system stores each part of its
   name, which is the same folder in any case. A relative name is then found part by part as
   spelled: under Wine a part whose case differs from the stored one is searched for entry by
   entry in its parent folder, on every lookup of every file below it. */
BOOL EnterDirectory(const char* lpDir);
/* The program directory made the current one (EnterDirectory). */
BOOL EnterProgramDirectory(void);
/* Creates each folder along the path; the text after the last separator is a file name. */
BOOL CreateDirectoryPath(const char* lpPath);

/* The text after the last '.' (of the first 259 characters of the path), the path without its
   last '.' and what follows, and the text after the last '\'. Each writes at most cbOut bytes
   with the NUL, and returns FALSE with an empty output when the result does not fit. lpOut may
   be lpPath. */
BOOL GetFileExtension(const char* lpPath, char* lpOut, size_t cbOut);
BOOL StripFileExtension(const char* lpPath, char* lpOut, size_t cbOut);
BOOL GetFileNamePart(const char* lpPath, char* lpOut, size_t cbOut);

#endif
