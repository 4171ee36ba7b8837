// Encoder of the implode stream format (the package builder's side of explode.h).
//
//   std::vector<uint8_t> s = zfix::Implode(data, size, {6, false, zfix::ImplodeParse::Optimal});
//   std::vector<uint8_t> r = zfix::MakeCompressedResource(data, size);   // u32 size + stream
//
// dictBits is 4, 5 or 6 (window of 1024, 2048 or 4096 bytes); ascii selects the fixed ASCII
// literal code instead of plain 8-bit literals. ImplodeParse::Optimal chooses the cheapest
// token sequence over the matches found (the codes are fixed, so token costs are exact);
// ImplodeParse::Greedy takes the longest match at every position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zfix {

constexpr size_t kMaxImplodeInput = 0x7FFFFFFF;

enum class ImplodeParse { Greedy, Optimal };

struct ImplodeOptions {
  unsigned dictBits = 6;
  bool ascii = false;
  ImplodeParse parse = ImplodeParse::Optimal;
  unsigned searchDepth = 0;  // match candidates looked at per position; 0 = the parse's default
};

// Returns the implode stream of data[0..size): header, tokens, end marker. size must be
// below 2 GiB (kMaxImplodeInput). An invalid dictBits is treated as 6.
std::vector<uint8_t> Implode(const void* data, size_t size, const ImplodeOptions& options = {});

// Returns the compressed resource form: the size as u32 little-endian, then the stream.
// size must fit in 32 bits.
std::vector<uint8_t> MakeCompressedResource(const void* data, size_t size, const ImplodeOptions& options = {});

}  // namespace zfix
