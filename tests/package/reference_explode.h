// A slow, plainly written decoder of the implode stream format, used by the tests and the
// fuzzers to check the table-driven one. It works on the whole stream at once, decodes every
// code bit by bit from its canonical form, and keeps the whole output in a vector.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/explode.h"
#include "package/implode_codes.h"

namespace zfix_test {

class ReferenceExplode {
 public:
  // firstDelivery: how many bytes the decoder's first input delivery held (status 3 rule).
  static unsigned Run(const uint8_t* in, size_t n, size_t firstDelivery, std::vector<uint8_t>* out) {
    out->clear();
    if (firstDelivery <= 4) return zfix::EXPLODE_SHORT_INPUT;
    unsigned mode = in[0], dictBits = in[1];
    if (dictBits < 4 || dictBits > 6) return zfix::EXPLODE_BAD_DICT;
    if (mode > 1) return zfix::EXPLODE_BAD_MODE;
    ReferenceExplode r(in + 2, n - 2);
    for (;;) {
      // A field is taken only while one more byte of the stream follows it.
      size_t start = r.pos_;
      if (r.Bit(start) == 0) {
        size_t p = start + 1;
        unsigned lit;
        if (mode == 0) {
          lit = r.Bits(p, 8);
          p += 8;
        } else {
          lit = r.Decode(&p, zfix::AsciiLiteralCodeBits(), zfix::kLiteralSymbols);
        }
        if (!r.Fits(p)) return zfix::EXPLODE_ABORT;
        out->push_back(static_cast<uint8_t>(lit));
        r.pos_ = p;
        continue;
      }
      size_t p = start + 1;
      unsigned sym = r.Decode(&p, zfix::kLengthCodeBits, zfix::kLengthSymbols);
      unsigned extra = r.Bits(p, zfix::kLengthExtraBits[sym]);
      p += zfix::kLengthExtraBits[sym];
      unsigned len = zfix::kLengthBase[sym] + extra + 2;
      if (len == zfix::kEndLength) return p <= r.bits_ ? zfix::EXPLODE_OK : zfix::EXPLODE_ABORT;
      unsigned high = r.Decode(&p, zfix::kDistanceCodeBits, zfix::kDistanceSymbols);
      unsigned lowBits = len == 2 ? 2 : dictBits;
      unsigned dist = ((high << lowBits) | r.Bits(p, lowBits)) + 1;
      p += lowBits;
      if (!r.Fits(p)) return zfix::EXPLODE_ABORT;
      r.pos_ = p;
      for (unsigned i = 0; i < len; ++i) {
        size_t at = out->size();
        out->push_back(at >= dist ? (*out)[at - dist] : 0);  // zero history before the start
      }
    }
  }

 private:
  ReferenceExplode(const uint8_t* s, size_t n) : s_(s), bits_(n * 8) {}

  unsigned Bit(size_t q) const { return q < bits_ ? (s_[q >> 3] >> (q & 7)) & 1u : 0u; }
  unsigned Bits(size_t q, unsigned n) const {
    unsigned v = 0;
    for (unsigned i = 0; i < n; ++i) v |= Bit(q + i) << i;
    return v;
  }
  bool Fits(size_t end) const { return end + 8 <= bits_; }

  // Canonical decoding: codes of each length form a consecutive range (bits inverted).
  unsigned Decode(size_t* p, const uint8_t* lengths, unsigned n) const {
    unsigned code = 0, first = 0;
    for (unsigned len = 1; len <= 16; ++len) {
      code |= Bit((*p)++) ^ 1u;
      unsigned count = 0;
      for (unsigned s = 0; s < n; ++s) count += lengths[s] == len;
      if (code < first + count) {
        unsigned k = code - first;
        for (unsigned s = 0; s < n; ++s)
          if (lengths[s] == len && k-- == 0) return s;
      }
      first = (first + count) << 1;
      code <<= 1;
    }
    return 0;
  }

  const uint8_t* s_;
  size_t bits_;
  size_t pos_ = 0;
};

}  // namespace zfix_test
