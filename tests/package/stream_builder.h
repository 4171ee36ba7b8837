// Hand-built implode streams for the decoder tests: tokens written one by one.
#pragma once

#include <cstdint>
#include <vector>

#include "package/implode_codes.h"

namespace zfix_test {

class StreamBuilder {
 public:
  StreamBuilder(unsigned mode, unsigned dictBits) : dictBits_(dictBits) {
    bytes_ = {static_cast<uint8_t>(mode), static_cast<uint8_t>(dictBits)};
    zfix::BuildImplodeCodes(zfix::kLengthCodeBits, zfix::kLengthSymbols, lenCode_);
    zfix::BuildImplodeCodes(zfix::kDistanceCodeBits, zfix::kDistanceSymbols, distCode_);
  }
  StreamBuilder& Bits(uint32_t v, unsigned n) {
    for (unsigned i = 0; i < n; ++i, ++bit_) {
      if (bit_ % 8 == 0) bytes_.push_back(0);
      bytes_.back() |= ((v >> i) & 1u) << (bit_ % 8);
    }
    return *this;
  }
  StreamBuilder& Literal(uint8_t c) { return Bits(0, 1).Bits(c, 8); }
  StreamBuilder& Length(unsigned len) {
    unsigned s = zfix::LengthSymbol(len);
    return Bits(1, 1).Bits(lenCode_[s], zfix::kLengthCodeBits[s]).Bits(len - 2 - zfix::kLengthBase[s], zfix::kLengthExtraBits[s]);
  }
  StreamBuilder& Match(unsigned len, unsigned dist) {
    unsigned lb = len == 2 ? 2 : dictBits_;
    unsigned d = dist - 1;
    return Length(len).Bits(distCode_[d >> lb], zfix::kDistanceCodeBits[d >> lb]).Bits(d & ((1u << lb) - 1), lb);
  }
  StreamBuilder& End() { return Length(zfix::kEndLength); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  unsigned dictBits_;
  std::vector<uint8_t> bytes_;
  unsigned bit_ = 0;
  uint16_t lenCode_[zfix::kLengthSymbols];
  uint16_t distCode_[zfix::kDistanceSymbols];
};

}  // namespace zfix_test
