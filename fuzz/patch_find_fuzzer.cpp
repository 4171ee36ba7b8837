// The patch finder on any pair of files: every stream it finds turns the old file into the new
// one and the new one back into the old one through the applier, and no record of it is one
// that the appliers would take for the end of the list.
//
// Input: byte 0 picks the alignment (PatchAlignments(), then a narrow band); bytes 1..2 are the
// old file's length (little-endian, cut to what is there); the old file, then the new one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/file_entry.h"
#include "package/patch_apply.h"
#include "package/patch_find.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  std::vector<zfix::PatchFindOptions> alignments = zfix::PatchAlignments();
  zfix::PatchFindOptions narrow;
  narrow.band = 2;
  alignments.push_back(narrow);
  const zfix::PatchFindOptions& options = alignments[data[0] % alignments.size()];
  size_t oldSize = data[1] | size_t{data[2]} << 8;
  data += 3;
  size -= 3;
  if (oldSize > size) oldSize = size;
  std::vector<uint8_t> oldFile(data, data + oldSize), newFile(data + oldSize, data + size);

  std::vector<uint8_t> stream;
  uint32_t count = 0;
  if (!zfix::FindPatch(oldFile.data(), oldFile.size(), newFile.data(), newFile.size(), &stream, &count, options))
    return 0;
  std::vector<zfix::PatchRegion> regions =
      zfix::AlignFiles(oldFile.data(), oldFile.size(), newFile.data(), newFile.size(), options);
  for (size_t k = 0; k < regions.size(); ++k) {
    const zfix::PatchRegion& r = regions[k];
    if (r.oldOffset == 0 && r.oldLength == 0) std::abort();           // ends a revert
    if (k > 0 && r.newOffset == 0 && r.newLength == 0) std::abort();  // ends an upgrade
  }
  zfix::FILEENTRY e = {};
  e.dwOperation = zfix::FE_PATCH;
  e.dwOldSize = static_cast<uint32_t>(oldFile.size());
  e.dwNewSize = static_cast<uint32_t>(newFile.size());
  e.dwPatchCount = count;
  if (!zfix::PatchWorksBothWays(e, stream, oldFile, newFile)) std::abort();
  return 0;
}
