// Little-endian helpers and a bounds-checked cursor over a resource's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace zfix {

inline uint32_t GetLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

inline void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Reads forward through [data, data + size); every read fails instead of passing the end.
class ByteCursor {
 public:
  ByteCursor(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), size_(size) {}

  size_t Offset() const { return pos_; }
  size_t Remaining() const { return size_ - pos_; }

  bool U32(uint32_t* v) {
    if (Remaining() < 4) return false;
    *v = GetLe32(p_ + pos_);
    pos_ += 4;
    return true;
  }
  bool Skip(size_t n) {
    if (Remaining() < n) return false;
    pos_ += n;
    return true;
  }
  bool Bytes(void* dst, size_t n) {
    if (Remaining() < n) return false;
    std::memcpy(dst, p_ + pos_, n);
    pos_ += n;
    return true;
  }
  // A NUL-terminated text inside the data; *text points into the data.
  bool CString(const char** text, size_t* length) {
    const void* nul = std::memchr(p_ + pos_, 0, Remaining());
    if (!nul) return false;
    *text = reinterpret_cast<const char*>(p_ + pos_);
    *length = static_cast<const uint8_t*>(nul) - (p_ + pos_);
    pos_ += *length + 1;
    return true;
  }

 private:
  const uint8_t* p_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace zfix
