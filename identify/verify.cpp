/* Verification of the files that the fix patches in place. */
#include "identify/identify.h"

#include "identify/checksum.h"
#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "package/file_entry.h"

#include <stdio.h>
#include <string.h>

#include <string>

enum FileState { FILE_ABSENT, FILE_IN_USE, FILE_MATCHES, FILE_DIFFERS };

/* Opens a file for reading and for update and compares its checksum with the expected one;
   iCase numbers the skip line of an absent file (1 in a data directory of several, 2 elsewhere). */
static FileState CheckFile(const char* lpPath, DWORD dwExpected, int iCase)
{
    /* A file that opens for update opens for reading too: the read-only open only tells an absent
       file from one in use, and is made when the open for update fails. */
    FILE* f = fopen(lpPath, "r+b");
    if (!f) {
        if (!DoesFileExist(lpPath)) {
            WriteLogF(2, "VerifyFiles: The file %s is not installed. Intentionally skipping (%d) (This is OK)", lpPath, iCase);
            return FILE_ABSENT;
        }
        WriteLogF(1, "The file %s is missing or in use by another process. Skipping", lpPath);
        return FILE_IN_USE;
    }
    unsigned long dwChecksum = FileChecksum(f);
    fclose(f);
    if (dwChecksum == dwExpected) {
        WriteLogF(2, "VerifyFiles: Checksum for file %s (0x%08X) is correct", lpPath, (unsigned)dwChecksum);
        return FILE_MATCHES;
    }
    WriteLogF(1, "File %s failed checksum. (Found %#lx, Expected %#lx)", lpPath, dwChecksum, (unsigned long)dwExpected);
    return FILE_DIFFERS;
}

int VerifyFiles(const zfix::FIXRECORD& record, DWORD count)
{
    int faults = 0;
    BOOL bFailed = FALSE;
    WriteLog("VerifyFiles: Starting", 1);
    GaugeCommand(ghGaugeFile, GAUGE_SETRANGE, (LONG)count);
    for (DWORD n = 0; n < count && n < record.files.size(); ++n) {
        const zfix::FILELISTRECORD& f = record.files[n];
        DWORD dwExpected = giMode == MODE_UPGRADE ? f.dwOldChecksum : giMode == MODE_REVERT ? f.dwNewChecksum : 0;
        if (f.dwOperation == zfix::FE_PATCH && f.dwDir != zfix::DIR_SYSTEM) {
            if (f.dwDir == zfix::DIR_DATA && giPartitions > 1) {
                for (int i = 0; i < giPartitions; ++i) {
                    if (!gpDataValid[i])
                        continue;
                    std::string path = std::string(gpZorelData[i]) + "\\" + f.lpFile;
                    FileState state = CheckFile(path.c_str(), dwExpected, 1);
                    if (state == FILE_IN_USE)
                        gpDataValid[i] = 0;
                    if (state == FILE_IN_USE || state == FILE_DIFFERS)
                        ++faults;
                }
                if (faults == giPartitions) {
                    WriteLog("VerifyFiles: No valid partitions found", 0);
                    return 0;
                }
            } else {
                std::string path = f.dwDir == zfix::DIR_DATA && giPartitions > 0 ? std::string(gpZorelData[0]) + "\\" + f.lpFile
                                                                                : std::string(f.lpFile);
                FileState state = CheckFile(path.c_str(), dwExpected, 2);
                if (state == FILE_IN_USE)
                    return 0;
                if (state == FILE_DIFFERS && path != "tessra.dll")
                    bFailed = TRUE;
            }
        }
        GaugeProgress(ghGaugeFile, GAUGE_SETPOS, (LONG)(n + 1));
    }
    return bFailed ? 0 : VERIFY_OK;
}

int VerifyZorelVersion(void)
{
    WriteLog("Entered VerifyZorelVersion()", 1);
    DWORD dwResSize = 0;
    zfix::FIXRECORD record;
    if (!ReadFixDescription("VerifyZorelVersion", &record, &dwResSize))
        return 0;
    DWORD dwNumFiles = zfix::NumFiles(record.header);
    gdwChecksums = record.header.gdwChecksums;
    WriteLogF(1, "VerifyZorelVersion: Calling VerifyFiles (dwFiles = %ld)", (long)dwNumFiles);
    int result = VerifyFiles(record, dwNumFiles);
    WriteLog("Exiting VerifyZorelVersion()", 1);
    return result;
}
