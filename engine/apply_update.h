/* Writing one target's content for the end of the run into its temporary file: a whole file
   copied out of the payload, or the patch stream applied to the installed file, forwards
   (UpgradeFile) or backwards (RevertFile). */
#ifndef ZFIX_APPLY_UPDATE_H
#define ZFIX_APPLY_UPDATE_H

#include <windows.h>
#include <stdio.h>

#include "package/file_entry.h"

#include <stdint.h>

#include <vector>

/* FALSE (logged) when the installed file of a patch is not the one the patch starts from, when
   the payload is damaged, when the operation is not one that writes a file, or when the temporary
   file cannot be written; the temporary file then holds no usable content. lpInstalled may be
   NULL for whole files; lpInstalledName names it in the log. *pdwWritten receives the checksum of
   the bytes written (every one of which reached the file when TRUE is returned). */
BOOL UpgradeFile(FILE* lpInstalled, const char* lpInstalledName, FILE* lpTemp, const BYTE* lpPayload,
                 DWORD dwPayloadSize, const zfix::FILEENTRY* lpEntry, unsigned long* pdwWritten);
BOOL RevertFile(FILE* lpInstalled, const char* lpInstalledName, FILE* lpTemp, const BYTE* lpPayload,
                DWORD dwPayloadSize, const zfix::FILEENTRY* lpEntry, unsigned long* pdwWritten);

/* The final check of a temporary file's content: its checksum is the expected one, or the
   expected one is missing (0 or 0xFFFFFFFF), or it is 0 where nothing was to be written
   (dwExpectedSize 0: zfix::ExpectedOutputSize). */
BOOL PassesFinalCheck(unsigned long dwFound, unsigned long dwExpected, unsigned long dwExpectedSize);

/* A call the file gauge received: a range when bRange, else a position. */
struct GaugeCall {
    bool bRange;
    uint32_t value;
};

/* What UpgradeFile logs and shows of an entry whose content was made elsewhere: the copy line of
   a whole file, then the file gauge's calls. */
void ReplayUpgradeFile(const zfix::FILEENTRY* lpEntry, const std::vector<GaugeCall>& gauge);

#endif
