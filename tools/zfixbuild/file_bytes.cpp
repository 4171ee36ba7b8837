#include "tools/zfixbuild/file_bytes.h"

#include <cstdio>

namespace zfixbuild {

bool ReadBytes(const std::string& path, std::vector<uint8_t>* data) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  data->clear();
  uint8_t buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data->insert(data->end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

}  // namespace zfixbuild
