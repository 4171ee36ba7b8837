/* Copying a file and moving a tree to the recycle bin. */
#ifndef ZFIX_FILE_COPY_H
#define ZFIX_FILE_COPY_H

#include <windows.h>

/* Copies a file byte for byte, creating or truncating lpTo; every failure is logged. */
BOOL CopyFiles(const char* lpFrom, const char* lpTo);
/* Moves a file or a folder with everything below it to the recycle bin. */
BOOL DeleteTree(const char* lpPath);

#endif
