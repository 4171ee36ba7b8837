// What `zfixbuild inspect` prints about a fix executable, from its resources' bytes (portable;
// show_fix.cpp reads the resources).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zfixbuild {

struct ResourceView {
  bool present = false;
  std::vector<uint8_t> bytes;
};

struct FixView {
  ResourceView version;                     // VERSION/1
  std::map<uint32_t, ResourceView> records;  // FILEENTRY/n
  std::map<uint32_t, ResourceView> updates;  // UPDATE/n
  std::map<std::string, ResourceView> carried;  // LICENSEENTRY, UPDATE64ENTRY, UPDATECABENTRY, TOOLENTRY
  std::map<unsigned, std::string> strings;  // 0, 1, 2, 42, 43
  bool signedFile = false;                  // the executable carries an Authenticode certificate table
  uint32_t signatureOffset = 0, signatureSize = 0;
};

const char* OperationName(uint32_t operation);
const char* DirName(uint32_t dir);

// Text (one field per line) or JSON. False, with *why, when VERSION/1 is missing or corrupt.
bool DescribeFix(const FixView& fix, bool json, std::string* out, std::string* why);

}  // namespace zfixbuild
