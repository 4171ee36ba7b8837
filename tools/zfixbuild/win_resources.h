// Reading a fix executable's resources (loaded as a data file) and its fix-specific strings.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zfixbuild {

// The bytes of resource type/id in language 1033; false when it is missing.
bool ReadResource(HMODULE module, const char* type, unsigned id, std::vector<uint8_t>* bytes);
// The 16 strings of string block `block`; false when the block is missing or corrupt.
bool ReadStringBlock(HMODULE module, unsigned block, std::vector<std::u16string>* strings);
// The first resource of a fix's types in the module ("FILEENTRY/2"), empty when it has none.
std::string FixResourceIn(HMODULE module);
std::u16string Wide(const std::string& text);
std::string Narrow(const std::u16string& text);

}  // namespace zfixbuild
