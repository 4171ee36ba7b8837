#include "package/file_entry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/byte_io.h"

namespace {

std::vector<uint8_t> RawEntry(const std::string& name, std::vector<uint32_t> fields) {
  std::vector<uint8_t> b(name.begin(), name.end());
  b.push_back(0);
  for (uint32_t v : fields) zfix::PutLe32(b, v);
  return b;
}

TEST(FileEntry, ReadsNameAndFields) {
  std::vector<uint8_t> raw = RawEntry("sig\\x.sf", {1, 1, 100, 104, 0x11, 0x22, 1700000000, 1700000100, 3});
  char name[zfix::MAX_ENTRY_NAME + 1];
  zfix::FILEENTRY fe;
  ASSERT_TRUE(zfix::ReadFileEntry(raw.data(), raw.size(), name, sizeof name, &fe));
  EXPECT_STREQ(name, "sig\\x.sf");
  EXPECT_EQ(fe.dwOperation, zfix::FE_PATCH);
  EXPECT_EQ(fe.dwDir, zfix::DIR_PROGRAM);
  EXPECT_EQ(fe.dwOldSize, 100u);
  EXPECT_EQ(fe.dwNewSize, 104u);
  EXPECT_EQ(fe.dwOldChecksum, 0x11u);
  EXPECT_EQ(fe.dwNewChecksum, 0x22u);
  EXPECT_EQ(fe.dwOldTime, 1700000000u);
  EXPECT_EQ(fe.dwNewTime, 1700000100u);
  EXPECT_EQ(fe.dwPatchCount, 3u);
  EXPECT_EQ(zfix::WriteFileEntry(name, fe), raw);
  EXPECT_EQ(raw.size(), std::strlen(name) + 37);
}

TEST(FileEntry, TruncatedOrOversizedRecordsAreCorrupt) {
  std::vector<uint8_t> raw = RawEntry("nzorel.dll", {2, 1, 0, 5, 0, 9, 0, 0, 0});
  for (size_t n = 0; n < raw.size(); ++n) {
    std::vector<uint8_t> cut(raw.begin(), raw.begin() + n);
    char name[zfix::MAX_ENTRY_NAME + 1];
    zfix::FILEENTRY fe;
    EXPECT_FALSE(zfix::ReadFileEntry(cut.data(), cut.size(), name, sizeof name, &fe)) << n;
  }
  std::vector<uint8_t> longName = RawEntry(std::string(260, 'n'), {2, 1, 0, 5, 0, 9, 0, 0, 0});
  char name[zfix::MAX_ENTRY_NAME + 1];
  zfix::FILEENTRY fe;
  EXPECT_FALSE(zfix::ReadFileEntry(longName.data(), longName.size(), name, sizeof name, &fe));
  std::vector<uint8_t> fits = RawEntry(std::string(259, 'n'), {2, 1, 0, 5, 0, 9, 0, 0, 0});
  EXPECT_TRUE(zfix::ReadFileEntry(fits.data(), fits.size(), name, sizeof name, &fe));
}

TEST(FileEntry, DirectoryCodes) {
  struct Case {
    uint32_t stored, used;
  } cases[] = {{1, zfix::DIR_PROGRAM}, {2, zfix::DIR_DATA}, {3, zfix::DIR_SYSTEM}, {0, zfix::DIR_PROGRAM},
               {4, zfix::DIR_PROGRAM}, {0xFFFFFFFF, zfix::DIR_PROGRAM}};
  for (const Case& c : cases) EXPECT_EQ(zfix::EffectiveDir(c.stored), c.used) << c.stored;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(PatchStream, RegionsCarryXorThenTheLongerSide) {
  struct Case {
    const char* name;
    std::string oldBytes, newBytes;
    std::vector<uint8_t> diff;
  } cases[] = {
      {"same length", "abc", "abd", {0, 0, 'c' ^ 'd'}},
      {"insertion", "", "xyz", Bytes("xyz")},
      {"deletion", "xyz", "", Bytes("xyz")},
      {"grows", "ab", "aXcd", {0, 'b' ^ 'X', 'c', 'd'}},
      {"shrinks", "aXcd", "ab", {0, 'b' ^ 'X', 'c', 'd'}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> s;
    zfix::AppendPatchRegion(s, 10, reinterpret_cast<const uint8_t*>(c.oldBytes.data()),
                            static_cast<uint32_t>(c.oldBytes.size()), 12,
                            reinterpret_cast<const uint8_t*>(c.newBytes.data()),
                            static_cast<uint32_t>(c.newBytes.size()), 77);
    zfix::PatchStreamReader r(s.data(), s.size(), 1);
    zfix::PATCHRECORD pr;
    ASSERT_TRUE(r.Next(&pr)) << c.name;
    EXPECT_EQ(pr.dwReserved, 77u);
    EXPECT_EQ(pr.dwOldOffset, 10u);
    EXPECT_EQ(pr.dwNewOffset, 12u);
    EXPECT_EQ(pr.dwOldLength, c.oldBytes.size());
    EXPECT_EQ(pr.dwNewLength, c.newBytes.size());
    EXPECT_EQ(std::vector<uint8_t>(pr.lpDiff, pr.lpDiff + zfix::PatchDiffLength(pr)), c.diff) << c.name;
    EXPECT_FALSE(r.Next(&pr));
    EXPECT_FALSE(r.Corrupt());
  }
}

TEST(PatchStream, WalksRecordsAndStopsAtTheCount) {
  std::vector<uint8_t> s;
  std::vector<uint8_t> d1 = Bytes("12345"), d2 = Bytes("ab");
  zfix::AppendPatchRecord(s, {0, 0, 0, 5, 5, nullptr}, d1.data());
  zfix::AppendPatchRecord(s, {0, 100, 100, 0, 2, nullptr}, d2.data());
  zfix::AppendPatchRecord(s, {0, 200, 202, 2, 0, nullptr}, d2.data());
  struct Case {
    uint32_t count;
    unsigned records;
  } cases[] = {{0, 0}, {2, 2}, {3, 3}};
  for (const Case& c : cases) {
    zfix::PatchStreamReader r(s.data(), s.size(), c.count);
    zfix::PATCHRECORD pr;
    unsigned n = 0;
    while (r.Next(&pr)) ++n;
    EXPECT_EQ(n, c.records);
    EXPECT_FALSE(r.Corrupt());
  }
  // More records announced than present, and every cut inside a record: corrupt.
  for (size_t cut = 1; cut <= s.size(); ++cut) {
    std::vector<uint8_t> part(s.begin(), s.begin() + cut);
    zfix::PatchStreamReader r(part.data(), part.size(), cut == s.size() ? 4 : 3);
    zfix::PATCHRECORD pr;
    while (r.Next(&pr)) {
      ASSERT_LE(pr.lpDiff + zfix::PatchDiffLength(pr), part.data() + part.size());
    }
    EXPECT_TRUE(r.Corrupt()) << cut;
  }
  zfix::PatchStreamReader none(nullptr, 100, 1);
  zfix::PATCHRECORD pr;
  EXPECT_FALSE(none.Next(&pr));
}

TEST(PatchStream, EarlyEndOfTheList) {
  struct Case {
    const char* name;
    zfix::PATCHRECORD r;
    uint32_t index;
    bool upgradeEnds, revertEnds;
  } cases[] = {
      {"first record at offset 0 does not end an upgrade", {0, 0, 0, 0, 0, nullptr}, 0, false, true},
      {"later all-zero record ends both", {0, 0, 0, 0, 0, nullptr}, 1, true, true},
      {"new side zero ends an upgrade only", {0, 5, 0, 3, 0, nullptr}, 2, true, false},
      {"old side zero ends a revert only", {0, 0, 5, 0, 3, nullptr}, 2, false, true},
      {"offset zero with a length goes on", {0, 0, 0, 4, 4, nullptr}, 0, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zfix::PatchListEnds(c.r, c.index, false), c.upgradeEnds) << c.name;
    EXPECT_EQ(zfix::PatchListEnds(c.r, c.index, true), c.revertEnds) << c.name;
  }
}

}  // namespace
