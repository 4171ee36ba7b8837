#include "package/fix_record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "package/byte_io.h"
#include "package/file_entry.h"
#include "package/fix_format.h"

namespace {

const char kOld[] = "Release 14.5.1FP1|May 21, 2026";
const char kNew[] = "Release 14.5.1FP1 HF21|September 21, 2026";

// A record written field by field, independently of WriteFixRecord.
struct RawRecord {
  std::vector<uint8_t> bytes;
  void Label(const std::string& text) {
    std::string f = text;
    f.resize(99, '|');
    bytes.insert(bytes.end(), f.begin(), f.end());
    bytes.push_back(0);
  }
  void U32(uint32_t v) { zfix::PutLe32(bytes, v); }
  void Name(const std::string& s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    bytes.push_back(0);
  }
  void Header(uint32_t checksums, uint32_t fileEntries, uint32_t listed, uint32_t type) {
    Label(kOld);
    Label(kNew);
    for (uint32_t v : {0u, checksums, 0xCAFEu, fileEntries, listed, 7u, 68924u, type}) U32(v);
  }
  void Checksum(uint32_t sum, const std::string& label, const std::string& name) {
    U32(sum);
    Label(label);
    Name(name);
  }
  void File(uint32_t op, uint32_t dir, uint32_t oldSum, uint32_t newSum, uint32_t entry, const std::string& name) {
    for (uint32_t v : {static_cast<uint32_t>(name.size()), op, dir, oldSum, newSum, entry}) U32(v);
    Name(name);
  }
};

RawRecord Hotfix() {
  RawRecord r;
  r.Header(3, 2, 2, zfix::UPGRADE_HOTFIX);
  r.Checksum(0x12345678, kOld, "tessra.dll");
  r.Checksum(0xAAAA0001, kNew, "nzorel.dll");
  r.Checksum(0xBBBB0002, kOld, "sig\\pomvi.sf");
  r.File(zfix::FE_REPLACE, zfix::DIR_PROGRAM, 0xBBBB0001, 0xAAAA0001, 16, "nzorel.dll");
  r.File(zfix::FE_PATCH, zfix::DIR_DATA, 0xBBBB0002, 0xAAAA0002, 3, "sig\\pomvi.sf");
  return r;
}

TEST(FixRecord, ReadsAHotfixRecord) {
  RawRecord raw = Hotfix();
  zfix::FIXRECORD rec;
  std::string why;
  ASSERT_TRUE(zfix::ReadFixRecord(raw.bytes.data(), raw.bytes.size(), &rec, &why)) << why;
  EXPECT_EQ(std::string(rec.header.canOldLabel).substr(0, sizeof kOld - 1), kOld);
  EXPECT_EQ(std::strlen(rec.header.canNewLabel), 99u);
  EXPECT_EQ(rec.header.gdwChecksums, 3u);
  EXPECT_EQ(rec.header.dwStringsChecksum, 0xCAFEu);
  EXPECT_EQ(rec.header.dwDataDirSpace, 7u);
  EXPECT_EQ(rec.header.dwProgramSpace, 68924u);
  EXPECT_EQ(rec.header.dwUpgradeType, zfix::UPGRADE_HOTFIX);
  ASSERT_EQ(rec.checksums.size(), 3u);
  EXPECT_EQ(rec.checksums[2].dwChecksum, 0xBBBB0002u);
  EXPECT_STREQ(rec.checksums[2].lpFile, "sig\\pomvi.sf");
  ASSERT_EQ(rec.files.size(), 2u);
  EXPECT_EQ(rec.files[0].dwNameLength, 10u);
  EXPECT_EQ(rec.files[0].dwOperation, zfix::FE_REPLACE);
  EXPECT_EQ(rec.files[0].dwFileEntry, 16u);
  EXPECT_STREQ(rec.files[0].lpFile, "nzorel.dll");
  EXPECT_EQ(rec.files[1].dwDir, zfix::DIR_DATA);
  EXPECT_STREQ(rec.files[1].lpFile, "sig\\pomvi.sf");
  EXPECT_EQ(rec.cbUsed, raw.bytes.size());
}

TEST(FixRecord, WriterReproducesTheRecordByteForByte) {
  RawRecord raw = Hotfix();
  // Odd but legal content must survive too: a label whose byte 99 is not NUL, a stored
  // name length that disagrees with the name.
  raw.bytes[199] = '!';
  zfix::FIXRECORD rec;
  ASSERT_TRUE(zfix::ReadFixRecord(raw.bytes.data(), raw.bytes.size(), &rec));
  EXPECT_EQ(std::strlen(rec.header.canNewLabel), 100u);
  EXPECT_EQ(zfix::WriteFixRecord(rec), raw.bytes);
}

TEST(FixRecord, FileCountDependsOnTheUpgradeType) {
  struct Case {
    uint32_t type, fileEntries, listed, expected;
  } cases[] = {{0, 2, 9, 2}, {1, 9, 2, 2}, {2, 9, 2, 2}};
  for (const Case& c : cases) {
    RawRecord r;
    r.Header(0, c.fileEntries, c.listed, c.type);
    // gdwChecksums 0: the file list starts at offset 232.
    r.File(zfix::FE_REPLACE, 1, 1, 2, 1, "a.dll");
    r.File(zfix::FE_REMOVE, 3, 3, 4, 2, "b.dll");
    zfix::FIXRECORD rec;
    ASSERT_TRUE(zfix::ReadFixRecord(r.bytes.data(), r.bytes.size(), &rec)) << c.type;
    EXPECT_EQ(zfix::NumFiles(rec.header), c.expected);
    ASSERT_EQ(rec.files.size(), 2u);
    EXPECT_EQ(rec.files[0].lpFile, reinterpret_cast<const char*>(r.bytes.data()) + 232 + 24);
  }
}

TEST(FixRecord, RecordRunningPastItsEndIsCorrupt) {
  RawRecord raw = Hotfix();
  for (size_t n = 0; n < raw.bytes.size(); ++n) {
    // An exact-size copy, so that a read past the end is caught by the sanitizers.
    std::vector<uint8_t> cut(raw.bytes.begin(), raw.bytes.begin() + n);
    zfix::FIXRECORD rec;
    std::string why;
    EXPECT_FALSE(zfix::ReadFixRecord(cut.data(), cut.size(), &rec, &why)) << n;
    EXPECT_FALSE(why.empty()) << n;
  }
}

TEST(FixRecord, CountsBeyondTheDataAreCorrupt) {
  struct Case {
    const char* name;
    uint32_t checksums, listed;
  } cases[] = {
      {"checksum table beyond the check-file table", zfix::MAX_CHECKFILES + 1, 0},
      {"checksum count beyond the data", 4, 2},
      {"file count beyond the data", 3, 3},
      {"huge file count", 3, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    RawRecord raw = Hotfix();
    std::vector<uint8_t>& b = raw.bytes;
    for (int i = 0; i < 4; ++i) b[204 + i] = static_cast<uint8_t>(c.checksums >> (8 * i));
    for (int i = 0; i < 4; ++i) b[216 + i] = static_cast<uint8_t>(c.listed >> (8 * i));
    zfix::FIXRECORD rec;
    EXPECT_FALSE(zfix::ReadFixRecord(b.data(), b.size(), &rec)) << c.name;
  }
  zfix::FIXRECORD rec;
  EXPECT_FALSE(zfix::ReadFixRecord(nullptr, 1000, &rec));
}

// Hostile headers: every count is bounded before a reader sizes a table from it (the installer
// keeps one slot per entry number: 0xFFFFFFFF + 1 wraps to none in 32 bits, 0x40000000 exhausts
// memory), and no label holds a '"' that would split the release-string tool's quoted words.
TEST(FixRecord, HostileHeadersAreCorrupt) {
  struct Case {
    const char* name;
    size_t offset;  // of a u32 in the header, or of a byte to set to '"'
    uint32_t value;
    bool quote;
  } cases[] = {
      {"file entries that wrap the entry table", 212, 0xFFFFFFFFu, false},
      {"file entries that exhaust memory", 212, 0x40000000u, false},
      {"file entries one beyond the limit", 212, static_cast<uint32_t>(zfix::MAX_FILE_ENTRIES) + 1, false},
      {"listed files beyond the limit", 216, 0x40000000u, false},
      {"quote in the base label's date", 25, 0, true},
      {"quote in the fix label's release text", 100 + 3, 0, true},
      {"quote in the fix label's fill", 100 + 90, 0, true},
      {"quote in a checksum record's label", 232 + 4 + 30, 0, true},
  };
  for (const Case& c : cases) {
    RawRecord raw = Hotfix();
    std::vector<uint8_t>& b = raw.bytes;
    if (c.quote)
      b[c.offset] = '"';
    else
      for (int i = 0; i < 4; ++i) b[c.offset + i] = static_cast<uint8_t>(c.value >> (8 * i));
    zfix::FIXRECORD rec;
    std::string why;
    EXPECT_FALSE(zfix::ReadFixRecord(b.data(), b.size(), &rec, &why)) << c.name;
    EXPECT_FALSE(why.empty()) << c.name;
  }
}

TEST(FixRecord, CountsAtTheirLimitsAreAccepted) {
  RawRecord raw = Hotfix();
  const uint32_t most = static_cast<uint32_t>(zfix::MAX_FILE_ENTRIES);
  for (int i = 0; i < 4; ++i) raw.bytes[212 + i] = static_cast<uint8_t>(most >> (8 * i));
  zfix::FIXRECORD rec;
  std::string why;
  ASSERT_TRUE(zfix::ReadFixRecord(raw.bytes.data(), raw.bytes.size(), &rec, &why)) << why;
  EXPECT_EQ(rec.header.dwFileEntries, most);

  // Without labels the file list follows dwFileEntries; dwListedFiles is not read.
  RawRecord plain;
  plain.Header(0, 1, 0xFFFFFFFF, zfix::UPGRADE_NONE);
  plain.File(zfix::FE_REPLACE, zfix::DIR_PROGRAM, 1, 2, 1, "nzorel.dll");
  EXPECT_TRUE(zfix::ReadFixRecord(plain.bytes.data(), plain.bytes.size(), &rec, &why)) << why;
}

TEST(FixRecord, ListedByEntryHasASlotPerEntryNumber) {
  RawRecord raw;
  raw.Header(0, 3, 4, zfix::UPGRADE_HOTFIX);
  raw.File(zfix::FE_REPLACE, zfix::DIR_PROGRAM, 1, 2, 2, "a.dll");
  raw.File(zfix::FE_REPLACE, zfix::DIR_PROGRAM, 1, 2, 0, "zero.dll");
  raw.File(zfix::FE_REPLACE, zfix::DIR_PROGRAM, 1, 2, 4, "beyond.dll");
  raw.File(zfix::FE_REPLACE, zfix::DIR_PROGRAM, 1, 2, 2, "b.dll");
  zfix::FIXRECORD rec;
  ASSERT_TRUE(zfix::ReadFixRecord(raw.bytes.data(), raw.bytes.size(), &rec));
  std::vector<const zfix::FILELISTRECORD*> listed = zfix::ListedByEntry(rec);
  ASSERT_EQ(listed.size(), 4u);
  EXPECT_EQ(listed[0], nullptr);
  EXPECT_EQ(listed[1], nullptr);
  ASSERT_NE(listed[2], nullptr);
  EXPECT_STREQ(listed[2]->lpFile, "b.dll");
  EXPECT_EQ(listed[3], nullptr);
}

TEST(FixRecord, TheLargestCheckFileTableIsAccepted) {
  RawRecord r;
  r.Header(zfix::MAX_CHECKFILES, 0, 0, zfix::UPGRADE_HOTFIX);
  for (uint32_t i = 0; i < zfix::MAX_CHECKFILES; ++i) r.Checksum(i, kOld, "f");
  zfix::FIXRECORD rec;
  EXPECT_TRUE(zfix::ReadFixRecord(r.bytes.data(), r.bytes.size(), &rec));
  EXPECT_EQ(rec.checksums.size(), zfix::MAX_CHECKFILES);
}

TEST(Labels, MakeLabelFieldFillsWithBars) {
  char field[zfix::LABEL_SIZE];
  zfix::MakeLabelField(kOld, field);
  EXPECT_EQ(field[99], '\0');
  EXPECT_EQ(std::string(field, 99), std::string(kOld) + std::string(99 - std::strlen(kOld), '|'));
  zfix::MakeLabelField(std::string(150, 'x').c_str(), field);
  EXPECT_EQ(std::string(field), std::string(99, 'x'));
}

TEST(Labels, TrimLabel) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {std::string(kOld) + std::string(13, ' ') + std::string(56, '|'), kOld},
      {std::string(kNew) + "|||||", kNew},
      {"Release 14.5.1FP1|||||||", "Release 14.5.1FP1"},
      {"Release 14.5.1   ||||", "Release 14.5.1"},
      {"Release 14|May 1, 2026   |", "Release 14|May 1, 2026"},
      {"no bar at all  ", "no bar at all  "},
      {"bar last|", "bar last|"},
      {"one bar|and text  ", "one bar|and text  "},
      {"   ||", ""},
      {"|", "|"},
      {"", ""},
  };
  for (const Case& c : cases) {
    char buf[zfix::LABEL_SIZE + 1] = {};
    std::strncpy(buf, c.in.c_str(), zfix::LABEL_SIZE);
    zfix::TrimLabel(buf);
    EXPECT_EQ(std::string(buf), c.out) << '"' << c.in << '"';
  }
}

TEST(Labels, LabelDirName) {
  struct Case {
    std::string label;
    const char* kind;
    std::string out;
  } cases[] = {
      {kNew, "Release 14.5.1FP1 HF21|September 21, 2026", "Release1451FP1HF21"},
      {"Release 14.5.1FP1||||", "", "Release1451FP1"},
      {"Web 2.1 Fix 3|x", "RQA", "Web21Fix3_RQA"},
      {"Web 2.1 RQA3.1|x", "RQA", "Web21RQA31"},
      {"Web 2.1|x", "TDX", "Web21"},
      {"Web 2.1|x", nullptr, "Web21"},
      {std::string(300, 'a'), "RQA", std::string(259, 'a')},
      {std::string(257, 'a'), "RQA", std::string(257, 'a') + "_R"},
  };
  for (const Case& c : cases) {
    char out[zfix::LABEL_DIR_MAX + 1];
    EXPECT_EQ(zfix::LabelDirName(c.label.c_str(), out, c.kind), out);
    EXPECT_EQ(std::string(out), c.out) << c.label;
  }
}

TEST(Labels, IsSameRelease) {
  struct Case {
    const char* current;
    const char* label;
    const char* kind;
    bool same;
  } cases[] = {
      {"Release 14.5.1FP1 HF21|September 21, 2026", "Release 14.5.1FP1 HF21", "", true},  // begins with the label
      {"Release 14.5.1FP1", "Release 14.5.1FP1 HF21|September 21, 2026", "", false},
      {"Release 14.5.1 FP1", "Release 14.5.1FP1|May 21, 2026", "", true},  // the same backup directory
      {"Release 14.5.1FP2", "Release 14.5.1FP1|May 21, 2026", "", false},
      {"Web 2.1 Fix 3_RQA", "Web 2.1 Fix 3|x", "RQA", true},  // the add-on's label gains "_RQA"
      {"Web 2.1 Fix 3_RQA", "Web 2.1 Fix 3|x", "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.same, zfix::IsSameRelease(c.current, c.label, c.kind)) << c.current << " / " << c.label;
}

TEST(CheckFile, BuiltFromAChecksumRecord) {
  zfix::CHECKSUMRECORD r;
  r.dwChecksum = 0x55;
  char field[zfix::LABEL_SIZE];
  zfix::MakeLabelField(kNew, field);
  std::memcpy(r.canLabel, field, zfix::LABEL_SIZE);
  r.canLabel[zfix::LABEL_SIZE] = '\0';
  std::string name = "sig\\tessra.sf";
  r.lpFile = name.c_str();
  zfix::PCHECKFILE p = zfix::NewCheckFile(r);
  EXPECT_STREQ(p->lpFile, "sig\\tessra.sf");
  EXPECT_NE(p->lpFile, name.c_str());
  EXPECT_STREQ(p->canReleaseLabel, kNew);
  EXPECT_EQ(p->dwChecksum, 0x55u);
  EXPECT_EQ(p->bPresent, 0);
  EXPECT_EQ(p->dwDir, 0u);
  EXPECT_EQ(p->dwFileEntry, 0u);
  zfix::FreeCheckFile(p);
}

}  // namespace
