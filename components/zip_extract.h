/* Extraction of a zip archive opened with minizip's unzip API, below the current directory. */
#ifndef ZFIX_ZIP_EXTRACT_H
#define ZFIX_ZIP_EXTRACT_H

#include "unzip.h"

/* Extracts every member in turn, stopping at the first that fails; 0 always (errors are
   logged). bWithoutPath: members go to the current directory by their names alone; bOverwrite:
   existing files are replaced without asking. lpPassword may be NULL. */
int ExtractZipAll(unzFile uf, int bWithoutPath, int bOverwrite, const char* lpPassword);

/* Extracts the current member; 0, the minizip error of the failing step, -104 when the read
   buffer cannot be had, -1 when writing fails. *pbOverwrite may be set by the "All" answer.
   A member whose path would leave the current directory is refused (logged) and skipped. */
int ExtractZipMember(unzFile uf, const int* pbWithoutPath, int* pbOverwrite, const char* lpPassword);

/* Creates every directory along lpPath ('\' or '/' separated), the last one included; failures
   (an existing directory) are ignored. */
void MakeDirChain(const char* lpPath);

#endif
