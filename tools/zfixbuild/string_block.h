// String-table blocks (RT_STRING resources): block b holds the strings 16*(b-1) .. 16*(b-1)+15,
// each a 16-bit length followed by that many UTF-16 code units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zfixbuild {

constexpr unsigned kStringsPerBlock = 16;

inline unsigned StringBlockId(unsigned stringId) { return stringId / kStringsPerBlock + 1; }

// The 16 strings of a block; false when the block runs past its end.
bool ParseStringBlock(const uint8_t* data, size_t size, std::vector<std::u16string>* strings);
std::vector<uint8_t> WriteStringBlock(const std::vector<std::u16string>& strings);

}  // namespace zfixbuild
