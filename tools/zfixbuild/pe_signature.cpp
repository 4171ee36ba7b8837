#include "tools/zfixbuild/pe_signature.h"

#include <cstdio>

#include "package/byte_io.h"

namespace zfixbuild {

bool ReadPeSignature(const std::vector<uint8_t>& head, PeSignature* out) {
  *out = PeSignature();
  if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return false;
  uint32_t pe = zfix::GetLe32(head.data() + 0x3C);
  // Signature (4), file header (20), then the optional header.
  if (pe > head.size() || head.size() - pe < 24 + 2) return false;
  if (zfix::GetLe32(head.data() + pe) != 0x00004550) return false;  // "PE\0\0"
  size_t optional = pe + 24;
  uint16_t magic = static_cast<uint16_t>(head[optional] | head[optional + 1] << 8);
  size_t countAt, directories;
  if (magic == 0x10B) {  // PE32
    countAt = optional + 92;
    directories = optional + 96;
  } else if (magic == 0x20B) {  // PE32+
    countAt = optional + 108;
    directories = optional + 112;
  } else {
    return false;
  }
  const unsigned kSecurity = 4;
  if (countAt + 4 > head.size()) return false;
  if (zfix::GetLe32(head.data() + countAt) <= kSecurity) return true;
  size_t entry = directories + 8 * kSecurity;
  if (entry + 8 > head.size()) return false;
  out->offset = zfix::GetLe32(head.data() + entry);
  out->size = zfix::GetLe32(head.data() + entry + 4);
  out->present = out->offset != 0 && out->size != 0;
  return true;
}

bool ReadPeSignatureOf(const std::string& path, PeSignature* out) {
  *out = PeSignature();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::vector<uint8_t> head(kPeHeadBytes);
  head.resize(std::fread(head.data(), 1, head.size(), f));
  std::fclose(f);
  return ReadPeSignature(head, out);
}

}  // namespace zfixbuild
