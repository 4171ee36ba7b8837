// The name rules of package/names.h: what may stand below a directory, as one name or as a path.
#include "package/names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tools/common/toolargs.h"

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

// Archive members: a directory member's one trailing separator is no empty step.
TEST(Names, ArchiveMembers) {
  const struct {
    const char* name;
    bool inside;
  } cases[] = {
      {"dojo/dojo.js", true},  {"dijit/", true},        {"a\\b\\", true},   {"x.txt", true},
      {"dijit//", false},      {"/", false},            {"", false},         {"../x.js", false},
      {"a/../../x", false},    {"C:/x", false},         {"/etc/x", false},   {"x.js:s", false},
      {"aux/x.js", false},     {"con.js", false},       {"a\\.\\b", false}, {"a. /b", false},
  };
  for (const auto& c : cases) EXPECT_EQ(c.inside, zfix::MemberStaysInside(c.name)) << c.name;
  EXPECT_FALSE(zfix::MemberStaysInside(nullptr));
}

// A member name as the unzip reader leaves it in the extraction's 256-byte name buffer: a name
// of 256 bytes or more arrives cut and without its NUL. It is refused, and what the refusal's
// log line shows of it ends inside the buffer.
TEST(Names, ArchiveMemberNameBuffer) {
  const size_t kBuffer = 256;
  for (size_t length : {0u, 1u, 255u, 256u, 257u, 300u, 70000u}) {
    SCOPED_TRACE(length);
    std::string stored(length, 'n');
    for (size_t i = 0; i < length; i += 7) stored[i] = '/';
    // Exactly the buffer's bytes on the heap: a read past them is caught by the sanitizer build.
    std::unique_ptr<char[]> buffer(new char[kBuffer]);
    const size_t copied = std::min(length, kBuffer);
    std::memcpy(buffer.get(), stored.data(), copied);
    if (copied < kBuffer) buffer[copied] = '\0';
    const bool whole = zfix::MemberNameWhole(buffer.get(), kBuffer, length);
    EXPECT_EQ(length < kBuffer, whole);
    const std::string shown(buffer.get());  // what the log line reads
    EXPECT_EQ(stored.substr(0, std::min(length, kBuffer - 1)), shown);
  }
}

// Names read from an INI value, joined to their directory: exactly, or refused with the reason.
TEST(Names, JoinedInsideOrRefused) {
  const struct {
    const char* name;
    size_t size;
    zfix::JoinResult result;
    const char* joined;
  } cases[] = {
      {"nzorel.dll", 261, zfix::JoinResult::Joined, "C:\\P\\nzorel.dll"},
      {"Release1451FP1\\nzorel0001.IIB", 261, zfix::JoinResult::Joined, "C:\\P\\Release1451FP1\\nzorel0001.IIB"},
      {"nzorel.dll", 16, zfix::JoinResult::Joined, "C:\\P\\nzorel.dll"},  // 15 characters and the NUL
      {"nzorel.dll", 15, zfix::JoinResult::TooLong, ""},
      {"..\\..\\x.dll", 261, zfix::JoinResult::Leaves, ""},
      {"C:\\x.dll", 261, zfix::JoinResult::Leaves, ""},
      {"\\\\server\\share\\x", 261, zfix::JoinResult::Leaves, ""},
      {"NUL.txt", 261, zfix::JoinResult::Leaves, ""},
      {"", 261, zfix::JoinResult::Leaves, ""},
  };
  for (const auto& c : cases) {
    std::string out(c.size, 'x');
    EXPECT_EQ(c.result, zfix::JoinInside("C:\\P", c.name, &out[0], out.size())) << c.name;
    EXPECT_STREQ(c.joined, out.c_str()) << c.name;
  }
  char small[1] = {'x'};
  EXPECT_EQ(zfix::JoinResult::Leaves, zfix::JoinInside("C:\\P", nullptr, small, 1));
  EXPECT_EQ('\0', small[0]);
}

TEST(Names, BareDrives) {
  EXPECT_TRUE(zfix::IsBareDrive("C:"));
  EXPECT_TRUE(zfix::IsBareDrive("z:"));
  for (const char* p : {"C:\\", "C:x", "CC:", "1:", "", ":"}) EXPECT_FALSE(zfix::IsBareDrive(p)) << p;
  EXPECT_FALSE(zfix::IsBareDrive(nullptr));
}

// The words of a command line after the program's name as the C runtime reads them (and
// CommandLineToArgvW): 2n backslashes before a quote give n and the quote opens or closes a
// quoted stretch, 2n+1 give n and a literal quote; other backslashes are plain.
std::vector<std::string> RuntimeWords(const std::string& line) {
  std::vector<std::string> words;
  size_t i = line.find(' ');
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    if (i >= line.size()) break;
    std::string word;
    bool quoted = false;
    for (; i < line.size() && (quoted || line[i] != ' '); ++i) {
      size_t slashes = 0;
      while (i < line.size() && line[i] == '\\') ++slashes, ++i;
      if (i < line.size() && line[i] == '"') {
        word.append(slashes / 2, '\\');
        if (slashes % 2)
          word += '"';
        else
          quoted = !quoted;
      } else {
        word.append(slashes, '\\');
        if (i >= line.size()) break;
        if (!quoted && line[i] == ' ') break;
        word += line[i];
      }
    }
    words.push_back(word);
  }
  return words;
}

// A directory handed to the release-string tool is one word of its command line, read back as
// the same directory by the C runtime's rules and by the carried tools' own splitting; a drive's
// root too, whose trailing backslash would escape the closing quote of "C:\".
TEST(Names, AQuotedDirectoryIsOneWordOfACommandLine) {
  const struct {
    const char* dir;
    const char* word;  // as read back: the directory, or a name of the same directory
  } cases[] = {
      {"C:\\", "C:\\."},
      {"q:\\", "q:\\."},
      {"C:\\ZOREL\\PROGRAM", "C:\\ZOREL\\PROGRAM"},
      {"C:\\PROGRAM FILES\\ZOREL HALVEX", "C:\\PROGRAM FILES\\ZOREL HALVEX"},
      {"\\\\server\\share\\", "\\\\server\\share\\."},
  };
  const std::string label = "Release 14.5.1FP1 HF21|September 21, 2026";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    const std::string line = "C:\\TEMP\\UpdateVersion.exe " + zfix::QuotedDirectory(c.dir) + " \"" + label + "\" write ";
    for (const std::vector<std::string>& words : {RuntimeWords(line), toolargs::Split(line.c_str())}) {
      ASSERT_EQ(words.size(), 3u) << line;
      EXPECT_EQ(words[0], c.word);
      EXPECT_EQ(words[1], label);
      EXPECT_EQ(words[2], "write");
    }
  }
  // The directory quoted as it stands: the C runtime reads one word that swallows the label.
  const std::string bare = "C:\\TEMP\\UpdateVersion.exe \"C:\\\" \"" + label + "\" write ";
  EXPECT_NE(RuntimeWords(bare).size(), 3u);
}

}  // namespace
