// Encoder of the implode stream format (the package builder's side of explode.h).
//
//   std::vector<uint8_t> s = zfix::Implode(data, size, {6, false, zfix::ImplodeParse::Optimal});
//   std::vector<uint8_t> r = zfix::MakeCompressedResource(data, size);   // u32 size + stream
//   std::vector<uint8_t> b = zfix::MakeSmallestResource(data, size, &setting);  // the builder's
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

// What the tokens of one parse would cost, in bits, under each literal mode ([0] binary,
// [1] ASCII) and dictionary size ([dictBits - 4]); a match beyond a smaller window counts as its
// bytes sent as literals. The parse is optimal for its own setting only, so for any other
// setting the figure is an upper bound of what that setting's own parse costs.
struct ImplodeCosts {
  uint64_t bits[2][3] = {};
};

// Returns the implode stream of data[0..size): header, tokens, end marker. size must be
// below 2 GiB (kMaxImplodeInput). An invalid dictBits is treated as 6. costs, when given,
// receives the parse's costs under every setting.
std::vector<uint8_t> Implode(const void* data, size_t size, const ImplodeOptions& options = {},
                             ImplodeCosts* costs = nullptr);

struct ImplodeSetting {
  unsigned dictBits;
  bool ascii;
};

// Another setting is encoded when its bound (ImplodeCosts) is within this many thousandths of
// the first parse's cost: its own parse may still come out smaller.
constexpr unsigned kImplodeTryMargin = 40;

// The smallest optimal-parse stream over both literal modes and the three dictionary sizes.
// The first parse's costs tell which other settings can come out smaller; only those are
// encoded. Ties keep the first parse, then binary before ASCII and larger dictionaries first.
// *chosen, when given, receives the setting of the returned stream (also in its header).
std::vector<uint8_t> ImplodeSmallest(const void* data, size_t size, ImplodeSetting* chosen = nullptr,
                                     unsigned searchDepth = 0);

// Returns the compressed resource form: the size as u32 little-endian, then the stream.
// size must fit in 32 bits.
std::vector<uint8_t> MakeCompressedResource(const void* data, size_t size, const ImplodeOptions& options = {});

// The compressed resource form of ImplodeSmallest's stream.
std::vector<uint8_t> MakeSmallestResource(const void* data, size_t size, ImplodeSetting* chosen = nullptr,
                                          unsigned searchDepth = 0);

// The encoder keeps its tables per thread from one stream to the next; a thread that has
// encoded gives them back with this before it ends (a later encoding on it makes new ones).
void ReleaseImplodeWorkspace();

}  // namespace zfix
