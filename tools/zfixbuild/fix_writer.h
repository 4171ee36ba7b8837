// Writing a fix's resources into a copy of the installer stub (BeginUpdateResource handle), all
// in language 1033. The package builder and the installer's tests write fixes through these.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/zfixbuild/fix_build.h"

namespace zfixbuild {

bool AddResource(HANDLE hUpdate, const char* type, unsigned id, const std::vector<uint8_t>& bytes);
// bytes as a compressed resource (stored size, then the implode stream), as type/1.
bool AddCompressedResource(HANDLE hUpdate, const char* type, const std::vector<uint8_t>& bytes);
// VERSION/1, and FILEENTRY/n with UPDATE/n (when the entry has a payload) for n = 1.. in order.
bool AddFixEntries(HANDLE hUpdate, const BuiltFix& fix, std::string* why);

}  // namespace zfixbuild
