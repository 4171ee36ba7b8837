#include "package/implode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "package/byte_io.h"
#include "package/explode.h"
#include "tests/package/reference_explode.h"
#ifdef ZFIX_HAVE_LIBDYNAMITE
#include "tests/package/dynamite_decode.h"
#endif

namespace {

std::vector<uint8_t> Pseudo(size_t n, uint32_t seed, unsigned alphabet = 256) {
  std::vector<uint8_t> v(n);
  for (auto& c : v) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<uint8_t>((seed >> 24) % alphabet);
  }
  return v;
}

std::vector<uint8_t> Text(size_t n) {
  static const char* words[] = {"the ", "fix ", "release ", "label ", "of ", "a ", "file ", "\n", ".TH ", "checksum "};
  std::vector<uint8_t> v;
  uint32_t seed = 7;
  while (v.size() < n) {
    seed = seed * 1664525u + 1013904223u;
    const char* w = words[(seed >> 20) % 10];
    v.insert(v.end(), w, w + std::strlen(w));
  }
  v.resize(n);
  return v;
}

std::vector<uint8_t> Periodic(size_t n, size_t period) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i % period * 37 + 1);
  return v;
}

struct Input {
  const char* name;
  std::vector<uint8_t> data;
};

std::vector<Input> Inputs() {
  std::vector<uint8_t> mixed = Text(30000);
  std::vector<uint8_t> noise = Pseudo(20000, 99);
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  mixed.insert(mixed.end(), 5000, 0);
  return {
      {"empty", {}},
      {"one byte", {0x41}},
      {"two bytes", {0, 0}},
      {"long run of one byte", std::vector<uint8_t>(100000, 0)},
      {"greatest match length exactly", std::vector<uint8_t>(1 + 518, 'x')},
      {"runs just past the greatest length", std::vector<uint8_t>(1 + 518 * 3 + 1, 'y')},
      {"period 2", Periodic(20000, 2)},
      {"period 7", Periodic(20000, 7)},
      {"period near the window", Periodic(50000, 4090)},
      {"period just past the window", Periodic(50000, 4097)},
      {"incompressible", Pseudo(70000, 1)},
      {"four-letter alphabet (many length-2 matches)", Pseudo(60000, 5, 4)},
      {"text", Text(100000)},
      {"text, noise and zeros", mixed},
  };
}

struct Setting {
  unsigned dictBits;
  bool ascii;
  zfix::ImplodeParse parse;
};

const Setting kSettings[] = {
    {6, false, zfix::ImplodeParse::Optimal}, {5, false, zfix::ImplodeParse::Optimal},
    {4, false, zfix::ImplodeParse::Optimal}, {6, false, zfix::ImplodeParse::Greedy},
    {4, false, zfix::ImplodeParse::Greedy},  {6, true, zfix::ImplodeParse::Optimal},
    {5, true, zfix::ImplodeParse::Greedy},
};


TEST(Implode, EveryStreamDecodesToItsInput) {
  for (const Input& in : Inputs()) {
    for (const Setting& s : kSettings) {
      std::string what = std::string(in.name) + " dict " + std::to_string(s.dictBits) + (s.ascii ? " ascii" : "") +
                         (s.parse == zfix::ImplodeParse::Greedy ? " greedy" : " optimal");
      std::vector<uint8_t> stream = zfix::Implode(in.data.data(), in.data.size(), {s.dictBits, s.ascii, s.parse});
      ASSERT_GE(stream.size(), 4u) << what;
      EXPECT_EQ(stream[0], s.ascii ? 1 : 0) << what;
      EXPECT_EQ(stream[1], s.dictBits) << what;

      std::vector<uint8_t> out(in.data.size());
      size_t written = 0;
      EXPECT_EQ(zfix::ExplodeToBuffer(stream.data(), stream.size(), out.data(), out.size(), &written), zfix::EXPLODE_OK)
          << what;
      EXPECT_EQ(written, in.data.size()) << what;
      EXPECT_TRUE(out == in.data) << what;

      std::vector<uint8_t> ref;
      EXPECT_EQ(zfix_test::ReferenceExplode::Run(stream.data(), stream.size(), stream.size(), &ref), zfix::EXPLODE_OK)
          << what;
      EXPECT_TRUE(ref == in.data) << what;
#ifdef ZFIX_HAVE_LIBDYNAMITE
      if (!s.ascii) {
        std::vector<uint8_t> dyn;
        EXPECT_TRUE(zfix_test::DynamiteExplode(stream, &dyn)) << what;
        EXPECT_TRUE(dyn == in.data) << what;
      }
#endif
    }
  }
}

// The encoder keeps its tables per thread from one stream to the next: what a thread encoded
// before (other data, other windows, longer or shorter streams) must not show in a stream.
TEST(Implode, StreamDoesNotDependOnTheStreamsBeforeIt) {
  std::vector<Input> inputs = Inputs();
  std::vector<std::vector<uint8_t>> fresh;
  for (const Input& in : inputs) {
    for (const Setting& s : kSettings) {
      std::thread t([&] {
        fresh.push_back(zfix::Implode(in.data.data(), in.data.size(), {s.dictBits, s.ascii, s.parse}));
        zfix::ReleaseImplodeWorkspace();
      });
      t.join();
    }
  }
  // Twice over on this thread, the second time in reverse order.
  for (int round = 0; round < 2; ++round) {
    for (size_t k = 0; k < inputs.size(); ++k) {
      size_t i = round == 0 ? k : inputs.size() - 1 - k;
      for (size_t j = 0; j < std::size(kSettings); ++j) {
        const Setting& s = kSettings[j];
        std::vector<uint8_t> again = zfix::Implode(inputs[i].data.data(), inputs[i].data.size(), {s.dictBits, s.ascii, s.parse});
        EXPECT_TRUE(again == fresh[i * std::size(kSettings) + j])
            << inputs[i].name << " dict " << s.dictBits << " round " << round;
      }
    }
  }
}

TEST(Implode, SizesStayNearTheFormatsLimits) {
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    double maxRatio;
  } cases[] = {
      // 9 bits per literal plus the header and end marker.
      {"incompressible", Pseudo(100000, 3), 9.0 / 8 + 0.001},
      // A run costs one 24-bit token per 518 bytes.
      {"run", std::vector<uint8_t>(518 * 100 + 1, 0), 0.01},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> stream = zfix::Implode(c.data.data(), c.data.size());
    EXPECT_LE(static_cast<double>(stream.size()) / c.data.size(), c.maxRatio) << c.name;
  }
}

TEST(Implode, OptimalParseBeatsGreedyOnText) {
  std::vector<uint8_t> text = Text(200000);
  size_t greedy = zfix::Implode(text.data(), text.size(), {6, false, zfix::ImplodeParse::Greedy}).size();
  size_t optimal = zfix::Implode(text.data(), text.size(), {6, false, zfix::ImplodeParse::Optimal}).size();
  EXPECT_LT(optimal, greedy);
}

TEST(Implode, CompressedResourceFormCarriesTheSize) {
  std::vector<uint8_t> data = Text(12345);
  std::vector<uint8_t> res = zfix::MakeCompressedResource(data.data(), data.size());
  ASSERT_GT(res.size(), 4u);
  EXPECT_EQ(zfix::GetLe32(res.data()), 12345u);
  std::vector<uint8_t> stream = zfix::Implode(data.data(), data.size());
  EXPECT_TRUE(std::equal(stream.begin(), stream.end(), res.begin() + 4));
}

}  // namespace

namespace {

TEST(ImplodeSmallest, PicksTheSmallestSettingAndEveryChoiceDecodes) {
  // Text favours the ASCII literal code, noise the plain 8-bit literals; a short input gains
  // from the fewer distance bits of a small dictionary.
  struct Expect {
    const char* name;
    std::vector<uint8_t> data;
    bool ascii;
  };
  std::vector<Expect> expected = {
      {"text", Text(100000), true},
      {"incompressible", Pseudo(50000, 11), false},
  };
  std::vector<Input> inputs = Inputs();
  for (const Expect& e : expected) inputs.push_back({e.name, e.data});
  for (const Input& in : inputs) {
    zfix::ImplodeSetting chosen{0, false};
    std::vector<uint8_t> stream = zfix::ImplodeSmallest(in.data.data(), in.data.size(), &chosen);
    ASSERT_GE(stream.size(), 5u) << in.name;
    EXPECT_EQ(stream[0], chosen.ascii ? 1 : 0) << in.name;
    EXPECT_EQ(stream[1], chosen.dictBits) << in.name;
    std::vector<uint8_t> out(in.data.size());
    size_t written = 0;
    EXPECT_EQ(zfix::ExplodeToBuffer(stream.data(), stream.size(), out.data(), out.size(), &written), zfix::EXPLODE_OK)
        << in.name;
    EXPECT_TRUE(written == in.data.size() && out == in.data) << in.name;

    size_t best = SIZE_MAX;
    for (bool ascii : {false, true})
      for (unsigned dictBits : {4u, 5u, 6u})
        best = std::min(best, zfix::Implode(in.data.data(), in.data.size(), {dictBits, ascii}).size());
    // Settings whose bound is far off are not encoded; what that leaves behind stays small.
    EXPECT_LE(stream.size(), best + best / 50 + 8) << in.name;
    EXPECT_LE(stream.size(), zfix::Implode(in.data.data(), in.data.size()).size()) << in.name;
  }
  for (const Expect& e : expected) {
    zfix::ImplodeSetting chosen{0, false};
    zfix::ImplodeSmallest(e.data.data(), e.data.size(), &chosen);
    EXPECT_EQ(chosen.ascii, e.ascii) << e.name;
  }
  std::vector<uint8_t> small = Text(900);
  zfix::ImplodeSetting chosen{0, false};
  zfix::ImplodeSmallest(small.data(), small.size(), &chosen);
  EXPECT_LT(chosen.dictBits, 6u) << "900 bytes of text";
}

TEST(ImplodeSmallest, ResourceFormCarriesTheSizeAndTheSameStream) {
  std::vector<uint8_t> data = Text(5000);
  std::vector<uint8_t> res = zfix::MakeSmallestResource(data.data(), data.size());
  EXPECT_EQ(zfix::GetLe32(res.data()), 5000u);
  std::vector<uint8_t> stream = zfix::ImplodeSmallest(data.data(), data.size());
  EXPECT_TRUE(res.size() == stream.size() + 4 && std::equal(stream.begin(), stream.end(), res.begin() + 4));
}

}  // namespace
