#include "package/patch_find.h"

#include <algorithm>
#include <cstring>

#include "package/file_entry.h"

namespace zfix {

namespace {

constexpr size_t kHashBytes = 8;       // bytes hashed per indexed position
constexpr int kChainCandidates = 24;   // old positions looked at per new position
constexpr uint32_t kDiagonalBias = 8;  // a match off the current diagonal must be this much longer

struct Match {
  uint32_t newPos, oldPos, length;
};

uint32_t HashAt(const uint8_t* p, unsigned bits) {
  uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

uint32_t MatchLength(const uint8_t* a, size_t aLeft, const uint8_t* b, size_t bLeft) {
  size_t n = std::min(aLeft, bLeft);
  size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return static_cast<uint32_t>(i);
}

// Exact matches of new content in the old file, scanning the new file forwards. A match on the
// diagonal of the previous match is preferred, so that the matches of a shifted block of code
// line up even where its content repeats elsewhere.
std::vector<Match> FindMatches(const uint8_t* oldBytes, size_t oldSize, const uint8_t* newBytes, size_t newSize,
                               uint32_t minMatch) {
  std::vector<Match> matches;
  if (oldSize < kHashBytes || newSize < kHashBytes) return matches;
  unsigned bits = 12;
  while (bits < 22 && (size_t{1} << bits) < oldSize) ++bits;
  std::vector<int32_t> head(size_t{1} << bits, -1);
  std::vector<int32_t> prev(oldSize, -1);
  for (size_t p = 0; p + kHashBytes <= oldSize; ++p) {
    uint32_t h = HashAt(oldBytes + p, bits);
    prev[p] = head[h];
    head[h] = static_cast<int32_t>(p);
  }
  int64_t diagonal = 0;
  size_t i = 0;
  while (i + kHashBytes <= newSize) {
    uint32_t bestLength = 0, bestScore = 0;
    size_t bestOld = 0;
    int64_t onDiagonal = static_cast<int64_t>(i) + diagonal;
    if (onDiagonal >= 0 && static_cast<size_t>(onDiagonal) < oldSize) {
      size_t o = static_cast<size_t>(onDiagonal);
      bestLength = MatchLength(oldBytes + o, oldSize - o, newBytes + i, newSize - i);
      bestScore = bestLength + kDiagonalBias;
      bestOld = o;
    }
    if (bestLength < 4 * minMatch) {
      int32_t p = head[HashAt(newBytes + i, bits)];
      for (int k = 0; p >= 0 && k < kChainCandidates; ++k, p = prev[p]) {
        size_t o = static_cast<size_t>(p);
        if (o == bestOld && bestLength) continue;
        uint32_t length = MatchLength(oldBytes + o, oldSize - o, newBytes + i, newSize - i);
        if (length > bestScore) {
          bestLength = length;
          bestScore = length;
          bestOld = o;
        }
      }
    }
    if (bestLength >= minMatch) {
      matches.push_back({static_cast<uint32_t>(i), static_cast<uint32_t>(bestOld), bestLength});
      diagonal = static_cast<int64_t>(bestOld) - static_cast<int64_t>(i);
      i += bestLength;
    } else {
      ++i;
    }
  }
  return matches;
}

// The heaviest chain of matches (by bytes matched) that ascends in both files without overlap.
// The matches come in new-file order and do not overlap there; a prefix-maximum tree over the
// old-file end positions finds each match's best predecessor.
std::vector<Match> AscendingChain(const std::vector<Match>& matches) {
  size_t n = matches.size();
  std::vector<uint32_t> ends(n);
  for (size_t k = 0; k < n; ++k) ends[k] = matches[k].oldPos + matches[k].length;
  std::sort(ends.begin(), ends.end());
  ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
  std::vector<std::pair<uint64_t, int64_t>> tree(ends.size() + 1, {0, -1});  // (weight, match)
  std::vector<uint64_t> weight(n);
  std::vector<int64_t> from(n, -1);
  for (size_t k = 0; k < n; ++k) {
    const Match& m = matches[k];
    // Predecessors end at or before m.oldPos.
    size_t q = std::upper_bound(ends.begin(), ends.end(), m.oldPos) - ends.begin();
    std::pair<uint64_t, int64_t> best{0, -1};
    for (size_t x = q; x > 0; x -= x & (~x + 1))
      if (tree[x].first > best.first) best = tree[x];
    weight[k] = best.first + m.length;
    from[k] = best.second;
    size_t e = std::lower_bound(ends.begin(), ends.end(), m.oldPos + m.length) - ends.begin() + 1;
    for (size_t x = e; x < tree.size(); x += x & (~x + 1))
      if (weight[k] > tree[x].first) tree[x] = {weight[k], static_cast<int64_t>(k)};
  }
  int64_t last = -1;
  uint64_t lastWeight = 0;
  for (size_t k = 0; k < n; ++k)
    if (weight[k] > lastWeight) lastWeight = weight[k], last = static_cast<int64_t>(k);
  std::vector<Match> chain;
  for (int64_t k = last; k >= 0; k = from[k]) chain.push_back(matches[k]);
  std::reverse(chain.begin(), chain.end());
  return chain;
}

}  // namespace

std::vector<PatchRegion> AlignFiles(const uint8_t* oldBytes, size_t oldSize, const uint8_t* newBytes, size_t newSize,
                                    const PatchFindOptions& options) {
  uint32_t minMatch = std::max<uint32_t>(options.minMatch, kHashBytes);
  std::vector<Match> chain = AscendingChain(FindMatches(oldBytes, oldSize, newBytes, newSize, minMatch));
  chain.push_back({static_cast<uint32_t>(newSize), static_cast<uint32_t>(oldSize), 0});

  // The gaps between the chain's matches, each region kept on the diagonal of the match before
  // it through equal runs shorter than mergeGap as long as it has not changed diagonal itself.
  std::vector<PatchRegion> regions;
  uint32_t oldAt = 0, newAt = 0;
  for (const Match& m : chain) {
    if (m.oldPos > oldAt || m.newPos > newAt) {
      PatchRegion r{oldAt, newAt, m.oldPos - oldAt, m.newPos - newAt};
      if (!regions.empty()) {
        PatchRegion& last = regions.back();
        uint32_t equalRun = r.newOffset - (last.newOffset + last.newLength);
        if (last.oldLength == last.newLength && equalRun < options.mergeGap) {
          last.oldLength = r.oldOffset + r.oldLength - last.oldOffset;
          last.newLength = r.newOffset + r.newLength - last.newOffset;
          r.oldLength = 0;
          r.newLength = 0;
        }
      }
      if (r.oldLength || r.newLength) regions.push_back(r);
    }
    oldAt = m.oldPos + m.length;
    newAt = m.newPos + m.length;
  }

  // A region that only inserts at the start of the old file would end a revert at once: it takes
  // the first equal byte after it along (there is one unless the old file is empty).
  if (!regions.empty() && regions[0].oldOffset == 0 && regions[0].oldLength == 0 && oldSize > 0) {
    regions[0].oldLength = 1;
    regions[0].newLength += 1;
  }
  return regions;
}

bool FindPatch(const uint8_t* oldBytes, size_t oldSize, const uint8_t* newBytes, size_t newSize,
               std::vector<uint8_t>* stream, uint32_t* count, const PatchFindOptions& options) {
  stream->clear();
  *count = 0;
  if (oldSize == 0 || oldSize > kMaxPatchInput || newSize > kMaxPatchInput) return false;
  std::vector<PatchRegion> regions = AlignFiles(oldBytes, oldSize, newBytes, newSize, options);
  if (regions.empty()) return false;
  for (const PatchRegion& r : regions)
    AppendPatchRegion(*stream, r.oldOffset, oldBytes + r.oldOffset, r.oldLength, r.newOffset, newBytes + r.newOffset,
                      r.newLength);
  *count = static_cast<uint32_t>(regions.size());
  return true;
}

}  // namespace zfix
