// The parts of a name: each fills an output of the size it is given, or refuses with an empty
// output when the part does not fit.
#include "installer/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

typedef BOOL (*NamePart)(const char*, char*, size_t);

TEST(Paths, NamePartsFitTheirOutput) {
  struct Case {
    const char* what;
    NamePart part;
    const char* path;
    size_t size;
    BOOL result;
    const char* out;
  };
  const Case cases[] = {
      {"extension", GetFileExtension, "tessra.dll", 16, TRUE, "dll"},
      {"extension below a folder", GetFileExtension, "sig\\tessra.sf", 16, TRUE, "sf"},
      {"no extension", GetFileExtension, "README", 16, TRUE, ""},
      {"extension that just fits", GetFileExtension, "a.jar", 4, TRUE, "jar"},
      {"extension one too long", GetFileExtension, "a.jar", 3, FALSE, ""},
      {"stem of two dots", StripFileExtension, "pomvi.dll.bak", 32, TRUE, "pomvi.dll"},
      {"stem without a dot", StripFileExtension, "README", 32, TRUE, "README"},
      {"stem that just fits", StripFileExtension, "pomvi.dll", 6, TRUE, "pomvi"},
      {"stem one too long", StripFileExtension, "pomvi.dll", 5, FALSE, ""},
      {"name below folders", GetFileNamePart, "sig\\sub\\pomvi.sf", 32, TRUE, "pomvi.sf"},
      {"name without a folder", GetFileNamePart, "pomvi.sf", 32, TRUE, "pomvi.sf"},
      {"name that just fits", GetFileNamePart, "sig\\pomvi.sf", 9, TRUE, "pomvi.sf"},
      {"name one too long", GetFileNamePart, "sig\\pomvi.sf", 8, FALSE, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char out[64];
    memset(out, 'x', sizeof(out));
    EXPECT_EQ(c.result, c.part(c.path, out, c.size));
    EXPECT_STREQ(c.out, out);
    EXPECT_EQ('x', out[c.size]) << "nothing is written past the output's size";
  }
}

TEST(Paths, NamePartsMayWriteOverTheirPath) {
  char text[32] = "sig\\pomvi.sf";
  EXPECT_TRUE(GetFileNamePart(text, text, sizeof(text)));
  EXPECT_STREQ("pomvi.sf", text);
  EXPECT_TRUE(StripFileExtension(text, text, sizeof(text)));
  EXPECT_STREQ("pomvi", text);
}

}  // namespace
