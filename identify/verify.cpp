/* Verification of the files that the fix patches in place. */
#include "identify/identify.h"

#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "installer/work_ahead.h"
#include "package/checksum.h"
#include "package/file_entry.h"

#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

enum FileState { FILE_ABSENT, FILE_IN_USE, FILE_MATCHES, FILE_DIFFERS };

/* What opening a file for reading and for update found: its checksum, or whether it is there. */
struct Probe {
    BOOL bOpened;
    BOOL bExists;
    BOOL bNoBuffer;  /* no read buffer could be had: the checksum is 0 */
    uint32_t dwChecksum;
};

/* Opened through the system rather than the C library: the library holds its lock on every
   stream while it opens a file, which would make the threads ahead wait on one another. */
static Probe ProbeFile(const std::string& path)
{
    /* A file that opens for update opens for reading too: the read-only open only tells an absent
       file from one in use, and is made when the open for update fails (the modes "r+b" and "r"
       of the C library). */
    Probe probe = {FALSE, FALSE, FALSE, 0};
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE) {
        probe.bExists = DoesFileExist(path.c_str());
        return probe;
    }
    probe.bOpened = probe.bExists = TRUE;
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(256 * 1024);
    } catch (...) {
        probe.bNoBuffer = TRUE;
    }
    DWORD got = 0;
    uint32_t crc = 0;
    while (!probe.bNoBuffer && ReadFile(h, buffer.data(), (DWORD)buffer.size(), &got, NULL) && got > 0)
        crc = zfix::Crc32(buffer.data(), got, crc);
    if (!probe.bNoBuffer)
        probe.dwChecksum = crc;
    CloseHandle(h);
    return probe;
}

/* Compares a file's checksum with the expected one; iCase numbers the skip line of an absent file
   (1 in a data directory of several, 2 elsewhere). */
static FileState CheckFile(const char* lpPath, const Probe& probe, DWORD dwExpected, int iCase)
{
    if (!probe.bOpened) {
        if (!probe.bExists) {
            WriteLogF(2, "VerifyFiles: The file %s is not installed. Intentionally skipping (%d) (This is OK)", lpPath, iCase);
            return FILE_ABSENT;
        }
        WriteLogF(1, "The file %s is missing or in use by another process. Skipping", lpPath);
        return FILE_IN_USE;
    }
    if (probe.bNoBuffer)
        LOG_ALLOC_FAILURE();
    unsigned long dwChecksum = probe.dwChecksum;
    if (dwChecksum == dwExpected) {
        WriteLogF(2, "VerifyFiles: Checksum for file %s (0x%08X) is correct", lpPath, (unsigned)dwChecksum);
        return FILE_MATCHES;
    }
    WriteLogF(1, "File %s failed checksum. (Found %#lx, Expected %#lx)", lpPath, dwChecksum, (unsigned long)dwExpected);
    return FILE_DIFFERS;
}

/* The files VerifyFiles opens, in its order: the patched ones outside the system directory, under
   every data directory in use or in the program directory. */
static std::vector<std::string> PatchedPaths(const zfix::FIXRECORD& record, DWORD count)
{
    std::vector<std::string> paths;
    for (DWORD n = 0; n < count && n < record.files.size(); ++n) {
        const zfix::FILELISTRECORD& f = record.files[n];
        if (f.dwOperation != zfix::FE_PATCH || f.dwDir == zfix::DIR_SYSTEM)
            continue;
        if (f.dwDir == zfix::DIR_DATA && giPartitions > 1) {
            for (int i = 0; i < giPartitions; ++i)
                if (gpDataValid[i])
                    paths.push_back(std::string(gpZorelData[i]) + "\\" + f.lpFile);
        } else {
            paths.push_back(f.dwDir == zfix::DIR_DATA && giPartitions > 0 ? std::string(gpZorelData[0]) + "\\" + f.lpFile
                                                                           : std::string(f.lpFile));
        }
    }
    return paths;
}

int VerifyFiles(const zfix::FIXRECORD& record, DWORD count)
{
    int faults = 0;
    BOOL bFailed = FALSE;
    WriteLog("VerifyFiles: Starting", 1);
    GaugeCommand(ghGaugeFile, GAUGE_SETRANGE, (LONG)count);
    /* The files are opened and read a little ahead on two threads: each open waits on the file
       server. */
    AnswersAhead<Probe> probes(ProbeFile);
    probes.Start(PatchedPaths(record, count), 2);
    for (DWORD n = 0; n < count && n < record.files.size(); ++n) {
        const zfix::FILELISTRECORD& f = record.files[n];
        DWORD dwExpected = giMode == MODE_UPGRADE ? f.dwOldChecksum : giMode == MODE_REVERT ? f.dwNewChecksum : 0;
        if (f.dwOperation == zfix::FE_PATCH && f.dwDir != zfix::DIR_SYSTEM) {
            if (f.dwDir == zfix::DIR_DATA && giPartitions > 1) {
                for (int i = 0; i < giPartitions; ++i) {
                    if (!gpDataValid[i])
                        continue;
                    std::string path = std::string(gpZorelData[i]) + "\\" + f.lpFile;
                    FileState state = CheckFile(path.c_str(), probes.Get(path), dwExpected, 1);
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
                FileState state = CheckFile(path.c_str(), probes.Get(path), dwExpected, 2);
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
