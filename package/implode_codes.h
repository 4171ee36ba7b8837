// Fixed prefix codes of the implode stream format, shared by the decoder (explode.cpp)
// and the encoder (implode.cpp).
//
// Every code is the canonical prefix code of its code lengths (shorter codes first, equal
// lengths in ascending symbol order) with every bit inverted, sent first bit first. The
// values returned here are ready for an LSB-first bit stream: bit 0 is the first code bit.
#pragma once

#include <cstdint>

namespace zfix {

constexpr unsigned kLengthSymbols = 16;
constexpr unsigned kDistanceSymbols = 64;
constexpr unsigned kLiteralSymbols = 256;

constexpr unsigned kMinMatch = 2;
constexpr unsigned kMaxMatch = 518;     // 519 is the end marker
constexpr unsigned kEndLength = 519;

// Length code: code bits, extra bits and base (length - 2) per symbol.
extern const uint8_t kLengthCodeBits[kLengthSymbols];
extern const uint8_t kLengthExtraBits[kLengthSymbols];
extern const uint16_t kLengthBase[kLengthSymbols];

// Code lengths of the distance code and of the ASCII literal code.
extern const uint8_t kDistanceCodeBits[kDistanceSymbols];
extern const uint8_t* AsciiLiteralCodeBits();   // 256 entries, 4..13 bits

// Fills codes[0..n) with the LSB-first codes for the given code lengths.
void BuildImplodeCodes(const uint8_t* lengths, unsigned n, uint16_t* codes);

// Length symbol of a match length 2..519.
inline unsigned LengthSymbol(unsigned length) {
  unsigned v = length - 2;
  if (v < 8) return v;
  unsigned s = 8;
  while (s + 1 < kLengthSymbols && kLengthBase[s + 1] <= v) ++s;
  return s;
}

}  // namespace zfix
