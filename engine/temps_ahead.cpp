#include "engine/temps_ahead.h"

#include "engine/targets.h"
#include "installer/resources.h"
#include "package/checksum.h"
#include "package/explode.h"
#include "package/patch_apply.h"
#include "resources/resource.h"

#include <string.h>

FILETIME UnixTimeToFileTime(DWORD dwTime)
{
    ULONGLONG t = (ULONGLONG)dwTime * 10000000ULL + 116444736000000000ULL;
    FILETIME ft;
    ft.dwLowDateTime = (DWORD)t;
    ft.dwHighDateTime = (DWORD)(t >> 32);
    return ft;
}

namespace {

/* Two threads: most of a file's time goes on waiting for the server and on the scan of the
   program directory for each new name, and the two overlap. */
const int kThreads = 2;

/* The file gauge's calls, for the loop to replay. */
class RecordedGauge : public zfix::PatchGauge {
public:
    explicit RecordedGauge(std::vector<GaugeCall>* calls) : calls_(calls) {}
    void SetRange(uint32_t range) override { calls_->push_back(GaugeCall{true, range}); }
    void SetPos(uint32_t pos) override { calls_->push_back(GaugeCall{false, pos}); }

private:
    std::vector<GaugeCall>* calls_;
};

/* The unpacked payload of entry n, as the loop's own unpacking would accept it. */
bool UnpackPayload(DWORD n, std::vector<uint8_t>* out)
{
    DWORD cb = 0;
    const BYTE* res = (const BYTE*)QuietResource((int)n, RES_UPDATE, &cb);
    if (!res || cb < 4)
        return false;
    uint32_t size;
    memcpy(&size, res, 4);
    if (size > TempsAhead::kMaxInMemory)
        return false;
    out->assign(size, 0);
    size_t written = 0;
    return zfix::ExplodeToBuffer(res + 4, cb - 4, out->data(), size, &written) == zfix::EXPLODE_OK && written == size;
}

/* The whole installed file. */
bool ReadWhole(const std::string& path, std::vector<uint8_t>* out)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart <= TempsAhead::kMaxInMemory;
    if (ok) {
        out->resize((size_t)size.QuadPart);
        DWORD got = 0;
        ok = out->empty() || (ReadFile(h, out->data(), (DWORD)out->size(), &got, NULL) && got == out->size());
    }
    CloseHandle(h);
    return ok;
}

/* The new content of an upgraded entry, when it passes the final check the loop makes. */
bool NewContent(const TempJob& job, std::vector<uint8_t>* content, std::vector<GaugeCall>* gauge)
{
    const zfix::FILEENTRY& fe = job.fe;
    std::vector<uint8_t> payload, installed;
    if (!UnpackPayload(job.n, &payload))
        return false;
    if (fe.dwOperation == zfix::FE_PATCH) {
        if (!ReadWhole(job.target, &installed))
            return false;
        if (!zfix::InstalledFileFits(fe, false, (uint32_t)installed.size(), zfix::Crc32(installed.data(), installed.size())))
            return false;
    }
    content->reserve(fe.dwNewSize);
    RecordedGauge recorded(gauge);
    if (zfix::ApplyFileUpdate(fe, false, payload.data(), payload.size(), installed.data(), installed.size(), content,
                              &recorded) != zfix::PatchOutcome::Applied)
        return false;
    return PassesFinalCheck(zfix::Crc32(content->data(), content->size()), fe.dwNewChecksum,
                            zfix::ExpectedOutputSize(fe, false)) != FALSE;
}

/* The temporary file with the content and the entry's time; a file cut short is removed again. */
bool WriteTemp(const std::string& path, const std::vector<uint8_t>& content, DWORD dwTime, BOOL* pbTouched)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    *pbTouched = TRUE;
    DWORD put = 0;
    FILETIME ft = UnixTimeToFileTime(dwTime);
    bool ok = content.empty() || (WriteFile(h, content.data(), (DWORD)content.size(), &put, NULL) && put == content.size());
    ok = ok && SetFileTime(h, NULL, &ft, &ft);
    ok = CloseHandle(h) && ok;
    if (!ok && DeleteFileA(path.c_str()))
        *pbTouched = FALSE;
    return ok;
}

}  // namespace

void TempsAhead::Start(std::vector<TempJob> jobs)
{
    StartJobs(std::move(jobs), [](const TempJob& job, const std::string& dir) {
        TempOutcome outcome = TempOutcome();
        std::vector<uint8_t> content;
        TempJob resolved = job;
        resolved.target = ResolvedIn(dir, job.target);
        if (NewContent(resolved, &content, &outcome.gauge))
            outcome.bMade = WriteTemp(ResolvedIn(dir, job.temp), content, job.fe.dwNewTime, &outcome.bTouched);
        return outcome;
    }, kThreads);
}

BOOL TempsAhead::Take(DWORD n, const char* lpTarget, TempOutcome* lpOutcome)
{
    const int i = TakeJob(n);
    if (i < 0)
        return FALSE;
    const TempJob& job = jobs_[(size_t)i];
    TempOutcome& outcome = outcomes_[(size_t)i];
    if (outcome.bMade && job.target == lpTarget && SameDirectory()) {
        *lpOutcome = std::move(outcome);
        return TRUE;
    }
    /* Made for another name than the loop's, or not made: the loop makes its own. */
    if (outcome.bTouched)
        DeleteFileA(ResolvedIn(dir_, job.temp).c_str());
    return FALSE;
}
