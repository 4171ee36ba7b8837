#include "package/explode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "package/implode_codes.h"
#include "tests/package/reference_explode.h"
#include "tests/package/stream_builder.h"

namespace {

using zfix_test::StreamBuilder;

// Drives Explode with a fixed delivery size and records every hand-over.
struct Decoding {
  std::vector<uint8_t> in;
  size_t chunk = zfix::EXPLODE_INPUT_SIZE;
  size_t pos = 0;
  std::vector<unsigned> requests;
  std::vector<unsigned> handovers;
  std::vector<uint8_t> out;
  unsigned status = 99;

  static unsigned Read(uint8_t* buf, unsigned size, void* user) {
    Decoding* r = static_cast<Decoding*>(user);
    r->requests.push_back(size);
    size_t n = std::min({static_cast<size_t>(size), r->chunk, r->in.size() - r->pos});
    if (n) std::memcpy(buf, r->in.data() + r->pos, n);  // in.data() may be null when empty
    r->pos += n;
    return static_cast<unsigned>(n);
  }
  static void Write(const uint8_t* buf, unsigned size, void* user) {
    Decoding* r = static_cast<Decoding*>(user);
    r->handovers.push_back(size);
    r->out.insert(r->out.end(), buf, buf + size);
  }
  Decoding& Go() {
    auto st = std::make_unique<zfix::EXPLODESTATE>();
    status = zfix::Explode(Read, Write, st.get(), this);
    return *this;
  }
};

Decoding Decode(std::vector<uint8_t> in, size_t chunk = zfix::EXPLODE_INPUT_SIZE) {
  Decoding r;
  r.in = std::move(in);
  r.chunk = chunk;
  return r.Go();
}

std::string Str(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

TEST(ImplodeCodes, LengthCodesAreTheFormatsTable) {
  const uint16_t expected[16] = {0x05, 0x03, 0x01, 0x06, 0x0A, 0x02, 0x0C, 0x14,
                                 0x04, 0x18, 0x08, 0x30, 0x10, 0x20, 0x40, 0x00};
  uint16_t codes[16];
  zfix::BuildImplodeCodes(zfix::kLengthCodeBits, 16, codes);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(codes[i], expected[i]) << "symbol " << i;
}

TEST(ImplodeCodes, AsciiCodeLengthsFormACompleteCode) {
  const uint8_t* bits = zfix::AsciiLiteralCodeBits();
  double kraft = 0;
  for (int s = 0; s < 256; ++s) {
    ASSERT_GE(bits[s], 4) << s;
    ASSERT_LE(bits[s], 13) << s;
    kraft += 1.0 / (1u << bits[s]);
  }
  EXPECT_DOUBLE_EQ(kraft, 1.0);
  // Spot checks against the published table.
  const struct {
    int symbol, bits;
  } known[] = {{0, 11}, {'\t', 8}, {'\n', 7}, {'\r', 7}, {' ', 4}, {'e', 5}, {'E', 5}, {255, 13}};
  for (const auto& k : known) EXPECT_EQ(bits[k.symbol], k.bits) << k.symbol;
}

TEST(Explode, PublishedExampleStream) {
  Decoding r = Decode({0x00, 0x04, 0x82, 0x24, 0x25, 0x8f, 0x80, 0x7f});
  EXPECT_EQ(r.status, zfix::EXPLODE_OK);
  EXPECT_EQ(Str(r.out), "AIAIAIAIAIAIA");
}

TEST(Explode, HeaderAndShortInputStatuses) {
  struct Case {
    const char* name;
    std::vector<uint8_t> in;
    unsigned status;
  } cases[] = {
      {"empty", {}, zfix::EXPLODE_SHORT_INPUT},
      {"four bytes", {0, 6, 0xFF, 0xFF}, zfix::EXPLODE_SHORT_INPUT},
      {"dict bits 7 before a bad mode", {5, 7, 0, 0, 0, 0}, zfix::EXPLODE_BAD_DICT},
      {"dict bits 3", {0, 3, 0, 0, 0, 0}, zfix::EXPLODE_BAD_DICT},
      {"mode 2", {2, 6, 0, 0, 0, 0}, zfix::EXPLODE_BAD_MODE},
  };
  for (const Case& c : cases) {
    Decoding r = Decode(c.in);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_TRUE(r.handovers.empty()) << c.name;
  }
}

TEST(Explode, FiveByteStreamIsDecoded) {
  // Header, a length-2 match (8 bits) and the end marker (16 bits): three stream bytes.
  std::vector<uint8_t> s = StreamBuilder(0, 6).Match(2, 1).End().bytes();
  ASSERT_EQ(s.size(), 5u);
  Decoding r = Decode(s);
  EXPECT_EQ(r.status, zfix::EXPLODE_OK);
  EXPECT_EQ(r.out, std::vector<uint8_t>(2, 0));
}

TEST(Explode, FirstDeliveryOfFourBytesFailsEvenWhenMoreFollows) {
  std::vector<uint8_t> s = StreamBuilder(0, 6).Literal('a').Literal('b').Literal('c').End().bytes();
  EXPECT_EQ(Decode(s, 4).status, zfix::EXPLODE_SHORT_INPUT);
  Decoding r = Decode(s, 5);
  EXPECT_EQ(r.status, zfix::EXPLODE_OK);
  EXPECT_EQ(Str(r.out), "abc");
}

TEST(Explode, AsksForInputInDeliveriesOf2048) {
  std::vector<uint8_t> data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7919 >> 3);
  StreamBuilder b(0, 6);
  for (uint8_t c : data) b.Literal(c);
  Decoding r = Decode(b.End().bytes());
  EXPECT_EQ(r.status, zfix::EXPLODE_OK);
  EXPECT_EQ(r.out, data);
  for (unsigned q : r.requests) EXPECT_EQ(q, zfix::EXPLODE_INPUT_SIZE);
  EXPECT_GT(r.requests.size(), 50u);
}

TEST(Explode, Matches) {
  struct Case {
    const char* name;
    unsigned dictBits;
    std::string prefix;
    unsigned len, dist;
    std::string expected;
  } cases[] = {
      {"overlap: distance 1 repeats the last byte", 6, "xy", 10, 1, "xyyyyyyyyyyy"},
      {"overlap: short period", 6, "abc", 7, 3, "abcabcabca"},
      {"length 2 takes two low bits with dict 4", 4, "PQRST", 2, 5, "PQRSTPQ"},
      {"length 2 takes two low bits with dict 6", 6, "PQRST", 2, 5, "PQRSTPQ"},
      {"length 3 takes dictBits low bits", 5, "0123456789", 3, 10, "0123456789012"},
      {"distance past the start reads zero history", 6, "ab", 4, 3, std::string("ab\0ab\0", 6)},
  };
  for (const Case& c : cases) {
    StreamBuilder b(0, c.dictBits);
    for (char ch : c.prefix) b.Literal(static_cast<uint8_t>(ch));
    Decoding r = Decode(b.Match(c.len, c.dist).End().bytes());
    EXPECT_EQ(r.status, zfix::EXPLODE_OK) << c.name;
    EXPECT_EQ(Str(r.out), c.expected) << c.name;
  }
}

TEST(Explode, LongestMatchAndFarthestDistance) {
  for (unsigned dictBits : {4u, 5u, 6u}) {
    unsigned window = 1u << (dictBits + 6);
    StreamBuilder b(0, dictBits);
    std::vector<uint8_t> want;
    for (unsigned i = 0; i < window; ++i) {
      want.push_back(static_cast<uint8_t>(i * 31 + i / 256));
      b.Literal(want.back());
    }
    b.Match(zfix::kMaxMatch, window);
    for (unsigned i = 0; i < zfix::kMaxMatch; ++i) want.push_back(want[want.size() - window]);
    Decoding r = Decode(b.End().bytes());
    EXPECT_EQ(r.status, zfix::EXPLODE_OK) << dictBits;
    EXPECT_EQ(r.out, want) << dictBits;
  }
}

TEST(Explode, HandsOverFullChunksAndTheRestAtTheEnd) {
  struct Case {
    size_t outputSize;
    std::vector<unsigned> handovers;
  } cases[] = {
      {0, {0}},
      {100, {100}},
      {4095, {4095}},
      {4096, {4096, 0}},
      {8192, {4096, 4096, 0}},
      {10000, {4096, 4096, 1808}},
  };
  for (const Case& c : cases) {
    StreamBuilder b(0, 6);
    std::vector<uint8_t> want;
    for (size_t i = 0; i < c.outputSize; ++i) {
      want.push_back(static_cast<uint8_t>(i % 251));
      b.Literal(want.back());
    }
    std::vector<uint8_t> s = b.End().bytes();
    s.resize(std::max<size_t>(s.size(), 5));  // an empty stream needs one byte of padding
    Decoding r = Decode(s);
    EXPECT_EQ(r.status, zfix::EXPLODE_OK) << c.outputSize;
    EXPECT_EQ(r.handovers, c.handovers) << c.outputSize;
    EXPECT_EQ(r.out, want) << c.outputSize;
  }
}

TEST(Explode, TruncatedStreamDeliversWhatWasDecoded) {
  StreamBuilder b(0, 6);
  std::string text = "the stream ends before its end marker";
  for (char ch : text) b.Literal(static_cast<uint8_t>(ch));
  b.Match(20, 10);
  std::vector<uint8_t> whole = b.End().bytes();
  // Cut at every length: status 4, and the output is what the reference decodes.
  for (size_t cut = 5; cut < whole.size(); ++cut) {
    std::vector<uint8_t> in(whole.begin(), whole.begin() + cut);
    Decoding r = Decode(in, 7);
    std::vector<uint8_t> ref;
    zfix_test::ReferenceExplode::Run(in.data(), in.size(), 7, &ref);
    EXPECT_EQ(r.status, zfix::EXPLODE_ABORT) << cut;
    EXPECT_EQ(r.out, ref) << cut;
  }
}

TEST(Explode, EndMarkerMayEndAtTheLastBit) {
  // Eight literals (72 bits) and the end marker (16 bits) fill exactly 11 bytes.
  StreamBuilder b(0, 6);
  for (char ch : std::string("abcdefgh")) b.Literal(static_cast<uint8_t>(ch));
  std::vector<uint8_t> s = b.End().bytes();
  ASSERT_EQ(s.size(), 2u + 11u);
  Decoding r = Decode(s);
  EXPECT_EQ(r.status, zfix::EXPLODE_OK);
  EXPECT_EQ(Str(r.out), "abcdefgh");
  // Without the last byte the end marker is incomplete.
  s.pop_back();
  EXPECT_EQ(Decode(s).status, zfix::EXPLODE_ABORT);
}

TEST(Explode, AgreesWithReferenceOnRandomStreamsAndDeliverySizes) {
  uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  for (int t = 0; t < 300; ++t) {
    std::vector<uint8_t> in(5 + next() % 3000);
    for (auto& c : in) c = static_cast<uint8_t>(next());
    in[0] = next() % 2;
    in[1] = 4 + next() % 3;
    size_t chunk = 1 + next() % 2100;
    Decoding r = Decode(in, chunk);
    std::vector<uint8_t> ref;
    unsigned refStatus = zfix_test::ReferenceExplode::Run(in.data(), in.size(), std::min(chunk, in.size()), &ref);
    ASSERT_EQ(r.status, refStatus) << t;
    ASSERT_EQ(r.out, ref) << t;
  }
}

TEST(ExplodeToBuffer, NeverWritesPastItsCapacity) {
  StreamBuilder b(0, 6);
  for (int i = 0; i < 10; ++i) b.Literal(static_cast<uint8_t>('0' + i));
  std::vector<uint8_t> s = b.Match(100, 10).End().bytes();
  struct Case {
    size_t capacity;
    unsigned status;
  } cases[] = {{110, zfix::EXPLODE_OK}, {200, zfix::EXPLODE_OK}, {109, zfix::EXPLODE_OVERFLOW}, {0, zfix::EXPLODE_OVERFLOW}};
  for (const Case& c : cases) {
    std::vector<uint8_t> buf(c.capacity + 16, 0xEE);
    size_t written = 1234;
    EXPECT_EQ(zfix::ExplodeToBuffer(s.data(), s.size(), buf.data(), c.capacity, &written), c.status) << c.capacity;
    EXPECT_EQ(written, std::min<size_t>(110, c.capacity)) << c.capacity;
    for (size_t i = written; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xEE) << c.capacity;
    for (size_t i = 0; i < written; ++i) ASSERT_EQ(buf[i], '0' + i % 10) << c.capacity;
  }
}

}  // namespace
