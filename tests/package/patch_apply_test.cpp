// The patch applier: whole files, patch streams forwards and backwards, the list-ending records,
// the gauge, and payloads that end inside a record.
#include "package/patch_apply.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/byte_io.h"
#include "package/file_entry.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Range(size_t n, uint8_t first = 0) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(first + i);
  return b;
}

void Header(Bytes& out, uint32_t oldOffset, uint32_t newOffset, uint32_t oldLength, uint32_t newLength) {
  for (uint32_t v : {0u, oldOffset, newOffset, oldLength, newLength}) zfix::PutLe32(out, v);
}

zfix::FILEENTRY PatchEntry(uint32_t oldSize, uint32_t newSize, uint32_t count) {
  zfix::FILEENTRY e = {};
  e.dwOperation = zfix::FE_PATCH;
  e.dwDir = zfix::DIR_PROGRAM;
  e.dwOldSize = oldSize;
  e.dwNewSize = newSize;
  e.dwPatchCount = count;
  return e;
}

struct Outcome {
  zfix::PatchOutcome outcome;
  Bytes out;
};

Outcome Apply(const zfix::FILEENTRY& e, bool revert, const Bytes& payload, const Bytes& installed) {
  Outcome r;
  r.outcome = zfix::ApplyFileUpdate(e, revert, payload.data(), payload.size(), installed.data(), installed.size(), &r.out);
  return r;
}

// The 20-byte file: 4 bytes at offset 10 become 6 (the first 4 as XOR with the old bytes, the
// last 2 as stored), giving 22 bytes; the same stream turns them back.
TEST(PatchApply, RegionAtTenTurnsTwentyBytesIntoTwentyTwoAndBack) {
  Bytes oldFile = Range(20, 0x40);
  Bytes fresh = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5};
  Bytes newFile(oldFile.begin(), oldFile.begin() + 10);
  newFile.insert(newFile.end(), fresh.begin(), fresh.end());
  newFile.insert(newFile.end(), oldFile.begin() + 14, oldFile.end());
  ASSERT_EQ(newFile.size(), 22u);

  Bytes stream;
  Header(stream, 10, 10, 4, 6);
  for (int i = 0; i < 4; ++i) stream.push_back(oldFile[10 + i] ^ fresh[i]);
  stream.push_back(0xA4);
  stream.push_back(0xA5);
  zfix::FILEENTRY e = PatchEntry(20, 22, 1);

  Outcome up = Apply(e, false, stream, oldFile);
  EXPECT_EQ(up.outcome, zfix::PatchOutcome::Applied);
  EXPECT_EQ(up.out, newFile);
  Outcome back = Apply(e, true, stream, newFile);
  EXPECT_EQ(back.outcome, zfix::PatchOutcome::Applied);
  EXPECT_EQ(back.out, oldFile);
}

// An insertion at offset 0 is applied forwards, but ends the list at once backwards: the revert
// copies the installed file through up to the old size, which the final checksum then rejects.
TEST(PatchApply, InsertionAtZeroUpgradesButEndsTheRevertAtOnce) {
  Bytes oldFile = Range(12, 1);
  Bytes stream;
  Header(stream, 0, 0, 0, 3);
  stream.insert(stream.end(), {0xE0, 0xE1, 0xE2});
  zfix::FILEENTRY e = PatchEntry(12, 15, 1);

  Bytes newFile = {0xE0, 0xE1, 0xE2};
  newFile.insert(newFile.end(), oldFile.begin(), oldFile.end());
  EXPECT_EQ(Apply(e, false, stream, oldFile).out, newFile);

  Outcome back = Apply(e, true, stream, newFile);
  EXPECT_EQ(back.outcome, zfix::PatchOutcome::Applied);
  EXPECT_EQ(back.out, Bytes(newFile.begin(), newFile.begin() + 12));
  EXPECT_NE(back.out, oldFile);
}

// Several records, with deletions, insertions and XOR regions, in both directions; one
// record's difference bytes are the deleted old bytes as they are.
TEST(PatchApply, RecordsInBothDirections) {
  Bytes oldFile = Range(40, 0x10);
  Bytes stream;
  Header(stream, 2, 2, 3, 0);  // delete old 2..4
  stream.insert(stream.end(), oldFile.begin() + 2, oldFile.begin() + 5);
  Header(stream, 10, 7, 0, 4);  // insert 4 bytes
  stream.insert(stream.end(), {9, 8, 7, 6});
  Header(stream, 20, 21, 2, 2);  // change 2 bytes
  stream.insert(stream.end(), {0xFF, 0x01});
  zfix::FILEENTRY e = PatchEntry(40, 41, 3);

  Bytes newFile(oldFile.begin(), oldFile.begin() + 2);
  newFile.insert(newFile.end(), oldFile.begin() + 5, oldFile.begin() + 10);
  newFile.insert(newFile.end(), {9, 8, 7, 6});
  newFile.insert(newFile.end(), oldFile.begin() + 10, oldFile.begin() + 20);
  newFile.push_back(oldFile[20] ^ 0xFF);
  newFile.push_back(oldFile[21] ^ 0x01);
  newFile.insert(newFile.end(), oldFile.begin() + 22, oldFile.end());

  EXPECT_EQ(Apply(e, false, stream, oldFile).out, newFile);
  EXPECT_EQ(Apply(e, true, stream, newFile).out, oldFile);
}

// A record whose output-side offset and length are both 0 ends the list; the rest of the
// installed file is copied through. Upgrades test it from the second record on.
TEST(PatchApply, EndingRecordCopiesTheRestThrough) {
  Bytes oldFile = Range(16, 0x30);
  Bytes stream;
  Header(stream, 4, 4, 1, 1);
  stream.push_back(0x0F);
  Header(stream, 0, 0, 0, 0);
  Header(stream, 8, 8, 1, 1);  // never reached
  stream.push_back(0xF0);
  zfix::FILEENTRY e = PatchEntry(16, 16, 3);
  Bytes expected = oldFile;
  expected[4] ^= 0x0F;
  EXPECT_EQ(Apply(e, false, stream, oldFile).out, expected);
  EXPECT_EQ(Apply(e, true, stream, expected).out, oldFile);
}

// A shorter installed file does not stop the walk: the output still has the expected size.
TEST(PatchApply, ShortInstalledFileStillFillsTheOutput) {
  Bytes stream;
  Header(stream, 2, 2, 1, 1);
  stream.push_back(0x55);
  zfix::FILEENTRY e = PatchEntry(10, 10, 1);
  Outcome r = Apply(e, false, stream, Range(5));
  EXPECT_EQ(r.outcome, zfix::PatchOutcome::Applied);
  EXPECT_EQ(r.out.size(), 10u);
}

// Payloads that end inside a header or inside difference bytes, and a revert record that lies
// behind the output position, stop the walk instead of reading past the payload or looping.
TEST(PatchApply, DamagedStreamsAreReportedNotFollowed) {
  Bytes full;
  Header(full, 4, 4, 2, 6);
  full.insert(full.end(), {1, 2, 3, 4, 5, 6});
  Bytes backwards = full;
  Header(backwards, 1, 5, 1, 1);
  backwards.push_back(7);
  struct Case {
    const char* what;
    Bytes stream;
    uint32_t count;
    bool revert;
  } cases[] = {
      {"empty payload", {}, 1, false},
      {"header cut short", Bytes(full.begin(), full.begin() + 12), 1, true},
      {"difference bytes cut short", Bytes(full.begin(), full.end() - 1), 1, false},
      {"second header missing", full, 2, false},
      {"revert record behind the position", backwards, 2, true},
  };
  for (const Case& c : cases) {
    zfix::FILEENTRY e = PatchEntry(32, 36, c.count);
    Bytes installed = Range(c.revert ? 36 : 32);
    EXPECT_EQ(Apply(e, c.revert, c.stream, installed).outcome, zfix::PatchOutcome::Corrupt) << c.what;
  }
}

// A record may not make the output longer than the entry states: a lying offset or length would
// otherwise have the walk copy (up to 4 GiB of zeros) far beyond it. Such a stream is corrupt,
// and nothing beyond the stated size is written.
TEST(PatchApply, RecordsBeyondTheOutputSizeAreCorrupt) {
  struct Case {
    const char* what;
    uint32_t oldOffset, newOffset, oldLength, newLength;
    bool revert;
  } cases[] = {
      {"copy bound far beyond the new size", 0x7FFFFFF0u, 0x7FFFFFF0u, 1, 1, false},
      {"copy bound of an ending record beyond the new size", 0xFFFFFF00u, 0, 0, 0, false},
      {"region longer than the rest of the output", 30, 30, 1, 8, false},
      {"copy bound far beyond the old size", 0x7FFFFFF0u, 0x7FFFFFF0u, 1, 1, true},
      {"revert region longer than the rest of the output", 30, 30, 8, 1, true},
  };
  for (const Case& c : cases) {
    Bytes stream;
    Header(stream, c.oldOffset, c.newOffset, c.oldLength, c.newLength);
    stream.resize(stream.size() + std::max(c.oldLength, c.newLength), 0x5A);
    zfix::FILEENTRY e = PatchEntry(32, 32, 1);
    Outcome r = Apply(e, c.revert, stream, Range(32));
    EXPECT_EQ(r.outcome, zfix::PatchOutcome::Corrupt) << c.what;
    EXPECT_LE(r.out.size(), 32u) << c.what;
  }
}

// Only FE_PATCH is applied as a patch stream: a removal, an old-fix entry or an unknown code
// writes nothing.
TEST(PatchApply, OperationsOutsideTheFormatAreRefused) {
  Bytes stream;
  Header(stream, 4, 4, 1, 1);
  stream.push_back(1);
  for (uint32_t op : {0u, zfix::FE_REMOVE, zfix::FE_OLDFIX, 5u, 0xFFFFFFFFu}) {
    zfix::FILEENTRY e = PatchEntry(32, 32, 1);
    e.dwOperation = op;
    for (bool revert : {false, true}) {
      Outcome r = Apply(e, revert, stream, Range(32));
      EXPECT_EQ(r.outcome, zfix::PatchOutcome::Refused) << op;
      EXPECT_TRUE(r.out.empty()) << op;
    }
  }
}

// Copies run in large blocks, yet the gauge still gets every kilobyte position in order.
TEST(PatchApply, LargeFilesGiveEveryKilobytePosition) {
  const uint32_t size = 300 * 1024 + 17;
  Bytes installed = Range(size, 3), stream;
  Header(stream, 200000, 200000, 2, 2);
  stream.insert(stream.end(), {0xFF, 0xFF});
  zfix::FILEENTRY e = PatchEntry(size, size, 1);
  struct Positions : zfix::PatchGauge {
    std::vector<uint32_t> pos;
    void SetRange(uint32_t) override {}
    void SetPos(uint32_t p) override { pos.push_back(p); }
  } g;
  Bytes out;
  ASSERT_EQ(zfix::ApplyFileUpdate(e, false, stream.data(), stream.size(), installed.data(), installed.size(), &out, &g),
            zfix::PatchOutcome::Applied);
  Bytes expected = installed;
  expected[200000] ^= 0xFF;
  expected[200001] ^= 0xFF;
  EXPECT_EQ(out, expected);
  ASSERT_EQ(g.pos.size(), size / 1024 + 1);
  for (uint32_t k = 0; k <= size / 1024; ++k) EXPECT_EQ(g.pos[k], k);
}

TEST(PatchApply, WholeFilesAreCopiedOnUpgradeOnly) {
  Bytes payload = Range(3000, 7);
  zfix::FILEENTRY e = PatchEntry(0, 3000, 0);
  e.dwOperation = zfix::FE_REPLACE;
  Outcome up = Apply(e, false, payload, {});
  EXPECT_EQ(up.outcome, zfix::PatchOutcome::Applied);
  EXPECT_EQ(up.out, payload);
  EXPECT_TRUE(Apply(e, true, payload, payload).out.empty());
  e.dwNewSize = 3001;
  EXPECT_EQ(Apply(e, false, payload, {}).outcome, zfix::PatchOutcome::Corrupt);
}

TEST(PatchApply, InstalledFileMustMatchTheSideItStartsFrom) {
  zfix::FILEENTRY e = PatchEntry(20, 22, 1);
  e.dwOldChecksum = 0x1111;
  e.dwNewChecksum = 0x2222;
  EXPECT_TRUE(zfix::InstalledFileFits(e, false, 20, 0x1111));
  EXPECT_FALSE(zfix::InstalledFileFits(e, false, 21, 0x1111));  // one byte longer
  EXPECT_FALSE(zfix::InstalledFileFits(e, false, 20, 0x2222));
  EXPECT_TRUE(zfix::InstalledFileFits(e, true, 22, 0x2222));
  EXPECT_FALSE(zfix::InstalledFileFits(e, true, 20, 0x1111));
  e.dwOperation = zfix::FE_REPLACE;
  EXPECT_TRUE(zfix::InstalledFileFits(e, false, 5, 0));
}

struct GaugeLog : zfix::PatchGauge {
  std::string text;
  void SetRange(uint32_t r) override { text += "R" + std::to_string(r) + " "; }
  void SetPos(uint32_t p) override { text += "P" + std::to_string(p) + " "; }
};

// Range: the size up to 1024 bytes, else size/1024; positions at every 1024 copied bytes; a
// changed region itself moves nothing; the last message sets the position to the size, or the
// range again above 1024 bytes.
TEST(PatchApply, GaugeFollowsTheOutputInKilobytes) {
  struct Case {
    uint32_t size;
    const char* patched;
    const char* whole;
  } cases[] = {
      {1024, "R1024 P0 P1024 ", "R1024 P0 P0 "},
      {1025, "R1 P0 P1 R1 ", "R1 P0 P0 P1 "},
      {2048, "R2 P0 P1 R2 ", "R2 P0 P0 P1 "},
  };
  for (const Case& c : cases) {
    Bytes stream;
    Header(stream, c.size - 1, c.size - 1, 1, 1);
    stream.push_back(1);
    zfix::FILEENTRY e = PatchEntry(c.size, c.size, 1);
    Bytes installed(c.size), out;
    GaugeLog g;
    zfix::ApplyFileUpdate(e, false, stream.data(), stream.size(), installed.data(), installed.size(), &out, &g);
    EXPECT_EQ(g.text, c.patched) << c.size;
    GaugeLog w;
    e.dwOperation = zfix::FE_REPLACE;
    zfix::ApplyFileUpdate(e, false, installed.data(), installed.size(), nullptr, 0, &out, &w);
    EXPECT_EQ(w.text, c.whole) << c.size;
  }
}

}  // namespace
