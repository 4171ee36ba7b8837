// FILEENTRY reader and patch-stream walker: never read outside the data, and what they
// accept is written back byte for byte. Bytes 0..3 give the patch count for the walk.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/byte_io.h"
#include "package/file_entry.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> copy(data, data + size);  // exact bounds for the sanitizer
  char name[zfix::MAX_ENTRY_NAME + 1];
  zfix::FILEENTRY fe;
  if (zfix::ReadFileEntry(copy.data(), copy.size(), name, sizeof name, &fe)) {
    std::vector<uint8_t> back = zfix::WriteFileEntry(name, fe);
    if (back.size() != std::strlen(name) + 37 || back.size() > size) std::abort();
    if (std::memcmp(back.data(), copy.data(), back.size()) != 0) std::abort();
  }

  if (size < 4) return 0;
  uint32_t count = zfix::GetLe32(copy.data()) & 0xFFFF;
  zfix::PatchStreamReader reader(copy.data() + 4, copy.size() - 4, count);
  zfix::PATCHRECORD r;
  std::vector<uint8_t> back;
  unsigned sum = 0;
  uint32_t seen = 0;
  while (reader.Next(&r)) {
    for (uint32_t i = 0; i < zfix::PatchDiffLength(r); ++i) sum += r.lpDiff[i];
    zfix::PatchListEnds(r, seen, (sum & 1) != 0);
    zfix::AppendPatchRecord(back, r, r.lpDiff);
    ++seen;
  }
  if (reader.Offset() != back.size()) std::abort();
  if (!back.empty() && std::memcmp(back.data(), copy.data() + 4, back.size()) != 0) std::abort();
  if (!reader.Corrupt() && seen != count) std::abort();
  return 0;
}
