#include "package/patch_find.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "package/file_entry.h"

namespace zfix {

namespace {

constexpr size_t kHashBytes = 8;       // bytes hashed per indexed position
constexpr int kChainCandidates = 24;   // old positions looked at per new position
constexpr uint32_t kDiagonalBias = 8;  // a match off the current diagonal must be this much longer
constexpr uint32_t kRecordCost = 12;    // a record header, compressed, in bytes (about)
constexpr uint32_t kGapCompared = 1 << 16;  // bytes after an excursion compared on both diagonals, at most

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

int64_t Diagonal(const Match& m) { return static_cast<int64_t>(m.oldPos) - static_cast<int64_t>(m.newPos); }

uint64_t Distance(int64_t a, int64_t b) { return static_cast<uint64_t>(a > b ? a - b : b - a); }

// Bytes of new[newPos, newPos + length) that differ from the old file on the given diagonal
// (bytes outside the old file count as different).
uint64_t DifferingOnDiagonal(const uint8_t* oldBytes, size_t oldSize, const uint8_t* newBytes, uint32_t newPos,
                             uint32_t length, int64_t diagonal) {
  uint64_t n = 0;
  for (uint32_t i = 0; i < length; ++i) {
    int64_t o = static_cast<int64_t>(newPos) + i + diagonal;
    n += o < 0 || static_cast<uint64_t>(o) >= oldSize || oldBytes[o] != newBytes[newPos + i];
  }
  return n;
}

// Drops the chain's excursions: a match off its neighbours' diagonals costs the bytes by which
// the diagonal jumps there and back (sent raw, and for the revert the old side's too) and two
// records; without it, its bytes and those up to the next match are compared on the diagonal
// before it, where most of them may differ, and one jump remains. excursionCost is what a
// record is taken to cost. A short match of repeated content (padding, a common instruction
// sequence) elsewhere in the old file is the usual excursion; a match whose diagonal the next
// one continues is where the content moved, and the bytes after it decide that it stays.
std::vector<Match> WithoutExcursions(const std::vector<Match>& chain, const uint8_t* oldBytes, size_t oldSize,
                                     const uint8_t* newBytes, uint32_t excursionCost) {
  std::vector<Match> kept;
  for (const Match& m : chain) {
    while (kept.size() >= 2) {
      const Match& before = kept[kept.size() - 2];
      const Match& k = kept.back();
      int64_t db = Diagonal(before), dk = Diagonal(k), dm = Diagonal(m);
      if (dk == db) break;
      // The bytes between k and m are compared on k's diagonal if k stays, on the one before
      // it if k goes: where m continues k's diagonal, k is where the content moved.
      uint32_t gapStart = k.newPos + k.length;
      uint32_t gap = std::min(m.newPos - gapStart, kGapCompared);
      uint64_t keep = Distance(dk, db) + Distance(dm, dk) + 2 * excursionCost +
                      DifferingOnDiagonal(oldBytes, oldSize, newBytes, gapStart, gap, dk);
      uint64_t drop = Distance(dm, db) + excursionCost +
                      DifferingOnDiagonal(oldBytes, oldSize, newBytes, k.newPos, k.length, db) +
                      DifferingOnDiagonal(oldBytes, oldSize, newBytes, gapStart, gap, db);
      if (drop >= keep) break;
      kept.pop_back();
    }
    kept.push_back(m);
  }
  return kept;
}

// A changed gap whose two sides differ in length lies between two diagonals: the one of the
// match before it and the one of the match after it. It is sent as the bytes compared on the
// first diagonal up to a split point, the length difference raw, and the rest compared on the
// second diagonal, at the split point where the fewest compared bytes differ. Returns false
// when one region (compared on the first diagonal, the difference raw at its end) costs about
// as much.
bool SplitGap(const uint8_t* oldBytes, const uint8_t* newBytes, const PatchRegion& gap, PatchRegion parts[3]) {
  uint32_t common = std::min(gap.oldLength, gap.newLength);
  if (common == 0) return false;
  // differ[t]: bytes that differ when the first t are compared on the first diagonal and the
  // remaining common - t on the second.
  uint32_t shiftOld = gap.oldLength - common, shiftNew = gap.newLength - common;
  std::vector<uint32_t> second(common + 1, 0);  // differing among the last common - t on the second diagonal
  for (uint32_t t = common; t-- > 0;)
    second[t] = second[t + 1] + (oldBytes[gap.oldOffset + shiftOld + t] != newBytes[gap.newOffset + shiftNew + t]);
  uint32_t first = 0, bestT = common, best = UINT32_MAX;
  for (uint32_t t = 0; t <= common; ++t) {
    if (first + second[t] < best) {
      best = first + second[t];
      bestT = t;
    }
    if (t < common) first += oldBytes[gap.oldOffset + t] != newBytes[gap.newOffset + t];
  }
  uint32_t single = first;  // everything on the first diagonal
  if (bestT == common || single < best + 2 * kRecordCost) return false;
  uint32_t t = bestT;
  parts[0] = {gap.oldOffset, gap.newOffset, t, t};
  parts[1] = {gap.oldOffset + t, gap.newOffset + t, shiftOld, shiftNew};
  parts[2] = {gap.oldOffset + t + shiftOld, gap.newOffset + t + shiftNew, common - t, common - t};
  // A record that the appliers would take for the end of the list stays out: an insertion at
  // the old file's start, or a deletion at the new file's start.
  if (parts[1].oldOffset == 0 && parts[1].oldLength == 0) return false;
  if (parts[1].newOffset == 0 && parts[1].newLength == 0) return false;
  return true;
}

// Costs of a gap's path, in eighths of a compressed byte (about): a compared byte that differs is
// a literal among the zero bytes around it; inserted and deleted bytes travel as they are, which
// the codec packs somewhat; each run of them ends a record and opens the next.
constexpr int32_t kDifferingCost = 8;
constexpr int32_t kRawCost = 6;
constexpr int32_t kRunCost = 8 * static_cast<int32_t>(kRecordCost);
// The diagonals and cells (new bytes times diagonals) that one gap's alignment may use: 16 MB
// of back pointers, about a tenth of a second (0.09 s measured for 15.5 M cells). A wider gap
// (one side much longer than the other) comes out no smaller aligned this way on real binaries
// (bench/real_pair_bench.sh), and the cells of all gaps of a file are bounded by those of one
// gap and kCellsPerByte per byte of the two files.
constexpr int64_t kMaxGapDiagonals = 2048;
constexpr uint64_t kMaxGapCells = uint64_t{16} << 20;
constexpr uint64_t kCellsPerByte = 32;

// Where a cell's three costs came from (bits of one byte per cell).
constexpr uint8_t kCompareFromInsert = 1, kCompareFromDelete = 2;  // else from a compared step
constexpr uint8_t kInsertExtends = 4, kInsertAfterDelete = 8;      // else opened after a compared step
constexpr uint8_t kDeleteExtends = 16, kDeleteAfterInsert = 32;

// The cheapest path through a gap between two matches of the chain, by those costs: a rebuilt
// binary moves code by a few bytes at one instruction and back at another, and changes
// addresses everywhere, so its gaps hold stretches with no exact match long enough for the
// chain that are still mostly equal on a diagonal near those of the matches. The path starts on
// the diagonal of the match before the gap and ends on the one after it; its regions (compared
// bytes, then the run of inserted or deleted bytes that ends each) are appended to *out. Returns
// false, appending nothing, when the gap is too large for the band or for what is left of
// *cellBudget (which it reduces by the cells it uses), or has one side empty.
bool AlignGap(const uint8_t* oldBytes, const uint8_t* newBytes, const PatchRegion& gap, int64_t band,
              uint64_t* cellBudget, std::vector<PatchRegion>* out) {
  const int64_t n = gap.newLength, m = gap.oldLength;
  if (n == 0 || m == 0 || band == 0) return false;
  if (n == m) {
    // A path that leaves the diagonal must come back to it, through at least one run of each
    // kind: when the diagonal costs no more than that, it is the cheapest path.
    int64_t cost = 0;
    for (int64_t i = 0; i < n && cost <= 2 * (kRunCost + kRawCost); ++i)
      cost += oldBytes[gap.oldOffset + i] != newBytes[gap.newOffset + i] ? kDifferingCost : 0;
    if (cost <= 2 * (kRunCost + kRawCost)) {
      out->push_back(gap);
      return true;
    }
  }
  // Diagonals relative to the gap (old position = new position + d), from the start's (0) and
  // the end's (m - n), widened by the band; cell (j, k) is new position j on diagonal dLo + k.
  const int64_t dLo = std::min<int64_t>(0, m - n) - band, dHi = std::max<int64_t>(0, m - n) + band;
  const int64_t width = dHi - dLo + 1;
  const uint64_t cells = static_cast<uint64_t>(n + 1) * static_cast<uint64_t>(width);
  if (width > kMaxGapDiagonals || cells > kMaxGapCells || cells > *cellBudget) return false;
  *cellBudget -= cells;
  constexpr int32_t kInf = INT32_MAX / 4;
  // Per row: the cheapest path to each cell whose last step compared, inserted or deleted.
  std::vector<int32_t> cmpRow(width), insRow(width), delRow(width), pcRow(width, kInf), piRow(width, kInf),
      pdRow(width, kInf);
  std::vector<uint8_t> from(static_cast<size_t>((n + 1) * width), 0);
  // Each row is worked in passes over its cells, the costs of one kind of step first and then
  // where they came from: passes that write no bytes of the back pointers become vector code.
  // Cells outside the gap's old side (o < 0 or o > m) cost kInf.
  // (The rows through plain pointers: a byte stored through f might otherwise be taken to
  // change where a vector keeps its elements.)
  const uint8_t* oldGap = oldBytes + gap.oldOffset;
  const uint8_t* newGap = newBytes + gap.newOffset;
  for (int64_t j = 0; j <= n; ++j) {
    int32_t *cmp = cmpRow.data(), *ins = insRow.data(), *del = delRow.data();
    const int32_t *pc = pcRow.data(), *pi = piRow.data(), *pd = pdRow.data();
    uint8_t* f = &from[static_cast<size_t>(j * width)];
    // The row's cells with 0 <= o <= m, and those with 1 <= o <= m.
    const int64_t kLo = std::max<int64_t>(0, -j - dLo), kHi = std::min<int64_t>(width - 1, m - j - dLo);
    const int64_t kPast0 = std::max<int64_t>(kLo, 1 - j - dLo);
    std::fill(cmp, cmp + width, kInf);
    std::fill(ins, ins + width, kInf);
    std::fill(del, del + width, kInf);
    if (j == 0) {
      cmp[-dLo] = 0;  // the start, o = 0
    } else {
      // Compared step from (j - 1, o - 1): the same diagonal, row before.
      const uint8_t newByte = newGap[j - 1];
      for (int64_t k = kPast0; k <= kHi; ++k) {
        int32_t best = std::min(std::min(pc[k], pi[k]), pd[k]);
        int32_t step = best + (oldGap[j + dLo + k - 1] != newByte ? kDifferingCost : 0);
        cmp[k] = best < kInf ? step : kInf;
      }
      for (int64_t k = kPast0; k <= kHi; ++k) {
        uint8_t w = pi[k] < pc[k] ? kCompareFromInsert : 0;
        w = pd[k] < std::min(pc[k], pi[k]) ? kCompareFromDelete : w;
        f[k] = std::min(std::min(pc[k], pi[k]), pd[k]) < kInf ? w : 0;
      }
      // Inserted new byte j - 1 at old position o: from (j - 1, o), diagonal one up. None at the
      // old file's start: an insertion there would end a revert.
      const int64_t insFirst = gap.oldOffset > 0 ? kLo : kPast0, insLast = std::min(kHi, width - 2);
      for (int64_t k = insFirst; k <= insLast; ++k) {
        int32_t extend = pi[k + 1] + kRawCost;
        int32_t opened = std::min(pc[k + 1], pd[k + 1]) + kRunCost + kRawCost;
        ins[k] = std::min(std::min(extend, opened), kInf);
      }
      for (int64_t k = insFirst; k <= insLast; ++k) {
        int32_t extend = pi[k + 1] + kRawCost;
        int32_t afterCompare = pc[k + 1] + kRunCost + kRawCost, afterDelete = pd[k + 1] + kRunCost + kRawCost;
        bool extends = extend <= std::min(afterCompare, afterDelete);
        bool afterDeleting = !extends && afterDelete < afterCompare;
        f[k] |= extends ? kInsertExtends : afterDeleting ? kInsertAfterDelete : 0;
      }
    }
    // Deleted old byte o - 1 at new position j: from (j, o - 1), diagonal one down, this row: its
    // costs follow one another along the row (no deletion reaches the row's first cell).
    const int64_t delFirst = std::max<int64_t>(1, kPast0);
    int32_t running = kInf;
    for (int64_t k = delFirst; k <= kHi; ++k) {
      int32_t opened = std::min(cmp[k - 1], ins[k - 1]) + kRunCost + kRawCost;
      running = std::min(std::min(running + kRawCost, opened), kInf);
      del[k] = running;
    }
    for (int64_t k = delFirst; k <= kHi; ++k) {
      int32_t extend = del[k - 1] + kRawCost;
      int32_t afterCompare = cmp[k - 1] + kRunCost + kRawCost, afterInsert = ins[k - 1] + kRunCost + kRawCost;
      bool extends = extend <= std::min(afterCompare, afterInsert);
      bool afterInserting = !extends && afterInsert < afterCompare;
      f[k] |= extends ? kDeleteExtends : afterInserting ? kDeleteAfterInsert : 0;
    }
    pcRow.swap(cmpRow);
    piRow.swap(insRow);
    pdRow.swap(delRow);
  }
  // Back from the end cell (n, m) to the start (0, 0), the steps in reverse.
  int64_t j = n, k = m - n - dLo;
  int state = 0;  // 0 compared, 1 inserted, 2 deleted
  const int32_t *pc = pcRow.data(), *pi = piRow.data(), *pd = pdRow.data();  // the last row
  if (pi[k] < pc[k]) state = 1;
  if (pd[k] < std::min(pc[k], pi[k])) state = 2;
  if (std::min({pc[k], pi[k], pd[k]}) >= kInf) return false;
  std::vector<uint8_t> steps;
  while (j > 0 || j + dLo + k > 0) {
    uint8_t f = from[static_cast<size_t>(j * width + k)];
    steps.push_back(static_cast<uint8_t>(state));
    if (state == 0) {
      state = (f & kCompareFromInsert) ? 1 : (f & kCompareFromDelete) ? 2 : 0;
      --j;
    } else if (state == 1) {
      state = (f & kInsertExtends) ? 1 : (f & kInsertAfterDelete) ? 2 : 0;
      --j;
      ++k;
    } else {
      state = (f & kDeleteExtends) ? 2 : (f & kDeleteAfterInsert) ? 1 : 0;
      --k;
    }
  }
  std::reverse(steps.begin(), steps.end());
  // Regions: compared steps up to the end of the run of raw steps after them.
  uint32_t oldAt = gap.oldOffset, newAt = gap.newOffset;
  size_t s = 0;
  while (s < steps.size()) {
    PatchRegion r{oldAt, newAt, 0, 0};
    for (; s < steps.size() && steps[s] == 0; ++s) ++r.oldLength, ++r.newLength;
    uint8_t run = s < steps.size() ? steps[s] : 0;
    for (; s < steps.size() && steps[s] == run && run != 0; ++s) run == 1 ? ++r.newLength : ++r.oldLength;
    oldAt += r.oldLength;
    newAt += r.newLength;
    out->push_back(r);
  }
  return true;
}

}  // namespace

std::vector<PatchRegion> AlignFiles(const uint8_t* oldBytes, size_t oldSize, const uint8_t* newBytes, size_t newSize,
                                    const PatchFindOptions& options) {
  uint32_t minMatch = std::max<uint32_t>(options.minMatch, kHashBytes);
  std::vector<Match> chain = AscendingChain(FindMatches(oldBytes, oldSize, newBytes, newSize, minMatch));
  chain.push_back({static_cast<uint32_t>(newSize), static_cast<uint32_t>(oldSize), 0});
  chain = WithoutExcursions(chain, oldBytes, oldSize, newBytes, options.excursionCost);

  // The gaps between the chain's matches, each region kept on the diagonal of the match before
  // it through equal runs shorter than mergeGap as long as it has not changed diagonal itself.
  std::vector<PatchRegion> regions;
  auto add = [&](PatchRegion r) {
    if (!regions.empty()) {
      PatchRegion& last = regions.back();
      uint32_t equalRun = r.newOffset - (last.newOffset + last.newLength);
      // (a split gap's parts meet with no equal run between them: they stay apart)
      if (last.oldLength == last.newLength && equalRun < options.mergeGap &&
          (equalRun > 0 || r.oldLength == r.newLength)) {
        last.oldLength = r.oldOffset + r.oldLength - last.oldOffset;
        last.newLength = r.newOffset + r.newLength - last.newOffset;
        return;
      }
    }
    if (r.oldLength || r.newLength) regions.push_back(r);
  };
  uint32_t oldAt = 0, newAt = 0;
  std::vector<PatchRegion> path;
  uint64_t cellBudget = kMaxGapCells + kCellsPerByte * (uint64_t{oldSize} + newSize);
  for (const Match& m : chain) {
    if (m.oldPos > oldAt || m.newPos > newAt) {
      PatchRegion r{oldAt, newAt, m.oldPos - oldAt, m.newPos - newAt}, parts[3];
      path.clear();
      if (AlignGap(oldBytes, newBytes, r, options.band, &cellBudget, &path)) {
        for (const PatchRegion& part : path) add(part);
      } else if (r.oldLength != r.newLength && SplitGap(oldBytes, newBytes, r, parts)) {
        for (const PatchRegion& part : parts)
          if (part.oldLength || part.newLength) add(part);
      } else {
        add(r);
      }
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
