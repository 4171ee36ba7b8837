#include "package/implode_codes.h"

#include <mutex>

namespace zfix {

const uint8_t kLengthCodeBits[kLengthSymbols] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
const uint8_t kLengthExtraBits[kLengthSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
const uint16_t kLengthBase[kLengthSymbols] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 14, 22, 38, 70, 134, 262};

const uint8_t kDistanceCodeBits[kDistanceSymbols] = {
    2, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};

namespace {

// The published ASCII literal code lengths, run-length packed: each byte is
// (repeat count - 1) << 4 | code length.
const uint8_t kPackedAsciiBits[] = {
    11, 124, 8, 7, 28, 7, 188, 13, 76, 4, 10, 8, 12, 10, 12, 10, 8, 23, 8,
    9, 7, 6, 7, 8, 7, 6, 55, 8, 23, 24, 12, 11, 7, 9, 11, 12, 6, 7, 22, 5,
    7, 24, 6, 11, 9, 6, 7, 22, 7, 11, 38, 7, 9, 8, 25, 11, 8, 11, 9, 12,
    8, 12, 5, 38, 5, 38, 5, 11, 7, 5, 6, 21, 6, 10, 53, 8, 7, 24, 10, 27,
    44, 253, 253, 253, 252, 252, 252, 13, 12, 45, 12, 45, 12, 61, 12, 45,
    44, 173};

uint8_t g_asciiBits[kLiteralSymbols];
std::once_flag g_asciiOnce;

}  // namespace

const uint8_t* AsciiLiteralCodeBits() {
  std::call_once(g_asciiOnce, [] {
    unsigned n = 0;
    for (uint8_t b : kPackedAsciiBits)
      for (unsigned r = 0; r <= (b >> 4u) && n < kLiteralSymbols; ++r) g_asciiBits[n++] = b & 15u;
  });
  return g_asciiBits;
}

void BuildImplodeCodes(const uint8_t* lengths, unsigned n, uint16_t* codes) {
  unsigned code = 0;
  unsigned prevLen = 0;
  bool first = true;
  for (unsigned len = 1; len <= 16; ++len) {
    for (unsigned s = 0; s < n; ++s) {
      if (lengths[s] != len) continue;
      if (first) {
        code = 0;
        first = false;
      } else {
        code = (code + 1) << (len - prevLen);
      }
      prevLen = len;
      // Invert the code and reverse it so that its first bit is bit 0.
      unsigned inv = ~code & ((1u << len) - 1u);
      unsigned rev = 0;
      for (unsigned i = 0; i < len; ++i) rev |= ((inv >> (len - 1 - i)) & 1u) << i;
      codes[s] = static_cast<uint16_t>(rev);
    }
  }
}

}  // namespace zfix
