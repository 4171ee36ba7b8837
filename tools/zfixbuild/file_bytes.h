// A whole file's bytes, for the builder's commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zfixbuild {

// The bytes of the file at path; false when it cannot be opened or read.
bool ReadBytes(const std::string& path, std::vector<uint8_t>* data);

}  // namespace zfixbuild
