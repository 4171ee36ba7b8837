#include "tools/zfixbuild/string_block.h"

namespace zfixbuild {

bool ParseStringBlock(const uint8_t* data, size_t size, std::vector<std::u16string>* strings) {
  strings->assign(kStringsPerBlock, std::u16string());
  size_t pos = 0;
  for (unsigned i = 0; i < kStringsPerBlock; ++i) {
    if (size - pos < 2) return false;
    size_t length = data[pos] | data[pos + 1] << 8;
    pos += 2;
    if ((size - pos) / 2 < length) return false;
    for (size_t k = 0; k < length; ++k, pos += 2)
      (*strings)[i].push_back(static_cast<char16_t>(data[pos] | data[pos + 1] << 8));
  }
  return true;
}

std::vector<uint8_t> WriteStringBlock(const std::vector<std::u16string>& strings) {
  std::vector<uint8_t> out;
  for (unsigned i = 0; i < kStringsPerBlock; ++i) {
    std::u16string s = i < strings.size() ? strings[i] : std::u16string();
    out.push_back(static_cast<uint8_t>(s.size()));
    out.push_back(static_cast<uint8_t>(s.size() >> 8));
    for (char16_t c : s) {
      out.push_back(static_cast<uint8_t>(c));
      out.push_back(static_cast<uint8_t>(c >> 8));
    }
  }
  return out;
}

}  // namespace zfixbuild
