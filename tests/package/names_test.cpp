// The name rules of package/names.h: what may stand below a directory, as one name or as a path.
#include "package/names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  const char* name;
  bool plain;   // IsPlainName
  bool inside;  // StaysInside
};

TEST(Names, PlainNamesAndPathsThatStayInside) {
  const NameCase cases[] = {
      {"tessra.dll", true, true},
      {"Release1451FP1HF21", true, true},
      {"report[1].tpl", true, true},
      {"auxiliary.txt", true, true},     // only the whole stem is a device
      {"com10.log", true, true},
      {"console", true, true},
      {".hidden", true, true},
      {"sig\\nzorel.sf", false, true},
      {"templates/report.tpl", false, true},
      {"a\\b/c\\d.txt", false, true},
      {"", false, false},
      {".", false, false},
      {"..", false, false},
      {"sub\\..\\x.dll", false, false},
      {"sub/../../escaped.txt", false, false},
      {"..\\..\\evil.dll", false, false},
      {"\\windows\\x.dll", false, false},
      {"/etc/passwd", false, false},
      {"C:\\windows", false, false},
      {"C:evil.txt", false, false},
      {"C:", false, false},
      {"file.txt:stream", false, false},
      {"sub\\\\x.dll", false, false},     // an empty step
      {"sub\\", false, false},
      {"x.dll.", false, false},           // Windows drops the dot: "x.dll"
      {"x.dll ", false, false},
      {"a*b", false, false},
      {"a?b", false, false},
      {"a\"b", false, false},
      {"a<b", false, false},
      {"a|b", false, false},
      {"tab\there", false, false},
      {"aux.txt", false, false},
      {"AUX", false, false},
      {"NUL", false, false},
      {"nul.tar.gz", false, false},
      {"CON", false, false},
      {"sig\\CON", false, false},
      {"con .txt", false, false},
      {"prn", false, false},
      {"COM1", false, false},
      {"com9.log", false, false},
      {"LPT1", false, false},
      {"lpt0.x", false, false},
      {"COM\xB9", false, false},
      {"CONIN$", false, false},
      {"conout$.txt", false, false},
      {"CLOCK$", false, false},
      {"data\\nul\\x.txt", false, false},
  };
  for (const NameCase& c : cases) {
    EXPECT_EQ(c.plain, zfix::IsPlainName(c.name)) << c.name;
    EXPECT_EQ(c.inside, zfix::StaysInside(c.name)) << c.name;
  }
  EXPECT_FALSE(zfix::IsPlainName(nullptr));
  EXPECT_FALSE(zfix::StaysInside(nullptr));
}

TEST(Names, LabelDirectoryNames) {
  const struct {
    const char* name;
    bool ok;
  } cases[] = {
      {"Release1451FP1HF21", true},
      {"Release1451FP1_RQA", true},
      {"C:\\windows", false},
      {"..", false},
      {"a\\b", false},
      {"a/b", false},
      {"NUL", false},
      {"Release]x", false},
      {"Release\"x", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.ok, zfix::IsLabelDirName(c.name)) << c.name;
}

TEST(Names, BareDrives) {
  EXPECT_TRUE(zfix::IsBareDrive("C:"));
  EXPECT_TRUE(zfix::IsBareDrive("z:"));
  for (const char* p : {"C:\\", "C:x", "CC:", "1:", "", ":"}) EXPECT_FALSE(zfix::IsBareDrive(p)) << p;
  EXPECT_FALSE(zfix::IsBareDrive(nullptr));
}

}  // namespace
