#include "package/pe_resources.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/package/small_pe.h"

using zfix::PeImage;
using zfix::PeResource;
using zfix::ResName;
using zfix_test::SmallPe;

namespace {

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

PeResource Res(ResName type, ResName name, uint16_t language, std::vector<uint8_t> data) {
  PeResource r;
  r.type = type;
  r.name = name;
  r.language = language;
  r.data = data;
  return r;
}

std::vector<uint8_t> WriteOrDie(const PeImage& image) {
  std::vector<uint8_t> out;
  std::string why;
  EXPECT_TRUE(image.Write(&out, &why)) << why;
  return out;
}

TEST(PeResourcesTest, ChecksumFoldsCarriesSkipsItsFieldAndAddsTheLength) {
  const uint8_t bytes[] = {0xFF, 0xFF, 0x02, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x05};
  // 0xFFFF + 0x0002 folds to 0x0002; the field (bytes 4..7) counts as zero; the odd byte 5;
  // then 9 for the length.
  EXPECT_EQ(zfix::PeChecksum(bytes, sizeof bytes, 4), 0x0002u + 5 + 9);
  std::vector<uint8_t> pe = SmallPe::Make();
  EXPECT_EQ(zfix::PeChecksum(pe.data(), pe.size(), SmallPe::kOptional + 64), Get32(pe, SmallPe::kOptional + 64));
}

TEST(PeResourcesTest, ReadsTheTreeAndWritesItBackUnchanged) {
  PeImage image;
  std::string why;
  ASSERT_TRUE(image.Parse(SmallPe::Make(), &why)) << why;
  ASSERT_EQ(image.Resources().size(), 1u);
  const PeResource* block = image.Find(ResName(6), ResName(1), 1033);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->data.size(), 36u);
  EXPECT_EQ(block->data[2], 'H');
  EXPECT_EQ(image.Find(ResName(6), ResName(1), 1031), nullptr);
  EXPECT_EQ(image.TimeStamp(), 0x5F000000u);

  std::vector<uint8_t> out = WriteOrDie(image);
  PeImage again;
  ASSERT_TRUE(again.Parse(out, &why)) << why;
  ASSERT_EQ(again.Resources().size(), 1u);
  EXPECT_EQ(again.Resources()[0].data, block->data);
  EXPECT_EQ(WriteOrDie(again), out);  // a fixed point: the same bytes again
}

TEST(PeResourcesTest, OrdersNamedEntriesFirstWithoutCaseThenIdsAndReplacesBySameKey) {
  PeImage image;
  std::string why;
  ASSERT_TRUE(image.Parse(SmallPe::Make(), &why)) << why;
  image.Set(Res(ResName("VERSION"), ResName(1), 1033, {1}));
  image.Set(Res(ResName("update"), ResName(2), 1033, {2}));
  image.Set(Res(ResName("UPDATE"), ResName(2), 1033, {3}));
  image.Set(Res(ResName("FILEENTRY"), ResName(10), 1033, {4}));
  image.Set(Res(ResName("FILEENTRY"), ResName(2), 1033, {5}));
  image.Set(Res(ResName("FILEENTRY"), ResName("B"), 1033, {6}));
  image.Set(Res(ResName(3), ResName(1), 1033, {7}));
  image.Set(Res(ResName("VERSION"), ResName(1), 1033, {8}));  // replaces {1}
  std::vector<std::string> order;
  for (const PeResource& r : image.Resources()) order.push_back(r.type.Display() + "/" + r.name.Display());
  EXPECT_EQ(order, (std::vector<std::string>{"FILEENTRY/B", "FILEENTRY/2", "FILEENTRY/10", "UPDATE/2", "update/2",
                                             "VERSION/1", "3/1", "6/1"}));
  EXPECT_EQ(image.Find(ResName("VERSION"), ResName(1), 1033)->data, std::vector<uint8_t>{8});

  // The written root: four named types, then two ids; the first named type is FILEENTRY.
  std::vector<uint8_t> out = WriteOrDie(image);
  size_t root = SmallPe::kRsrcRaw;
  EXPECT_EQ(out[root + 12], 4);
  EXPECT_EQ(out[root + 14], 2);
  uint32_t name = Get32(out, root + 16);
  ASSERT_TRUE(name & 0x80000000u);
  size_t at = root + (name & 0x7FFFFFFF);
  EXPECT_EQ(out[at], 9);  // "FILEENTRY"
  EXPECT_EQ(out[at + 2], 'F');
  PeImage again;
  ASSERT_TRUE(again.Parse(out, &why)) << why;
  ASSERT_EQ(again.Resources().size(), image.Resources().size());
  for (size_t i = 0; i < image.Resources().size(); ++i) EXPECT_EQ(again.Resources()[i].data, image.Resources()[i].data);
}

TEST(PeResourcesTest, GrowingTheResourcesMovesTheRelocationsAndFixesTheHeaders) {
  std::vector<uint8_t> in = SmallPe::Make();
  PeImage image;
  std::string why;
  ASSERT_TRUE(image.Parse(in, &why)) << why;
  image.Set(Res(ResName("UPDATE"), ResName(1), 1033, std::vector<uint8_t>(0x1800, 0x5A)));
  image.SetTimeStamp(1700000000);
  std::vector<uint8_t> out = WriteOrDie(image);

  size_t rsrc = SmallPe::kSections + 40, reloc = SmallPe::kSections + 80;
  uint32_t size = Get32(out, rsrc + 8);
  EXPECT_GT(size, 0x1800u);
  EXPECT_EQ(Get32(out, rsrc + 16), (size + 0x1FF) & ~0x1FFu);      // raw size, file-aligned
  EXPECT_EQ(Get32(out, SmallPe::kDirectories + 8 * 2 + 4), size);  // resource directory size
  uint32_t relocRva = Get32(out, reloc + 12), relocRaw = Get32(out, reloc + 20);
  EXPECT_EQ(relocRva, (SmallPe::kRsrcRva + size + 0xFFF) & ~0xFFFu);
  EXPECT_EQ(relocRaw, SmallPe::kRsrcRaw + Get32(out, rsrc + 16));
  EXPECT_EQ(Get32(out, SmallPe::kDirectories + 8 * 5), relocRva);
  EXPECT_EQ(Get32(out, SmallPe::kOptional + 56), relocRva + 0x1000);  // SizeOfImage
  EXPECT_EQ(Get32(out, SmallPe::kOptional + 8), 0x400u - 0x200 + Get32(out, rsrc + 16));
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + relocRaw, out.begin() + relocRaw + 0x200),
            std::vector<uint8_t>(in.begin() + SmallPe::kRelocRaw, in.begin() + SmallPe::kRelocRaw + 0x200));
  EXPECT_EQ(out.size(), relocRaw + 0x200);
  EXPECT_EQ(Get32(out, SmallPe::kPe + 8), 1700000000u);
  EXPECT_EQ(Get32(out, SmallPe::kOptional + 64), zfix::PeChecksum(out.data(), out.size(), SmallPe::kOptional + 64));
  // Everything before the resources is as it was, but for the changed header fields.
  EXPECT_EQ(std::vector<uint8_t>(out.begin() + 0x200, out.begin() + SmallPe::kRsrcRaw),
            std::vector<uint8_t>(in.begin() + 0x200, in.begin() + SmallPe::kRsrcRaw));
}

// Each damage and the words of the message that names it.
struct Damage {
  const char* what;
  void (*apply)(std::vector<uint8_t>&);
  const char* message;
};

const Damage kDamages[] = {
    {"no MZ", [](std::vector<uint8_t>& b) { b[0] = 'X'; }, "no MZ header"},
    {"PE header past the end", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, 0x3C, 0xFFFFFFF0u); },
     "truncated: the PE header"},
    {"no PE signature", [](std::vector<uint8_t>& b) { b[SmallPe::kPe] = 'X'; }, "no PE signature"},
    {"PE32+", [](std::vector<uint8_t>& b) { SmallPe::Put16(b, SmallPe::kOptional, 0x20B); }, "not a 32-bit i386 image"},
    {"too many directories", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kOptional + 92, 0x10000000); },
     "more than it holds"},
    {"section table past the end", [](std::vector<uint8_t>& b) { SmallPe::Put16(b, SmallPe::kPe + 6, 0xFFFF); },
     "truncated: the section table"},
    {"file cut short", [](std::vector<uint8_t>& b) { b.resize(0x500); }, "truncated: section .rsrc"},
    {"no resource directory", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kDirectories + 16, 0); },
     "no resource section"},
    {"resource directory in no section",
     [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kDirectories + 16, 0x9000); }, "lies in no section"},
    {"loop", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kTypeEntry + 4, 0x80000000u | 0); },
     "the resource directory tree loops"},
    {"type points at data", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kRootEntry + 4, 72); },
     "points at data instead of a directory"},
    {"language points at a directory",
     [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kNameEntry + 4, 0x80000000u | 48); },
     "is not a language id with data"},
    {"table past the section",
     [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kRootEntry + 4, 0x80000000u | 0x7C); },
     "lies outside the resource section"},
    {"too many entries", [](std::vector<uint8_t>& b) { SmallPe::Put16(b, SmallPe::kRsrcRaw + 14, 0xFFFF); },
     "more than the resource section holds"},
    {"name string past the section",
     [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kRootEntry, 0x80000000u | 0x7F); },
     "runs past the resource section"},
    {"data past its section", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kDataEntry + 4, 0x1000); },
     "lies outside the file's sections"},
};

TEST(PeResourcesTest, RefusesDamagedImagesNamingTheDamage) {
  for (const Damage& d : kDamages) {
    std::vector<uint8_t> b = SmallPe::Make();
    d.apply(b);
    PeImage image;
    std::string why;
    EXPECT_FALSE(image.Parse(b, &why)) << d.what;
    EXPECT_NE(why.find(d.message), std::string::npos) << d.what << ": " << why;
  }
}

TEST(PeResourcesTest, RefusesATableReachedTwice) {
  PeImage image;
  std::string why;
  ASSERT_TRUE(image.Parse(SmallPe::Make(), &why)) << why;
  image.Set(Res(ResName(5), ResName(1), 1033, {1}));
  std::vector<uint8_t> out = WriteOrDie(image);
  // Type 6's entry takes type 5's table.
  SmallPe::Put32(out, SmallPe::kRsrcRaw + 24 + 4, Get32(out, SmallPe::kRsrcRaw + 16 + 4));
  PeImage shared;
  EXPECT_FALSE(shared.Parse(out, &why));
  EXPECT_NE(why.find("is reached twice"), std::string::npos) << why;
}

TEST(PeResourcesTest, RefusesToRewriteWhatItCannotMoveOrWouldLose) {
  const struct {
    const char* what;
    void (*apply)(std::vector<uint8_t>&);
    const char* message;
  } cases[] = {
      {"data after the last section", [](std::vector<uint8_t>& b) { b.resize(b.size() + 16, 1); },
       "16 bytes follow the last section"},
      {"a certificate table", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kDirectories + 32, 0x800); },
       "the image is signed"},
      {"a section after the resources that is not the relocations",
       [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kDirectories + 40, 0); },
       "section .reloc follows the resource section .rsrc and is not the base relocations"},
      {"a directory inside the resources",
       [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kDirectories + 8, SmallPe::kRsrcRva + 0x40); },
       "data directory 1 (at 0x2040) lies inside the resource section"},
      {"a symbol table", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kPe + 12, 0x700); },
       "COFF symbol table"},
      {"odd alignment", [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kOptional + 36, 0x300); },
       "unusual alignment"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> b = SmallPe::Make();
    c.apply(b);
    PeImage image;
    std::string why;
    ASSERT_TRUE(image.Parse(b, &why)) << c.what << ": " << why;
    std::vector<uint8_t> out;
    EXPECT_FALSE(image.Write(&out, &why)) << c.what;
    EXPECT_NE(why.find(c.message), std::string::npos) << c.what << ": " << why;
  }
}

}  // namespace
