#include "engine/apply_update.h"

#include "identify/checksum.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "package/patch_apply.h"
#include "engine/progress.h"
#include "installer/gauge.h"

#include <zlib.h>

namespace {

class InstalledFile : public zfix::PatchSource {
public:
    explicit InstalledFile(FILE* f) : f_(f) {}
    size_t Read(uint8_t* buffer, size_t n) override { return f_ ? fread(buffer, 1, n, f_) : 0; }

private:
    FILE* f_;
};

/* The temporary file, with the checksum of everything written to it. */
class TempFile : public zfix::PatchSink {
public:
    explicit TempFile(FILE* f) : f_(f), crc_(crc32(0L, Z_NULL, 0)) {}
    void Write(const uint8_t* bytes, size_t n) override
    {
        if (n == 0)  /* crc32 of a null buffer is its start value: all counted so far would be lost */
            return;
        if (fwrite(bytes, 1, n, f_) != n)
            failed_ = true;
        crc_ = crc32(crc_, bytes, (uInt)n);
    }
    bool Failed() const { return failed_; }
    unsigned long Checksum() const { return (unsigned long)crc_; }

private:
    FILE* f_;
    bool failed_ = false;
    uLong crc_;
};

class FileGauge : public zfix::PatchGauge {
public:
    void SetRange(uint32_t range) override { GaugeProgress(ghGaugeFile, GAUGE_SETRANGE, (LONG)range); }
    void SetPos(uint32_t pos) override { GaugeProgress(ghGaugeFile, GAUGE_SETPOS, (LONG)pos); }
};

void LogWholeCopy(const zfix::FILEENTRY* e)
{
    if (e->dwOperation == zfix::FE_REPLACE)
        WriteLogF(0, "Copying %ld bytes\n", (long)e->dwNewSize);
}

/* Size and checksum of the installed file, leaving it at its start. */
void Measure(FILE* f, uint32_t* pdwSize, uint32_t* pdwChecksum)
{
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fseek(f, 0, SEEK_SET);
    *pdwSize = size < 0 ? 0xFFFFFFFFu : (uint32_t)size;
    *pdwChecksum = (uint32_t)FileChecksum(f);
}

BOOL Apply(const char* lpCaller, bool bRevert, FILE* lpInstalled, const char* lpInstalledName, FILE* lpTemp,
           const BYTE* lpPayload, DWORD dwPayloadSize, const zfix::FILEENTRY* e, unsigned long* pdwWritten)
{
    *pdwWritten = 0;
    if (e->dwOperation == zfix::FE_PATCH) {
        if (!lpInstalled) {
            WriteLogF(0, "%s: ERROR: %s is not open", lpCaller, lpInstalledName);
            return FALSE;
        }
        uint32_t dwSize, dwChecksum;
        Measure(lpInstalled, &dwSize, &dwChecksum);
        if (!zfix::InstalledFileFits(*e, bRevert, dwSize, dwChecksum)) {
            /* A patch applied to another file would write garbage, and an empty temporary file would
               make the commit remove the installed file: the installed file stays as it is and the
               run fails before anything is committed. */
            if (bRevert)
                WriteLogF(0, "RevertFile: fixed version or size is different for %s (size %lu, checksum 0x%08lx)", lpInstalledName,
                          (unsigned long)dwSize, (unsigned long)dwChecksum);
            else
                WriteLogF(0, "UpgradeFile: original version or size is different for %s\n", lpInstalledName);
            return FALSE;
        }
    }
    if (!bRevert)
        LogWholeCopy(e);
    InstalledFile source(lpInstalled);
    TempFile sink(lpTemp);
    FileGauge gauge;
    zfix::PatchOutcome outcome =
        zfix::ApplyFileUpdate(*e, bRevert, lpPayload, dwPayloadSize, &source, &sink, &gauge);
    if (outcome == zfix::PatchOutcome::Refused) {
        WriteLogF(0, "%s: ERROR: operation %lu of %s is not one that writes a file", lpCaller, (unsigned long)e->dwOperation,
                  lpInstalledName);
        return FALSE;
    }
    if (outcome == zfix::PatchOutcome::Corrupt) {
        WriteLogF(0, "%s: ERROR: the payload of %s is damaged: it ends early or reaches beyond %lu bytes", lpCaller,
                  lpInstalledName, (unsigned long)(bRevert ? e->dwOldSize : e->dwNewSize));
        return FALSE;
    }
    if (sink.Failed() || fflush(lpTemp) != 0) {
        WriteLogF(0, "%s: ERROR: writing the new content of %s failed: %lu", lpCaller, lpInstalledName,
                  (unsigned long)GetLastError());
        return FALSE;
    }
    *pdwWritten = sink.Checksum();
    return TRUE;
}

}  // namespace

BOOL UpgradeFile(FILE* lpInstalled, const char* lpInstalledName, FILE* lpTemp, const BYTE* lpPayload,
                 DWORD dwPayloadSize, const zfix::FILEENTRY* lpEntry, unsigned long* pdwWritten)
{
    return Apply("UpgradeFile", false, lpInstalled, lpInstalledName, lpTemp, lpPayload, dwPayloadSize, lpEntry,
                 pdwWritten);
}

BOOL RevertFile(FILE* lpInstalled, const char* lpInstalledName, FILE* lpTemp, const BYTE* lpPayload,
                DWORD dwPayloadSize, const zfix::FILEENTRY* lpEntry, unsigned long* pdwWritten)
{
    return Apply("RevertFile", true, lpInstalled, lpInstalledName, lpTemp, lpPayload, dwPayloadSize, lpEntry,
                 pdwWritten);
}

void ReplayUpgradeFile(const zfix::FILEENTRY* lpEntry, const std::vector<GaugeCall>& gauge)
{
    LogWholeCopy(lpEntry);
    FileGauge file;
    for (const GaugeCall& call : gauge) {
        if (call.bRange)
            file.SetRange(call.value);
        else
            file.SetPos(call.value);
    }
}

BOOL PassesFinalCheck(unsigned long dwFound, unsigned long dwExpected, unsigned long dwExpectedSize)
{
    /* A found checksum of 0 is an empty result: it stands for the file only where nothing was to be
       written, else an empty or reset temporary file would replace a whole file. */
    return dwFound == dwExpected || dwExpected == 0 || dwExpected == 0xFFFFFFFFu || (dwFound == 0 && dwExpectedSize == 0);
}
