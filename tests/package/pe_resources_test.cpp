#include "package/pe_resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
    // The checksum's field would start in the middle of a 16-bit word.
    {"PE header on an odd offset",
     [](std::vector<uint8_t>& b) {
       b.insert(b.begin() + SmallPe::kPe, 0);
       b.erase(b.begin() + 0x1FF);  // padding after the section table
       SmallPe::Put32(b, 0x3C, SmallPe::kPe + 1);
     },
     "odd offset"},
    // A section without stored bytes (and a pointer far past the file) holds no data, not even none.
    {"empty data in a section without stored bytes",
     [](std::vector<uint8_t>& b) {
       SmallPe::Put32(b, SmallPe::kSections + 16, 0);
       SmallPe::Put32(b, SmallPe::kSections + 20, 0x7FFFFFF0);
       SmallPe::Put32(b, SmallPe::kDataEntry, 0x1000);
       SmallPe::Put32(b, SmallPe::kDataEntry + 4, 0);
     },
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

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 2) b.resize(at + 2, 0);
  SmallPe::Put16(b, at, v);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4, 0);
  SmallPe::Put32(b, at, v);
}

// A resource section whose type 10 has `names` names (ids 1..names): the root at 0, the type's
// table at 24 (its entries from 40 on), then what `languages` lays out from `at`, the end of
// that table, given each name's entry to fill.
template <typename Languages>
std::vector<uint8_t> TreeOf(unsigned names, Languages languages) {
  std::vector<uint8_t> s;
  Put16(s, 14, 1);
  Put32(s, 16, 10);
  Put32(s, 20, 0x80000000u | 24);
  Put16(s, 24 + 14, names);
  languages(s, 40 + 8 * names);
  return s;
}

std::vector<uint8_t> OverlappingTables(bool oneLanguage) {
  const unsigned names = 128, count = 0x800;
  return TreeOf(names, [&](std::vector<uint8_t>& b, size_t) {
    size_t at = 0x1000;  // past the data entry at 0x800
    for (unsigned k = 0; k < names; ++k) {
      Put32(b, 40 + 8 * k, k + 1);
      Put32(b, 44 + 8 * k, 0x80000000u | static_cast<uint32_t>(at + 8 * k));
    }
    for (unsigned w = 0; w < names + 1 + count; ++w) {
      Put32(b, at + 8 * w, oneLanguage ? 1033 : w);
      Put32(b, at + 8 * w + 4, count);
    }
    Put32(b, count, SmallPe::kRsrcRva);
    Put32(b, count + 12, 0);
  });
}

// Hostile stubs, small versions of ones that took seconds and gigabytes (or ran out of memory)
// to read: each refused at once, naming why.
TEST(PeResourcesTest, RefusesTreesThatClaimFarMoreThanTheirSize) {
  const struct {
    const char* what;
    std::vector<uint8_t> section;
    const char* message;
  } cases[] = {
      // Type "AAA...A" (65,535 units) with 2,000 names of one empty resource each: every
      // resource would hold its own copy of the name, 262 MB from 200 KB.
      {"one long name shared by every resource",
       [] {
         const unsigned names = 2000;
         std::vector<uint8_t> s = TreeOf(names, [&](std::vector<uint8_t>& b, size_t at) {
           size_t data = at + 24 * names;
           for (unsigned k = 0; k < names; ++k) {
             Put32(b, 40 + 8 * k, k + 1);
             Put32(b, 44 + 8 * k, 0x80000000u | static_cast<uint32_t>(at + 24 * k));
             Put16(b, at + 24 * k + 14, 1);
             Put32(b, at + 24 * k + 16, 1033);
             Put32(b, at + 24 * k + 20, static_cast<uint32_t>(data));
           }
           Put32(b, data, SmallPe::kRsrcRva);  // 0 bytes
           Put32(b, data + 12, 0);
           size_t text = data + 16;
           Put16(b, text, 0xFFFF);
           for (size_t k = 0; k < 0xFFFF; ++k) Put16(b, text + 2 + 2 * k, 'A');
           Put32(b, 16, 0x80000000u | static_cast<uint32_t>(text));  // the type's name
         });
         return s;
       }(),
       "names add up to more than twice"},
      // 128 names whose language tables start 8 bytes apart and share their entries: each
      // table counts 0x800 entries (its header's count field is the next table's first entry,
      // which names the data entry at 0x800), languages 1, 2, 3...: 262,144 distinct
      // resources from 21 KB (at full size, 33.5 million from 305 KB).
      {"language tables 8 bytes apart", OverlappingTables(false), "overlaps the one at offset"},
      // The same tables with one language throughout: refused as read, not after the whole
      // tree has been read into memory and sorted.
      {"language tables 8 bytes apart, one language", OverlappingTables(true),
       "out of order or repeated (1033 after 1033)"},
      {"entries out of order",
       [] {
         return TreeOf(2, [&](std::vector<uint8_t>& b, size_t at) {
           for (unsigned k = 0; k < 2; ++k) {
             Put32(b, 40 + 8 * k, 2 - k);  // 2, then 1
             Put32(b, 44 + 8 * k, 0x80000000u | static_cast<uint32_t>(at + 24 * k));
             Put16(b, at + 24 * k + 14, 1);
             Put32(b, at + 24 * k + 16, 1033);
             Put32(b, at + 24 * k + 20, static_cast<uint32_t>(at + 48));
           }
           Put32(b, at + 48, SmallPe::kRsrcRva);
           Put32(b, at + 48 + 12, 0);
         });
       }(),
       "out of order or repeated (1 after 2)"},
      {"a language twice in one table",
       [] {
         return TreeOf(1, [&](std::vector<uint8_t>& b, size_t at) {
           Put32(b, 40, 1);
           Put32(b, 44, 0x80000000u | static_cast<uint32_t>(at));
           Put16(b, at + 14, 2);
           for (unsigned k = 0; k < 2; ++k) {
             Put32(b, at + 16 + 8 * k, 1033);
             Put32(b, at + 20 + 8 * k, static_cast<uint32_t>(at + 32));
           }
           Put32(b, at + 32, SmallPe::kRsrcRva);
           Put32(b, at + 32 + 12, 0);
         });
       }(),
       "out of order or repeated (1033 after 1033)"},
  };
  for (const auto& c : cases) {
    PeImage image;
    std::string why;
    EXPECT_FALSE(image.Parse(SmallPe::WithResources(c.section), &why)) << c.what;
    EXPECT_NE(why.find(c.message), std::string::npos) << c.what << ": " << why.substr(0, 200);
    EXPECT_TRUE(image.Resources().size() < 0x1000) << c.what << ": " << image.Resources().size();
  }
}

// Names in the resource compiler's order (without regard to case) and in windres's (by UTF-16
// unit) are both read; a name given once in each order is still refused.
TEST(PeResourcesTest, ReadsNamesInEitherCompilersOrder) {
  // Root at 0: type 10; its table at 24: the names; then each name's language table, one data
  // entry and the names' strings.
  auto named = [](std::vector<const char*> texts) {
    std::vector<uint8_t> b;
    size_t n = texts.size(), tables = 40 + 8 * n, data = tables + 24 * n, strings = data + 16;
    Put16(b, 14, 1);
    Put32(b, 16, 10);
    Put32(b, 20, 0x80000000u | 24);
    Put16(b, 24 + 12, static_cast<uint32_t>(n));
    for (size_t k = 0; k < n; ++k) {
      Put32(b, 40 + 8 * k, 0x80000000u | static_cast<uint32_t>(strings + 16 * k));
      Put32(b, 44 + 8 * k, 0x80000000u | static_cast<uint32_t>(tables + 24 * k));
      Put16(b, strings + 16 * k, static_cast<uint32_t>(strlen(texts[k])));
      for (size_t i = 0; texts[k][i]; ++i) Put16(b, strings + 16 * k + 2 + 2 * i, texts[k][i]);
      Put16(b, tables + 24 * k + 14, 1);
      Put32(b, tables + 24 * k + 16, 1033);
      Put32(b, tables + 24 * k + 20, static_cast<uint32_t>(data));
    }
    Put32(b, data, SmallPe::kRsrcRva);
    return b;
  };
  PeImage image;
  std::string why;
  EXPECT_TRUE(image.Parse(SmallPe::WithResources(named({"a", "B"})), &why)) << why;
  EXPECT_TRUE(image.Parse(SmallPe::WithResources(named({"B", "a"})), &why)) << why;
  ASSERT_EQ(image.Resources().size(), 2u);
  EXPECT_EQ(image.Resources()[0].name.Display(), "a");  // kept in directory order
  EXPECT_FALSE(image.Parse(SmallPe::WithResources(named({"B", "a", "B"})), &why));
  EXPECT_NE(why.find("appears twice"), std::string::npos) << why;
}

// Entries stored in descending order cannot be found by Windows' binary search: refused at the
// second entry read, not after a sort of these 262,141. In ascending order they are read and
// written back unchanged.
TEST(PeResourcesTest, RefusesManyEntriesInDescendingOrder) {
  PeImage image;
  std::string why;
  ASSERT_TRUE(image.Parse(SmallPe::Make(), &why)) << why;
  for (unsigned name = 1; name <= 4; ++name)
    for (unsigned language = 1; language <= 0xFFFF; ++language)
      image.Set(Res(ResName(10), ResName(name), static_cast<uint16_t>(language), {}));
  std::vector<uint8_t> ascending = WriteOrDie(image);
  std::vector<uint8_t> descending = ascending;
  // Every table's entries reversed.
  std::vector<size_t> tables = {0};
  while (!tables.empty()) {
    size_t t = SmallPe::kRsrcRaw + tables.back();
    tables.pop_back();
    size_t count = static_cast<size_t>(descending[t + 12] | descending[t + 13] << 8) +
                   (descending[t + 14] | descending[t + 15] << 8);
    for (size_t i = 0; i < count / 2; ++i)
      std::swap_ranges(descending.begin() + t + 16 + 8 * i, descending.begin() + t + 24 + 8 * i,
                       descending.begin() + t + 16 + 8 * (count - 1 - i));
    for (size_t i = 0; i < count; ++i) {
      uint32_t target = Get32(descending, t + 20 + 8 * i);
      if (target & 0x80000000u) tables.push_back(target & 0x7FFFFFFF);
    }
  }
  ASSERT_NE(descending, ascending);
  PeImage again;
  EXPECT_FALSE(again.Parse(descending, &why));
  EXPECT_NE(why.find("out of order or repeated (65534 after 65535)"), std::string::npos) << why;
  ASSERT_TRUE(again.Parse(ascending, &why)) << why;
  ASSERT_EQ(again.Resources().size(), 4u * 0xFFFF + 1);
  EXPECT_EQ(again.Resources()[1].type, ResName(10));  // after the string block (type 6)
  EXPECT_EQ(again.Resources()[1].name, ResName(1));
  EXPECT_EQ(again.Resources()[1].language, 1);
  EXPECT_EQ(again.Resources().back().name, ResName(4));
  EXPECT_EQ(again.Resources().back().language, 0xFFFF);
  // The same entries in the same order: written as before.
  EXPECT_EQ(WriteOrDie(again), ascending);

  // The same entry twice is refused.
  SmallPe::Put32(ascending, SmallPe::kRsrcRaw + 16, Get32(ascending, SmallPe::kRsrcRaw + 24));
  EXPECT_FALSE(again.Parse(ascending, &why));
}

// A section placed just below 4 GB, grown past it: the relocations behind it would wrap to
// 0x1000, over the code.
TEST(PeResourcesTest, RefusesToGrowAnImagePast4GB) {
  std::vector<uint8_t> b = SmallPe::Make();
  SmallPe::Put32(b, SmallPe::kSections + 40 + 12, 0xFFFFD000u);
  SmallPe::Put32(b, SmallPe::kSections + 80 + 12, 0xFFFFE000u);
  SmallPe::Put32(b, SmallPe::kDirectories + 8 * 2, 0xFFFFD000u);
  SmallPe::Put32(b, SmallPe::kDirectories + 8 * 5, 0xFFFFE000u);
  SmallPe::Put32(b, SmallPe::kDataEntry, 0xFFFFD000u + 88);
  SmallPe::Put32(b, SmallPe::kOptional + 56, 0xFFFFF000u);
  PeImage image;
  std::string why;
  ASSERT_TRUE(image.Parse(b, &why)) << why;
  std::vector<uint8_t> out;
  EXPECT_TRUE(image.Write(&out, &why)) << why;  // as it is, it fits
  image.Set(Res(ResName(10), ResName(1), 1033, std::vector<uint8_t>(12 * 1024, 7)));
  EXPECT_FALSE(image.Write(&out, &why)) << "relocations written at " << std::hex << Get32(out, SmallPe::kSections + 80 + 12);
  EXPECT_NE(why.find("the image would pass 4 GB"), std::string::npos) << why;
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
      // The moved relocations would land off the file alignment.
      {"resources' stored size off the file alignment",
       [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kSections + 40 + 16, 0x1F0); },
       "not aligned to the file alignment"},
      {"resources' stored bytes starting off the file alignment",
       [](std::vector<uint8_t>& b) {
         std::copy_backward(b.begin() + SmallPe::kRsrcRaw, b.begin() + SmallPe::kRsrcRaw + 0x100,
                            b.begin() + SmallPe::kRsrcRaw + 0x110);
         SmallPe::Put32(b, SmallPe::kSections + 40 + 16, 0x1F0);
         SmallPe::Put32(b, SmallPe::kSections + 40 + 20, SmallPe::kRsrcRaw + 0x10);
       },
       "not aligned to the file alignment"},
      // Code or data that points into the resources or past them would point at the old places.
      {"relocations of a page in the resources",
       [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kRelocRaw, SmallPe::kRsrcRva); },
       "base relocations for the page at 0x2000"},
      {"relocations of a page past the resources",
       [](std::vector<uint8_t>& b) { SmallPe::Put32(b, SmallPe::kRelocRaw, SmallPe::kRelocRva); },
       "base relocations for the page at 0x3000"},
      {"an address of the resources in the code",
       [](std::vector<uint8_t>& b) { SmallPe::Put32(b, 0x201, 0x400000 + SmallPe::kRsrcRva + 0x10); },
       "points at 0x2010"},
      {"an address of the relocations in the code",
       [](std::vector<uint8_t>& b) { SmallPe::Put32(b, 0x201, 0x400000 + SmallPe::kRelocRva); }, "points at 0x3000"},
      {"debug data at an address in the resources",
       [](std::vector<uint8_t>& b) {
         SmallPe::Put32(b, SmallPe::kSections + 8, 0x100);  // .text holds the debug directory
         SmallPe::Put32(b, SmallPe::kDirectories + 8 * 6, 0x1010);
         SmallPe::Put32(b, SmallPe::kDirectories + 8 * 6 + 4, 28);
         SmallPe::Put32(b, 0x210 + 20, SmallPe::kRsrcRva + 0x40);
       },
       "debug data"},
      {"debug data stored in the resources",
       [](std::vector<uint8_t>& b) {
         SmallPe::Put32(b, SmallPe::kSections + 8, 0x100);
         SmallPe::Put32(b, SmallPe::kDirectories + 8 * 6, 0x1010);
         SmallPe::Put32(b, SmallPe::kDirectories + 8 * 6 + 4, 28);
         SmallPe::Put32(b, 0x210 + 24, SmallPe::kRsrcRaw + 0x40);
       },
       "debug data"},
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

// A table's counts are 16-bit: languages 0 to 65535 of one name are one entry too many.
TEST(PeResourcesTest, RefusesToWriteATableOfMoreThan65535Entries) {
  PeImage image;
  std::string why;
  ASSERT_TRUE(image.Parse(SmallPe::Make(), &why)) << why;
  for (unsigned language = 0; language <= 0xFFFF; ++language)
    image.Set(Res(ResName(10), ResName(1), static_cast<uint16_t>(language), {}));
  std::vector<uint8_t> out;
  EXPECT_FALSE(image.Write(&out, &why));
  EXPECT_NE(why.find("65536 entries"), std::string::npos) << why;
}

}  // namespace
