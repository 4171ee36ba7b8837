// Whether a Windows executable carries an Authenticode signature: the certificate table that
// the PE header's security directory points at (portable; read from the file's first bytes).
//
//   PeSignature s;
//   if (ReadPeSignatureOf(path, &s) && s.present) ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zfixbuild {

struct PeSignature {
  bool present = false;
  uint32_t offset = 0;  // file offset of the certificate table
  uint32_t size = 0;
};

// Bytes of the file's start that hold its PE headers in any executable the linkers write.
constexpr size_t kPeHeadBytes = 4096;

// head: the file's first bytes (kPeHeadBytes or the whole file if shorter). False when head
// holds no PE header. Any non-empty table counts, damaged or not.
bool ReadPeSignature(const std::vector<uint8_t>& head, PeSignature* out);

// The same, for a file on disk; false also when it cannot be read.
bool ReadPeSignatureOf(const std::string& path, PeSignature* out);

}  // namespace zfixbuild
