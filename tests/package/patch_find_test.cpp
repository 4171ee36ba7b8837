// The patch finder: every stream it finds turns the old file into the new one and back through
// the applier, and it follows shifted content instead of rewriting it.
#include "package/patch_find.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "package/file_entry.h"
#include "package/implode.h"
#include "package/patch_apply.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Random(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng() % 64);  // compressible, like code
  return b;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

// A stand-in for a rebuilt binary: blocks moved by insertions and deletions, with a changed
// 4-byte word every 64 bytes in the shifted part (as relocated addresses would be).
Bytes Rebuilt(const Bytes& old, unsigned seed) {
  Bytes b = Cat({Slice(old, 0, 5000), Random(300, seed), Slice(old, 5000, 20000), Slice(old, 25200, old.size() - 25200)});
  for (size_t i = 6000; i + 4 < b.size(); i += 64) b[i] ^= 0x5A;
  return b;
}

// The bytes with one in eight changed, as the addresses of a rebuilt binary are: no exact
// match of 8 bytes or more is left.
Bytes Scattered(Bytes b) {
  for (size_t i = 3; i < b.size(); i += 8) b[i] ^= 0x40;
  return b;
}

// Bytes that differ where the regions compare old and new.
size_t DifferingCompared(const Bytes& oldFile, const Bytes& newFile, const std::vector<zfix::PatchRegion>& regions) {
  size_t n = 0;
  for (const zfix::PatchRegion& r : regions)
    for (uint32_t i = 0; i < std::min(r.oldLength, r.newLength); ++i)
      n += oldFile[r.oldOffset + i] != newFile[r.newOffset + i];
  return n;
}

void ExpectRoundTrip(const Bytes& oldFile, const Bytes& newFile, const char* what) {
  Bytes stream;
  uint32_t count = 0;
  ASSERT_TRUE(zfix::FindPatch(oldFile.data(), oldFile.size(), newFile.data(), newFile.size(), &stream, &count)) << what;
  zfix::FILEENTRY e = {};
  e.dwOperation = zfix::FE_PATCH;
  e.dwOldSize = static_cast<uint32_t>(oldFile.size());
  e.dwNewSize = static_cast<uint32_t>(newFile.size());
  e.dwPatchCount = count;
  Bytes up, back;
  EXPECT_EQ(zfix::ApplyFileUpdate(e, false, stream.data(), stream.size(), oldFile.data(), oldFile.size(), &up),
            zfix::PatchOutcome::Applied) << what;
  EXPECT_TRUE(up == newFile) << what;
  EXPECT_EQ(zfix::ApplyFileUpdate(e, true, stream.data(), stream.size(), newFile.data(), newFile.size(), &back),
            zfix::PatchOutcome::Applied) << what;
  EXPECT_TRUE(back == oldFile) << what;
}

TEST(PatchFind, StreamsTurnOldIntoNewAndBack) {
  Bytes base = Random(40000, 1);
  struct Case {
    const char* what;
    Bytes oldFile, newFile;
  } cases[] = {
      {"one byte changed", base, [&] { Bytes b = base; b[777] ^= 1; return b; }()},
      {"bytes inserted at the start", base, Cat({Random(50, 2), base})},
      {"bytes removed at the start", base, Slice(base, 30, base.size() - 30)},
      {"first byte changed", base, [&] { Bytes b = base; b[0] ^= 1; return b; }()},
      {"appended", base, Cat({base, Random(999, 3)})},
      {"truncated", base, Slice(base, 0, 30000)},
      {"rebuilt", base, Rebuilt(base, 4)},
      {"unrelated", base, Random(1000, 5)},
      {"new file empty", base, {}},
      {"tiny old file", {7}, Random(100, 6)},
      {"runs of zeros", Cat({Bytes(5000, 0), base, Bytes(5000, 0)}), Cat({Bytes(4000, 0), base, Bytes(7000, 0)})},
      {"shifted at the start through changed bytes", base, Cat({Random(3, 12), Scattered(base)})},
      {"shrunk at the start through changed bytes", base, Scattered(Slice(base, 3, base.size() - 3))},
      {"changed everywhere, too long to align byte by byte", Random(300000, 13),
       [] {
         Bytes b = Random(300000, 13);
         b.insert(b.begin() + 150000, 5, 9);
         return Scattered(b);
       }()},
  };
  for (const Case& c : cases) ExpectRoundTrip(c.oldFile, c.newFile, c.what);
}

// Random edits anywhere (at the start and the end too), on files from a few bytes to a few
// kilobytes: every stream the finder produces must work both ways.
TEST(PatchFind, RandomEditsRoundTrip) {
  for (unsigned seed = 1; seed <= 200; ++seed) {
    std::mt19937 rng(seed);
    Bytes oldFile = Random(rng() % (seed < 50 ? 40 : 4000) + 1, seed);
    Bytes newFile = oldFile;
    for (unsigned k = rng() % 6 + 1; k > 0; --k) {
      size_t at = newFile.empty() ? 0 : rng() % (newFile.size() + 1);
      size_t n = rng() % 40 + 1;
      switch (rng() % 3) {
        case 0: newFile.insert(newFile.begin() + at, n, static_cast<uint8_t>(rng())); break;
        case 1: newFile.erase(newFile.begin() + at, newFile.begin() + std::min(newFile.size(), at + n)); break;
        default:
          for (size_t i = at; i < std::min(newFile.size(), at + n); ++i) newFile[i] ^= static_cast<uint8_t>(rng() | 1);
      }
    }
    if (newFile == oldFile) continue;
    ExpectRoundTrip(oldFile, newFile, ("seed " + std::to_string(seed)).c_str());
  }
}

TEST(PatchFind, NothingToPatchFromOrToChange) {
  Bytes base = Random(1000, 7), stream;
  uint32_t count = 1;
  EXPECT_FALSE(zfix::FindPatch(base.data(), base.size(), base.data(), base.size(), &stream, &count));
  EXPECT_FALSE(zfix::FindPatch(nullptr, 0, base.data(), base.size(), &stream, &count));
  EXPECT_EQ(count, 0u);
}

// The alignment follows the moved blocks: the patch of a rebuilt file compresses to a small
// part of the new file compressed whole, unlike a positional comparison of the two files.
TEST(PatchFind, FollowsShiftedContent) {
  Bytes base = Random(60000, 8);
  Bytes rebuilt = Rebuilt(base, 9);
  Bytes stream;
  uint32_t count = 0;
  ASSERT_TRUE(zfix::FindPatch(base.data(), base.size(), rebuilt.data(), rebuilt.size(), &stream, &count));
  size_t patch = zfix::MakeCompressedResource(stream.data(), stream.size()).size();
  size_t whole = zfix::MakeCompressedResource(rebuilt.data(), rebuilt.size()).size();
  EXPECT_LT(patch * 4, whole) << patch << " vs " << whole;
}

// A changed block that also grew (no exact match inside it to follow) is compared on the old
// diagonal up to the insertion and on the new one after it: the inserted bytes travel as they
// are at their own place (the tail of the region that compares the bytes before them) instead
// of shifting every compared byte after them.
TEST(PatchFind, GrownBlockIsSplitAtTheInsertion) {
  Bytes before = Random(4000, 20), block = Random(600, 21), after = Random(4000, 22);
  Bytes changed = block;
  for (size_t i = 0; i < changed.size(); i += 9) changed[i] ^= 0x40;  // no 12 equal bytes in a row
  Bytes inserted = Random(50, 23);
  Bytes grown = Cat({Slice(changed, 0, 250), inserted, Slice(changed, 250, 350)});
  Bytes oldFile = Cat({before, block, after}), newFile = Cat({before, grown, after});
  std::vector<zfix::PatchRegion> regions = zfix::AlignFiles(oldFile.data(), oldFile.size(), newFile.data(), newFile.size());
  bool insertionInPlace = false;
  for (const zfix::PatchRegion& r : regions)
    if (r.oldOffset + r.oldLength == 4000 + 250 && r.newOffset + r.newLength == 4000 + 300 &&
        r.newLength == r.oldLength + 50)
      insertionInPlace = true;
  EXPECT_TRUE(insertionInPlace);
  ExpectRoundTrip(oldFile, newFile, "grown block");
}

// A short piece of content that also occurs far away in the old file (in a part the new file
// drops) does not pull the alignment there and back: no equal run follows its diagonal.
TEST(PatchFind, ShortMatchesFarAwayAreNotFollowed) {
  Bytes piece = Random(16, 30);
  Bytes dropped = Cat({Random(500, 31), piece, Random(484, 32)});
  Bytes middle = Random(3000, 33), tail = Random(3000, 34);
  Bytes base = Cat({Random(3000, 35), middle, dropped, tail});
  Bytes changed = middle;
  for (size_t i = 0; i < changed.size(); i += 7) changed[i] ^= 0x21;
  std::copy(piece.begin(), piece.end(), changed.begin() + 1000);
  Bytes newFile = Cat({Slice(base, 0, 3000), changed, tail});
  std::vector<zfix::PatchRegion> regions = zfix::AlignFiles(base.data(), base.size(), newFile.data(), newFile.size());
  const int64_t farDiagonal = (6000 + 500) - (3000 + 1000);
  uint32_t oldAt = 0, newAt = 0;
  for (const zfix::PatchRegion& r : regions) {
    if (r.newOffset > newAt) {  // an equal run from (oldAt, newAt)
      EXPECT_NE(static_cast<int64_t>(oldAt) - newAt, farDiagonal) << "equal run at new offset " << newAt;
    }
    oldAt = r.oldOffset + r.oldLength;
    newAt = r.newOffset + r.newLength;
  }
  ExpectRoundTrip(base, newFile, "far piece");
}

// An insertion at the start never becomes a record that only inserts at old offset 0.
// Content moved by a few bytes and back again further on: the only exact match where it moved
// is short and nearly periodic (it compares almost equal on the old diagonal too), and a
// stretch with scattered changes follows it. The stretch is compared where it moved to, not
// on the diagonal before the move, where nearly all of it differs.
TEST(PatchFind, StretchAfterAShortMatchFollowsTheMove) {
  Bytes a = Random(3000, 40), b = Random(3000, 41), c = Random(3000, 42);
  Bytes periodic;
  for (int i = 0; i < 16; ++i) periodic.push_back(static_cast<uint8_t>(200 + i % 4));
  periodic[6] = 250;
  Bytes oldFile = Cat({a, periodic, b, c});
  Bytes changed = b;
  for (size_t i = 0; i < changed.size(); i += 7) changed[i] ^= 0x21;
  Bytes newFile = Cat({a, Bytes{1, 2, 3, 4}, periodic, changed, Slice(c, 4, c.size() - 4)});
  for (const zfix::PatchFindOptions& options : zfix::PatchAlignments()) {
    Bytes stream;
    uint32_t count = 0;
    ASSERT_TRUE(zfix::FindPatch(oldFile.data(), oldFile.size(), newFile.data(), newFile.size(), &stream, &count, options));
    // One byte in seven of the stretch differs where it moved to.
    size_t nonZero = static_cast<size_t>(std::count_if(stream.begin(), stream.end(), [](uint8_t x) { return x != 0; }));
    EXPECT_LT(nonZero, b.size() / 4) << "min match " << options.minMatch << ", " << count << " records";
  }
  ExpectRoundTrip(oldFile, newFile, "moved and back");
}

// Code moved by a few bytes at one place and back at another, with every address in it changed:
// no exact match is long enough to anchor the move, yet the stretch is compared where it moved
// to, with an insertion and a deletion around it, and not on the diagonal of the blocks around
// it, where nearly every byte of it differs.
TEST(PatchFind, MoveWithoutExactMatchesIsFollowed) {
  Bytes a = Random(4000, 50), moved = Random(3000, 51), c = Random(4000, 52);
  Bytes oldFile = Cat({a, moved, c});
  Bytes newFile = Cat({a, Scattered(Slice(moved, 0, 1000)), Bytes{7, 7, 7}, Scattered(Slice(moved, 1000, 1000)),
                       Scattered(Slice(moved, 2003, 997)), c});
  for (const zfix::PatchFindOptions& options : zfix::PatchAlignments()) {
    if (options.band == 0) continue;  // gaps stay on their matches' diagonals by design
    std::vector<zfix::PatchRegion> regions =
        zfix::AlignFiles(oldFile.data(), oldFile.size(), newFile.data(), newFile.size(), options);
    // One byte in eight of the 3,000 differs where it moved to.
    EXPECT_LT(DifferingCompared(oldFile, newFile, regions), 400u) << "min match " << options.minMatch;
  }
  ExpectRoundTrip(oldFile, newFile, "moved without exact matches");
}

TEST(PatchFind, NoRecordEndsTheRevertAtTheStart) {
  Bytes base = Random(2000, 10);
  // Inserted bytes at the start, before an exact match or before changed bytes that the
  // alignment compares byte by byte.
  for (const Bytes& grown : {Cat({Random(40, 11), base}), Cat({Random(3, 12), Scattered(base)})}) {
    std::vector<zfix::PatchRegion> regions = zfix::AlignFiles(base.data(), base.size(), grown.data(), grown.size());
    ASSERT_FALSE(regions.empty());
    for (const zfix::PatchRegion& r : regions) EXPECT_FALSE(r.oldOffset == 0 && r.oldLength == 0);
    ExpectRoundTrip(base, grown, "inserted at the start");
  }
}

}  // namespace
