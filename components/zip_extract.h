/* Extraction of a zip archive opened with minizip's unzip API, below the current directory. */
#ifndef ZFIX_ZIP_EXTRACT_H
#define ZFIX_ZIP_EXTRACT_H

#include "unzip.h"

/* ExtractZipAll's result when it passed over members whose names it refused. */
const int ZIP_MEMBER_REFUSED = -1000;  /* outside zlib's and minizip's error codes */

/* Extracts every member in turn, stopping at the first that fails. 0 only when every member was
   extracted; else the first failure (a minizip error, -104, -1) or, when the only fault was that
   members were refused and passed over, ZIP_MEMBER_REFUSED. Errors are logged. bWithoutPath:
   members go to the current directory by their names alone; bOverwrite: existing files are
   replaced without asking. lpPassword may be NULL. */
int ExtractZipAll(unzFile uf, int bWithoutPath, int bOverwrite, const char* lpPassword);

/* Extracts the current member; 0, the minizip error of the failing step, -104 when the read
   buffer cannot be had, -1 when its file cannot be created or written. *pbOverwrite may be set
   by the "All" answer. A member whose name does not fit the name buffer or whose path would leave
   the current directory is refused (logged) and not written: ZIP_MEMBER_REFUSED. */
int ExtractZipMember(unzFile uf, const int* pbWithoutPath, int* pbOverwrite, const char* lpPassword);

/* Creates every directory along lpPath ('\' or '/' separated), the last one included; failures
   (an existing directory) are ignored. */
void MakeDirChain(const char* lpPath);

#endif
