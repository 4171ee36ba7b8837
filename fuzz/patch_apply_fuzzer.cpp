// The patch applier as the installer drives it: an entry's header from a package, the installed
// file read through a source (as the engine reads a file: whole requests but at its end), the
// payload as the package carries it. It never reads outside the payload or the installed file,
// never writes past the size the entry states, and the streamed walk gives what the walk over
// memory gives.
//
// Input: byte 0 chooses upgrade or revert and the operation, bytes 1..16 the sizes and patch
// count (bytes 13..16 unused), bytes 17..18 the installed file's length; then the installed file, then the payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/byte_io.h"
#include "package/file_entry.h"
#include "package/patch_apply.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

class FileLikeSource : public zfix::PatchSource {
 public:
  FileLikeSource(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}
  size_t Read(uint8_t* buffer, size_t n) override {
    if (n > size_ - pos_) n = size_ - pos_;
    for (size_t i = 0; i < n; ++i) buffer[i] = bytes_[pos_ + i];
    pos_ += n;
    return n;
  }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t pos_ = 0;
};

class VectorSink : public zfix::PatchSink {
 public:
  void Write(const uint8_t* bytes, size_t n) override { out.insert(out.end(), bytes, bytes + n); }
  std::vector<uint8_t> out;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 19) return 0;
  const bool revert = data[0] & 1;
  const uint32_t operations[] = {zfix::FE_PATCH, zfix::FE_REPLACE, zfix::FE_REMOVE, 0};
  zfix::FILEENTRY fe = zfix::FILEENTRY();
  fe.dwOperation = operations[(data[0] >> 1) & 3];
  fe.dwDir = zfix::DIR_PROGRAM;
  // Sizes of up to 1 MB: larger ones only make the applier write longer.
  fe.dwOldSize = zfix::GetLe32(data + 1) & 0xFFFFF;
  fe.dwNewSize = zfix::GetLe32(data + 5) & 0xFFFFF;
  fe.dwPatchCount = zfix::GetLe32(data + 9) & 0xFFFF;
  size_t installedSize = (size_t)data[17] | ((size_t)data[18] << 8);
  if (installedSize > size - 19) installedSize = size - 19;
  // Exact bounds for the sanitizer.
  std::vector<uint8_t> installed(data + 19, data + 19 + installedSize);
  std::vector<uint8_t> payload(data + 19 + installedSize, data + size);

  FileLikeSource source(installed.data(), installed.size());
  VectorSink sink;
  zfix::PatchOutcome streamed =
      zfix::ApplyFileUpdate(fe, revert, payload.data(), payload.size(), &source, &sink, nullptr);
  std::vector<uint8_t> whole;
  zfix::PatchOutcome atOnce = zfix::ApplyFileUpdate(fe, revert, payload.data(), payload.size(), installed.data(),
                                                    installed.size(), &whole, nullptr);
  if (streamed != atOnce || sink.out != whole) std::abort();
  const uint32_t stated = revert ? fe.dwOldSize : fe.dwNewSize;
  if (streamed != zfix::PatchOutcome::Refused && sink.out.size() > stated) std::abort();
  if (streamed == zfix::PatchOutcome::Refused && !sink.out.empty()) std::abort();
  return 0;
}
