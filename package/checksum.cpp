#include "package/checksum.h"

#include <zlib.h>

#include <memory>
#include <new>

namespace zfix {

uint32_t Crc32(const void* data, size_t size, uint32_t crc) {
  const Bytef* p = static_cast<const Bytef*>(data);
  uLong c = crc;
  while (size) {
    // zlib takes at most uInt bytes at a time.
    uInt n = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
    c = crc32(c, p, n);
    p += n;
    size -= n;
  }
  return static_cast<uint32_t>(c);
}

bool StreamCrc32(FILE* stream, uint32_t* crc) {
  rewind(stream);
  const size_t kBuffer = 256 * 1024;
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kBuffer]);
  if (!buffer) return false;
  uint32_t c = 0;
  size_t n;
  while ((n = fread(buffer.get(), 1, kBuffer, stream)) > 0) c = Crc32(buffer.get(), n, c);
  rewind(stream);
  *crc = c;
  return true;
}

}  // namespace zfix
