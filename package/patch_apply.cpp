#include "package/patch_apply.h"

#include <algorithm>
#include <cstring>

#include "package/byte_io.h"

namespace zfix {

namespace {

constexpr uint32_t kGaugeStep = 1024;
constexpr uint32_t kCopyBlock = 64 * 1024;

uint32_t GaugeRange(uint32_t size) { return size <= kGaugeStep ? size : size / kGaugeStep; }

// The walk over one entry: output position, the payload cursor and the gauge.
class Walk {
 public:
  Walk(const uint8_t* payload, size_t payloadSize, uint32_t size, PatchSource* in, PatchSink* out, PatchGauge* gauge)
      : payload_(payload), payloadSize_(payload ? payloadSize : 0), size_(size), in_(in), out_(out), gauge_(gauge) {}

  uint32_t pos = 0;

  void SetRange(uint32_t range) {
    if (gauge_) gauge_->SetRange(range);
  }
  void SetPos(uint32_t p) {
    if (gauge_) gauge_->SetPos(p);
  }
  void FinalGauge(uint32_t size) {
    if (size > kGaugeStep) SetRange(size / kGaugeStep);
    else SetPos(size);
  }

  // The next record header; false when the payload ends inside it.
  bool NextHeader(PATCHRECORD* r) {
    if (payloadSize_ - used_ < PATCHRECORD_HEAD_SIZE) return false;
    const uint8_t* p = payload_ + used_;
    r->dwReserved = GetLe32(p);
    r->dwOldOffset = GetLe32(p + 4);
    r->dwNewOffset = GetLe32(p + 8);
    r->dwOldLength = GetLe32(p + 12);
    r->dwNewLength = GetLe32(p + 16);
    r->lpDiff = nullptr;
    used_ += PATCHRECORD_HEAD_SIZE;
    return true;
  }

  // Copies installed bytes through until the output position reaches bound, in blocks; the gauge
  // moves each time the position reaches a multiple of 1024. False (nothing copied) when bound
  // lies beyond the output size: the record that asks for it is corrupt.
  bool CopyTo(uint32_t bound) {
    if (bound > size_) return false;
    while (pos < bound) {
      uint32_t n = std::min<uint32_t>(bound - pos, kCopyBlock);
      if (block_.size() < n) block_.resize(kCopyBlock);
      ReadInstalled(block_.data(), n);
      out_->Write(block_.data(), n);
      uint32_t from = pos;
      pos += n;
      for (uint32_t k = from / kGaugeStep + 1; k <= pos / kGaugeStep; ++k) SetPos(k);
    }
    return true;
  }

  // One changed region: `inLength` installed bytes are read, `outLength` bytes written, and the
  // payload advances by the larger of the two. False when the payload ends inside the region.
  bool Region(uint32_t inLength, uint32_t outLength) {
    size_t diffLength = std::max(inLength, outLength);
    if (payloadSize_ - used_ < diffLength) return false;
    if (outLength > size_ - pos) return false;
    std::vector<uint8_t> inBytes(inLength);
    ReadInstalled(inBytes.data(), inLength);
    std::vector<uint8_t> bytes(payload_ + used_, payload_ + used_ + outLength);
    uint32_t common = std::min(inLength, outLength);
    for (uint32_t i = 0; i < common; ++i) bytes[i] ^= inBytes[i];
    out_->Write(bytes.data(), bytes.size());
    used_ += diffLength;
    pos += outLength;
    return true;
  }

  bool WriteWhole(uint32_t size) {
    size_t n = std::min<size_t>(size, payloadSize_);
    for (size_t i = 0; i < n; i += kCopyBlock) {
      size_t k = std::min<size_t>(kCopyBlock, n - i);
      for (size_t j = i; j < i + k; j += kGaugeStep) SetPos(static_cast<uint32_t>(j / kGaugeStep));
      out_->Write(payload_ + i, k);
    }
    return n == size;
  }

 private:
  void ReadInstalled(uint8_t* buf, uint32_t n) {
    size_t got = in_ ? in_->Read(buf, n) : 0;
    if (got < n) std::memset(buf + got, 0, n - got);
  }

  const uint8_t* payload_;
  size_t payloadSize_;
  uint32_t size_;  // the output size the entry states; no record may write beyond it
  size_t used_ = 0;
  std::vector<uint8_t> block_;
  PatchSource* in_;
  PatchSink* out_;
  PatchGauge* gauge_;
};

PatchOutcome Upgrade(const FILEENTRY& e, Walk& w) {
  PATCHRECORD r;
  if (!w.NextHeader(&r)) return PatchOutcome::Corrupt;
  uint32_t headers = 1;
  bool done = false;
  while (w.pos < e.dwNewSize) {
    uint32_t bound = done ? e.dwNewSize : (r.dwNewOffset == 0 && r.dwNewLength == 0 ? r.dwOldOffset : r.dwNewOffset);
    if (!w.CopyTo(bound)) return PatchOutcome::Corrupt;
    if (done) continue;
    if (w.pos == r.dwNewOffset && !w.Region(r.dwOldLength, r.dwNewLength)) return PatchOutcome::Corrupt;
    if (headers < e.dwPatchCount) {
      if (!w.NextHeader(&r)) return PatchOutcome::Corrupt;
      ++headers;
      if (r.dwNewOffset == 0 && r.dwNewLength == 0) done = true;
    } else {
      done = true;
    }
  }
  w.FinalGauge(e.dwNewSize);
  return PatchOutcome::Applied;
}

PatchOutcome Revert(const FILEENTRY& e, Walk& w) {
  PATCHRECORD r;
  if (!w.NextHeader(&r)) return PatchOutcome::Corrupt;
  uint32_t headers = 1;
  bool done = false;
  while (w.pos < e.dwOldSize) {
    if (!w.CopyTo(done ? e.dwOldSize : r.dwOldOffset)) return PatchOutcome::Corrupt;
    if (done) continue;
    if (r.dwOldOffset == 0 && r.dwOldLength == 0) {
      done = true;
      continue;
    }
    // A record before the output position would never be reached: the walk would not end.
    if (w.pos != r.dwOldOffset) return PatchOutcome::Corrupt;
    if (!w.Region(r.dwNewLength, r.dwOldLength)) return PatchOutcome::Corrupt;
    if (headers >= e.dwPatchCount) {
      done = true;
    } else {
      if (!w.NextHeader(&r)) return PatchOutcome::Corrupt;
      ++headers;
      if (r.dwOldOffset == 0 && r.dwOldLength == 0) done = true;
    }
  }
  w.FinalGauge(e.dwOldSize);
  return PatchOutcome::Applied;
}

class MemorySource : public PatchSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
  size_t Read(uint8_t* buffer, size_t n) override {
    size_t k = std::min(n, size_ - pos_);
    if (k) std::memcpy(buffer, data_ + pos_, k);
    pos_ += k;
    return k;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class VectorSink : public PatchSink {
 public:
  explicit VectorSink(std::vector<uint8_t>* out) : out_(out) {}
  void Write(const uint8_t* bytes, size_t n) override { out_->insert(out_->end(), bytes, bytes + n); }

 private:
  std::vector<uint8_t>* out_;
};

}  // namespace

bool InstalledFileFits(const FILEENTRY& entry, bool revert, uint32_t size, uint32_t checksum) {
  if (entry.dwOperation != FE_PATCH) return true;
  if (revert) return size == entry.dwNewSize && checksum == entry.dwNewChecksum;
  return size == entry.dwOldSize && checksum == entry.dwOldChecksum;
}

uint32_t ExpectedOutputSize(const FILEENTRY& entry, bool revert) {
  if (!revert) return entry.dwNewSize;
  return entry.dwOperation == FE_REPLACE ? 0 : entry.dwOldSize;
}

PatchOutcome ApplyFileUpdate(const FILEENTRY& entry, bool revert, const uint8_t* payload, size_t payloadSize,
                             PatchSource* installed, PatchSink* out, PatchGauge* gauge) {
  if (entry.dwOperation != FE_PATCH && entry.dwOperation != FE_REPLACE) return PatchOutcome::Refused;
  uint32_t size = revert ? entry.dwOldSize : entry.dwNewSize;
  Walk w(payload, payloadSize, size, installed, out, gauge);
  w.SetRange(GaugeRange(size));
  w.SetPos(0);
  if (entry.dwOperation == FE_REPLACE) {
    if (revert) return PatchOutcome::Applied;
    return w.WriteWhole(entry.dwNewSize) ? PatchOutcome::Applied : PatchOutcome::Corrupt;
  }
  return revert ? Revert(entry, w) : Upgrade(entry, w);
}

PatchOutcome ApplyFileUpdate(const FILEENTRY& entry, bool revert, const uint8_t* payload, size_t payloadSize,
                             const uint8_t* installed, size_t installedSize, std::vector<uint8_t>* out,
                             PatchGauge* gauge) {
  MemorySource source(installed, installedSize);
  VectorSink sink(out);
  return ApplyFileUpdate(entry, revert, payload, payloadSize, &source, &sink, gauge);
}

bool PatchWorksBothWays(const FILEENTRY& entry, const std::vector<uint8_t>& stream, const std::vector<uint8_t>& oldBytes,
                        const std::vector<uint8_t>& newBytes) {
  std::vector<uint8_t> up, back;
  return ApplyFileUpdate(entry, false, stream.data(), stream.size(), oldBytes.data(), oldBytes.size(), &up) ==
             PatchOutcome::Applied &&
         up == newBytes &&
         ApplyFileUpdate(entry, true, stream.data(), stream.size(), newBytes.data(), newBytes.size(), &back) ==
             PatchOutcome::Applied &&
         back == oldBytes;
}

}  // namespace zfix
