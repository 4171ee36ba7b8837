// The fix's resources in a PE image as the native builder writes them and inspect reads them.
#include "tools/zfixbuild/fix_resources.h"

#include <gtest/gtest.h>

#include "package/fix_format.h"
#include "tests/package/small_pe.h"
#include "tools/zfixbuild/string_block.h"

using namespace zfixbuild;

namespace {

zfix::PeImage SmallImage() {
  zfix::PeImage image;
  std::string why;
  EXPECT_TRUE(image.Parse(zfix_test::SmallPe::Make(), &why)) << why;
  return image;
}

std::vector<std::u16string> Block(const zfix::PeImage& image, unsigned id) {
  std::vector<std::u16string> strings;
  const zfix::PeResource* r = image.Find(zfix::ResName(6), zfix::ResName(id), zfix::RESOURCE_LANGUAGE);
  EXPECT_TRUE(r && ParseStringBlock(r->data.data(), r->data.size(), &strings));
  return strings;
}

TEST(FixResourcesTest, StringsAreMergedIntoTheStubsBlockAndReadBack) {
  zfix::PeImage image = SmallImage();
  std::string why;
  ASSERT_TRUE(SetStrings(&image, {{1, "tessra.dll"}, {2, "Caf\xE9 \x80 5"}}, &why)) << why;
  std::vector<std::u16string> block = Block(image, 1);
  EXPECT_EQ(block[0], u"Hi");  // the stub's own string stays
  EXPECT_EQ(block[1], u"tessra.dll");
  EXPECT_EQ(block[2], u"Caf\u00E9 \u20AC 5");
  FixView view = ViewOf(image);
  EXPECT_EQ(view.strings[0], "Hi");
  EXPECT_EQ(view.strings[2], "Caf\xE9 \x80 5");
  EXPECT_FALSE(view.version.present);
}

TEST(FixResourcesTest, AStubWithoutTheStringBlockIsRefused) {
  zfix::PeImage image = SmallImage();
  std::string why;
  EXPECT_FALSE(SetStrings(&image, {{42, "hotfix"}}, &why));
  EXPECT_EQ(why, "has no string block 3");
}

TEST(FixResourcesTest, Windows1252BothWays) {
  EXPECT_EQ(WideFrom1252("a\x80\x81\x9F\xFF"), std::u16string(u"a\u20AC\u0081\u0178\u00FF"));
  EXPECT_EQ(NarrowTo1252(u"a\u20AC\u0081\u0178\u00FF\u4E00"), "a\x80\x81\x9F\xFF?");
}

TEST(FixResourcesTest, FixEntriesAndCarriedFilesAreReadBackByInspect) {
  zfix::PeImage image = SmallImage();
  BuiltFix fix;
  fix.version = {1, 2, 3};
  BuiltEntry e;
  e.name = "a.txt";
  e.entry = {};
  e.payload = {9, 9};
  fix.entries.push_back(e);
  SetFixEntries(&image, &fix);
  SetResource(&image, zfix::RESTYPE_LICENSEENTRY, 1, {7});
  std::vector<uint8_t> out;
  std::string why;
  ASSERT_TRUE(image.Write(&out, &why)) << why;
  zfix::PeImage again;
  ASSERT_TRUE(again.Parse(out, &why)) << why;
  EXPECT_EQ(again.Find(zfix::ResName("VERSION"), zfix::ResName(1), 1033)->data, fix.version);
  EXPECT_EQ(again.Find(zfix::ResName("UPDATE"), zfix::ResName(1), 1033)->data, e.payload);
  EXPECT_NE(again.Find(zfix::ResName("FILEENTRY"), zfix::ResName(1), 1033), nullptr);
  FixView view = ViewOf(again);
  EXPECT_TRUE(view.version.present);
  EXPECT_TRUE(view.carried[zfix::RESTYPE_LICENSEENTRY].present);
  EXPECT_FALSE(view.carried[zfix::RESTYPE_TOOLENTRY].present);
}

}  // namespace
