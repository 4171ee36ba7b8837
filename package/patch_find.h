// Finding a patch stream between two versions of a file (the package builder's side of
// patch_apply.h).
//
//   std::vector<uint8_t> stream; uint32_t count;
//   zfix::FindPatch(oldBytes, oldSize, newBytes, newSize, &stream, &count);
//
// The stream aligns the two files: its regions follow each other in ascending order on both
// sides and the bytes between them are equal, so it can only follow shifts that keep the order
// of the content (a rebuilt binary moves its code and data but keeps their order). The finder
// looks for long exact matches of new content in the old file, keeps the heaviest chain of
// matches that ascends on both sides, and turns the gaps between the chain's matches into
// regions; a changed region stays on its diagonal through short runs of equal bytes, whose XOR
// is zero and compresses to almost nothing, instead of paying a record header for each. Short
// matches off the diagonals of the matches around them are dropped where comparing their bytes
// costs less than the jumps. Each gap between the chain's matches is aligned byte by byte within
// a band of diagonals around those of the matches at its ends, at the least estimated cost of
// differing compared bytes, bytes sent as they are and records: a rebuilt binary's code moves
// by a few bytes at one instruction and back at the next while every address in it changes,
// which leaves no exact match long enough to follow. A gap too large for that is split between
// its two diagonals where the fewest compared bytes differ.
//
// The stream never holds a record that the appliers would take for the end of the list: no
// region inserts bytes at offset 0 of the old file (the revert would stop there), and no region
// after the first is empty on the new side at offset 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zfix {

// Larger files are not patched (the index of the old file takes 4 bytes per byte): they travel
// whole.
constexpr size_t kMaxPatchInput = size_t{256} << 20;

struct PatchFindOptions {
  // Equal runs shorter than this stay inside a changed region (as zero XOR bytes): a record
  // header costs more than a kilobyte of zeros imploded (bench/patch_bench.sh).
  uint32_t mergeGap = 1024;
  // Shortest exact match that the alignment may follow.
  uint32_t minMatch = 12;
  // What a record is taken to cost (bytes, compressed) when a match off its neighbours'
  // diagonals is weighed against comparing its bytes, and those up to the next match, on the
  // diagonal before it. The estimate is rough: a lower value keeps more such matches.
  uint32_t excursionCost = 8;
  // Diagonals beyond those of the matches around a gap that its byte-by-byte alignment may
  // take; 0 leaves each gap on the diagonals of its matches.
  uint32_t band = 64;
};

// The match search depth (ImplodeOptions::searchDepth) that patch streams are compressed with.
// A stream of XOR bytes is mostly runs of zeros with a few bytes between them: the match trees
// of such data grow deep, and the default depth cuts off most of what a deeper search finds
// (bench/patch_bench.sh: about 3% smaller patches of shared libraries, for a quarter more time).
constexpr unsigned kPatchSearchDepth = 64;

// The alignments that the package builder tries on a changed file, keeping the one whose patch
// stream compresses smallest (longer matches win on rebuilt PE images, bench/real_pair_bench.sh,
// and lose badly on one of the pairs of bench/patch_bench.sh). The last leaves every gap on the
// diagonals of its matches: where a gap holds unrelated bytes, the byte alignment only finds
// chance matches in them, whose records cost more than they save (bench/gap_pair_bench.sh).
inline std::vector<PatchFindOptions> PatchAlignments() {
  PatchFindOptions longerMatches;
  longerMatches.minMatch = 24;
  PatchFindOptions onDiagonals;
  onDiagonals.band = 0;
  return {PatchFindOptions(), longerMatches, onDiagonals};
}

// One changed region of the alignment (offsets and lengths as in a patch record).
struct PatchRegion {
  uint32_t oldOffset, newOffset, oldLength, newLength;
};

// The regions that turn old into new. Empty when the files are equal.
std::vector<PatchRegion> AlignFiles(const uint8_t* oldBytes, size_t oldSize, const uint8_t* newBytes, size_t newSize,
                                    const PatchFindOptions& options = {});

// The patch stream of those regions; *count is the number of records. False when the files are
// equal or the old file is empty (nothing for a patch to work from), or when a file is larger
// than kMaxPatchInput.
bool FindPatch(const uint8_t* oldBytes, size_t oldSize, const uint8_t* newBytes, size_t newSize,
               std::vector<uint8_t>* stream, uint32_t* count, const PatchFindOptions& options = {});

}  // namespace zfix
