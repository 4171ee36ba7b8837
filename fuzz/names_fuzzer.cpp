// The confinement rules that every name from a package or an INI value passes (file list,
// entries, PATCH.INI's File and BackupName values, zip member names): a name they let through
// never leaves its directory. Checked against a plain reading of the path: no drive, no root, no
// ".." or "." step, no empty step, no stream ':' and no device name in any step.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "package/names.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string path(reinterpret_cast<const char*>(data), size);
  if (path.find('\0') != std::string::npos) return 0;
  const bool inside = zfix::StaysInside(path.c_str());
  const bool plain = zfix::IsPlainName(path.c_str(), path.size());
  if (plain && !zfix::StaysInside(path.c_str())) std::abort();
  if (!inside) return 0;
  if (path.empty() || path.find(':') != std::string::npos) std::abort();
  size_t start = 0;
  for (;;) {
    size_t end = path.find_first_of("\\/", start);
    std::string step = path.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (step.empty() || step == "." || step == ".." || zfix::IsDeviceName(step.c_str(), step.size()) ||
        !zfix::IsPlainName(step.c_str(), step.size()))
      std::abort();
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (zfix::IsLabelDirName(path.c_str()) && !plain) std::abort();
  return 0;
}
