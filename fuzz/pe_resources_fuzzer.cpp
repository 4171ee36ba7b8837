// The PE resource reader and writer of the native package builder, on any file offered as a
// stub: the reader stays inside the file and refuses with a reason; what it keeps of an image
// it accepts is bounded by the file's size (at most one resource per 8 bytes, their data no
// more than the file, their copies of names no more than twice the file), so that a hostile
// stub's cost shows at any input size, not only as a time-out or memory exhaustion at a large
// one; an image it accepts and the
// writer rewrites (with one resource added, as a fix adds its own) reads back with the same
// resources plus the new one, a valid checksum and the stub's time stamp, and writing that
// again gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/pe_resources.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool Same(const std::vector<zfix::PeResource>& a, const std::vector<zfix::PeResource>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a[i].type == b[i].type) || !(a[i].name == b[i].name) || a[i].language != b[i].language ||
        a[i].codePage != b[i].codePage || a[i].data != b[i].data)
      return false;
  return true;
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);  // exact bounds for the sanitizer
  zfix::PeImage image;
  std::string why;
  if (!image.Parse(file, &why)) {
    if (why.empty()) std::abort();
    return 0;
  }
  size_t dataBytes = 0, nameBytes = 0;
  for (const zfix::PeResource& r : image.Resources()) {
    dataBytes += r.data.size();
    nameBytes += 2 * (r.type.text.size() + r.name.text.size());
  }
  if (image.Resources().size() > size / 8 || dataBytes > size || nameBytes > 2 * size) std::abort();
  zfix::PeResource added;
  added.type = zfix::ResName("UPDATE");
  added.name = zfix::ResName(size % 7 + 1);
  added.language = 1033;
  added.data.assign(size % 5000, 0x5A);
  image.Set(added);
  std::vector<uint8_t> out;
  if (!image.Write(&out, &why)) {
    if (why.empty()) std::abort();
    return 0;
  }
  zfix::PeImage again;
  if (!again.Parse(out, &why)) std::abort();
  if (!Same(image.Resources(), again.Resources())) std::abort();
  if (again.TimeStamp() != image.TimeStamp()) std::abort();
  if (Get32(out, again.ChecksumOffset()) != zfix::PeChecksum(out.data(), out.size(), again.ChecksumOffset()))
    std::abort();
  std::vector<uint8_t> twice;
  if (!again.Write(&twice, &why) || twice != out) std::abort();
  return 0;
}
