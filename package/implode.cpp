#include "package/implode.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "package/byte_io.h"
#include "package/implode_codes.h"

namespace zfix {
namespace {

// Appends bits to out, first bit lowest; out holds the bytes written only after Flush.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>* out) : out_(out), at_(out->size()) {}
  void Put(uint32_t bits, unsigned count) {
    acc_ |= static_cast<uint64_t>(bits) << n_;
    n_ += count;
    if (n_ >= 32) {
      // Room is made in large steps: a check per 32 bits instead of one per byte.
      if (out_->size() < at_ + 4) out_->resize(std::max<size_t>(2 * out_->size(), at_ + 4096));
      uint8_t* p = out_->data() + at_;
      for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(acc_ >> (8 * i));
      at_ += 4;
      acc_ >>= 32;
      n_ -= 32;
    }
  }
  void Flush() {
    out_->resize(at_);
    while (n_ > 0) {
      out_->push_back(static_cast<uint8_t>(acc_));
      acc_ >>= 8;
      n_ = n_ > 8 ? n_ - 8 : 0;
    }
  }

 private:
  std::vector<uint8_t>* out_;
  size_t at_;  // bytes written
  uint64_t acc_ = 0;
  unsigned n_ = 0;
};

// Code tables and exact token costs for one set of options.
struct Coder {
  unsigned dictBits;
  bool ascii;
  uint16_t lenCode[kLengthSymbols];
  uint16_t distCode[kDistanceSymbols];
  uint16_t litCode[kLiteralSymbols];
  const uint8_t* litBits;
  uint8_t lenCost[kMaxMatch + 1];  // flag + length code + extra bits
  uint64_t lenArrival[kMaxMatch + 1];  // lenCost in an Arrival's cost bits, the length in its token bits

  Coder(unsigned bits, bool asc) : dictBits(bits), ascii(asc), litBits(AsciiLiteralCodeBits()) {
    BuildImplodeCodes(kLengthCodeBits, kLengthSymbols, lenCode);
    BuildImplodeCodes(kDistanceCodeBits, kDistanceSymbols, distCode);
    BuildImplodeCodes(litBits, kLiteralSymbols, litCode);
    for (unsigned len = kMinMatch; len <= kMaxMatch; ++len) {
      unsigned s = LengthSymbol(len);
      lenCost[len] = static_cast<uint8_t>(1 + kLengthCodeBits[s] + kLengthExtraBits[s]);
      lenArrival[len] = static_cast<uint64_t>(lenCost[len]) << 32 | len;
    }
  }
  unsigned LowBits(unsigned len) const { return len == 2 ? 2 : dictBits; }
  unsigned LiteralCost(uint8_t c) const { return ascii ? 1u + litBits[c] : 9u; }
  unsigned DistCost(unsigned len, unsigned dist) const {
    unsigned lb = LowBits(len);
    return kDistanceCodeBits[(dist - 1) >> lb] + lb;
  }
  unsigned MatchCost(unsigned len, unsigned dist) const { return lenCost[len] + DistCost(len, dist); }

  void Literal(BitWriter& w, uint8_t c) const {
    if (ascii)
      w.Put(static_cast<uint32_t>(litCode[c]) << 1, 1 + litBits[c]);
    else
      w.Put(static_cast<uint32_t>(c) << 1, 9);
  }
  void Length(BitWriter& w, unsigned len) const {
    unsigned s = LengthSymbol(len);
    w.Put(1, 1);
    w.Put(lenCode[s], kLengthCodeBits[s]);
    if (kLengthExtraBits[s]) w.Put(len - 2 - kLengthBase[s], kLengthExtraBits[s]);
  }
  void Match(BitWriter& w, unsigned len, unsigned dist) const {
    Length(w, len);
    unsigned lb = LowBits(len);
    unsigned d = dist - 1;
    w.Put(distCode[d >> lb], kDistanceCodeBits[d >> lb]);
    w.Put(d & ((1u << lb) - 1u), lb);
  }
};

// Index of the lowest non-zero byte of a non-zero word (read little-endian).
inline unsigned LowestSetByte(uint64_t x) {
#if defined(__GNUC__) || defined(__clang__)
  return static_cast<unsigned>(__builtin_ctzll(x)) >> 3;
#else
  unsigned n = 0;
  while (!(x & 0xFF)) {
    x >>= 8;
    ++n;
  }
  return n;
#endif
}

// Length of the common prefix of a and b, from `start` up to `limit`; wide says that 16-byte
// reads from any position below limit stay inside the data. The first 8 bytes decide most
// calls; a long match (repeated content) goes on 16 bytes a step where SSE2 is there.
inline unsigned CommonLength(const uint8_t* a, const uint8_t* b, unsigned start, unsigned limit, bool wide) {
  unsigned len = start;
  if (wide) {
    uint64_t x, y;
    std::memcpy(&x, a + len, 8);
    std::memcpy(&y, b + len, 8);
    uint64_t diff = x ^ y;
    if (diff) {
      len += LowestSetByte(diff);
      return len < limit ? len : limit;
    }
    len += 8;
#if defined(__SSE2__)
    while (len < limit) {
      __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + len));
      __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + len));
      unsigned ne = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(va, vb))) ^ 0xFFFFu;
      if (ne) {
        len += static_cast<unsigned>(__builtin_ctz(ne));
        return len < limit ? len : limit;
      }
      len += 16;
    }
    return limit;
#else
    while (len < limit) {
      std::memcpy(&x, a + len, 8);
      std::memcpy(&y, b + len, 8);
      diff = x ^ y;
      if (diff) {
        len += LowestSetByte(diff);
        return len < limit ? len : limit;
      }
      len += 8;
    }
    return limit;
#endif
  }
  while (len < limit && a[len] == b[len]) ++len;
  return len;
}

inline void Prefetch(const void* p) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(p);
#else
  (void)p;
#endif
}

struct MatchInfo {
  uint16_t len;
  uint16_t dist;
};

// The encoder's tables, kept per thread from one stream to the next: a builder compresses
// thousands of files, and fresh tables for each would cost more in page faults and clearing
// than the encoding of a small file.
struct Workspace {
  std::vector<uint32_t> head3, head4, son;
  std::vector<uint8_t> head2;
  uint32_t next = 0;  // the node number of the next stream's first byte (0: tables not yet cleared)
  std::vector<MatchInfo> found;
  std::vector<uint32_t> firstMatch, token;
  std::vector<uint64_t> toEnd;
};

// A plain pointer per thread, given back by ReleaseImplodeWorkspace: a thread-local object with a
// destructor is not safe in the Windows build (the MinGW runtime can run the destructor of a
// pool thread's object after the thread's storage is gone, which corrupted the builder's heap
// now and then).
thread_local Workspace* tWorkspace = nullptr;

Workspace& ThreadWorkspace() {
  if (!tWorkspace) tWorkspace = new Workspace;
  return *tWorkspace;
}

// Match finder over a sliding window. For every position it reports matches of increasing
// length: length 2 and length 3 at the nearest earlier position that has them, longer ones
// from a binary tree of the positions with the same 4-byte hash, each with the smallest
// distance the search met for that length. (A tree of 3-byte hashes would hold far more
// positions: every step of a search costs mispredicted branches, and a depth-limited search
// would see fewer of the positions that matter.)
//
// Nodes are numbered across the streams of one workspace, so that no table needs clearing
// between streams: a stream's numbers start a gap wider than any window after the previous
// stream's, and a node below the window (an earlier stream's included) ends a search as the
// empty link 0 does. The length-2 table keeps the low byte of the latest position of each
// byte pair: the one position within 256 bytes with that low byte holds the pair exactly when
// the latest occurrence is that near. The length-3 table keeps two positions per hash, the
// latest first, so that two 3-byte strings of one hash in the window do not hide each other.
class MatchFinder {
 public:
  MatchFinder(const uint8_t* buf, size_t size, unsigned window, unsigned depth, Workspace& ws)
      : buf_(buf), size_(size), window_(window), depth_(depth) {
    if (ws.next == 0 || ws.next > UINT32_MAX - kCyclic - size) {
      ws.head3.assign(2u << kHash3Bits, 0);
      ws.head4.assign(1u << kHash4Bits, 0);
      ws.head2.assign(1u << 16, 0);
      ws.son.resize(2 * kCyclic);
      ws.next = kCyclic;
    }
    base_ = ws.next;
    ws.next = static_cast<uint32_t>(base_ + size + kCyclic);
    head3_ = ws.head3.data();
    head4_ = ws.head4.data();
    head2_ = ws.head2.data();
    son_ = ws.son.data();
  }

  // Inserts pos and returns the number of matches written to out (at most kMaxMatches).
  unsigned Find(size_t pos, MatchInfo* out) { return Step<true>(pos, out); }
  void Skip(size_t pos) { Step<false>(pos, nullptr); }

  static constexpr unsigned kMaxMatches = 64;

 private:
  static constexpr unsigned kHash3Bits = 15;
  static constexpr unsigned kHash4Bits = 15;
  static constexpr uint32_t kCyclic = 8192;  // larger than the biggest window
  static constexpr size_t kAhead = 8;

  static uint32_t Hash3(const uint8_t* p) { return (p[0] | p[1] << 8 | p[2] << 16) * 2654435761u >> (32 - kHash3Bits); }
  static uint32_t Hash4(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v * 2654435761u >> (32 - kHash4Bits);
  }
  // Whether node n, numbered as cur's node is, lies in the window and starts with cur's 3 bytes.
  static bool Holds3(const uint8_t* cur, uint32_t node, uint32_t minNode, uint32_t n) {
    if (n < minNode) return false;
    const uint8_t* c = cur - (node - n);
    return c[0] == cur[0] && c[1] == cur[1] && c[2] == cur[2];
  }

  template <bool kReport>
  unsigned Step(size_t pos, MatchInfo* out) {
    unsigned count = 0;
    size_t avail = size_ - pos;
    if (avail < 2) return 0;
    const uint8_t* cur = buf_ + pos;
    // The tables are too large to stay in the first-level cache: fetch the entries that a
    // position a few bytes on will need while this one is searched.
    if (avail > kAhead + 3) {
      const uint8_t* ahead = cur + kAhead;
      Prefetch(&head2_[ahead[0] | ahead[1] << 8]);
      Prefetch(&head3_[2 * Hash3(ahead)]);
      Prefetch(&head4_[Hash4(ahead)]);
    }

    // Length 2: the nearest earlier occurrence, within the 256 bytes that length 2 can reach.
    unsigned h2 = cur[0] | cur[1] << 8;
    unsigned dist2 = ((static_cast<unsigned>(pos) - 1u - head2_[h2]) & 255u) + 1u;
    head2_[h2] = static_cast<uint8_t>(pos);
    if (kReport && dist2 <= pos && cur[-static_cast<ptrdiff_t>(dist2)] == cur[0] &&
        cur[1 - static_cast<ptrdiff_t>(dist2)] == cur[1])
      out[count++] = MatchInfo{2, static_cast<uint16_t>(dist2)};
    if (avail < 3) return count;

    unsigned bestLen = 2;
    uint32_t node = static_cast<uint32_t>(base_ + pos);
    uint32_t minNode = node - window_;
    uint32_t* bucket = &head3_[2 * Hash3(cur)];
    uint32_t latest = bucket[0], near = 0;
    if (Holds3(cur, node, minNode, latest)) {
      near = latest;
    } else {
      if (Holds3(cur, node, minNode, bucket[1])) near = bucket[1];
      bucket[1] = latest;
    }
    bucket[0] = node;
    if (near) {  // node numbers start above 0
      bestLen = 3;
      if (kReport) out[count++] = MatchInfo{3, static_cast<uint16_t>(node - near)};
    }
    if (avail < 4) return count;

    unsigned maxLen = static_cast<unsigned>(std::min<size_t>(avail, kMaxMatch));
    uint32_t h = Hash4(cur);
    uint32_t match = head4_[h];
    head4_[h] = node;
    uint32_t* son = son_;
    uint32_t* ptr0 = &son[2 * (node & (kCyclic - 1)) + 1];
    uint32_t* ptr1 = &son[2 * (node & (kCyclic - 1))];
    unsigned len0 = 0, len1 = 0;
    unsigned depth = depth_;
    const bool wide = avail >= static_cast<size_t>(maxLen) + 16;
    for (;;) {
      if (match < minNode || depth-- == 0) {
        *ptr0 = *ptr1 = 0;
        break;
      }
      uint32_t* pair = &son[2 * (match & (kCyclic - 1))];
      const uint8_t* cand = cur - (node - match);
      unsigned len = CommonLength(cand, cur, std::min(len0, len1), maxLen, wide);
      if (len > bestLen) {
        bestLen = len;
        if (kReport && count < kMaxMatches) out[count++] = MatchInfo{static_cast<uint16_t>(len), static_cast<uint16_t>(node - match)};
        if (len == maxLen) {
          *ptr1 = pair[0];
          *ptr0 = pair[1];
          break;
        }
      }
      if (cand[len] < cur[len]) {
        *ptr1 = match;
        ptr1 = pair + 1;
        match = *ptr1;
        len1 = len;
      } else {
        *ptr0 = match;
        ptr0 = pair;
        match = *ptr0;
        len0 = len;
      }
    }
    return count;
  }

  const uint8_t* buf_;
  size_t size_;
  unsigned window_;
  unsigned depth_;
  uint32_t base_;
  uint32_t* head3_;
  uint32_t* head4_;
  uint8_t* head2_;
  uint32_t* son_;
};

// Writes the tokens of a parse and adds up what the same tokens would cost under every literal
// mode and dictionary size (a match beyond a smaller window counted as its bytes as literals).
// The parse is optimal for its own coder only, so these sums bound from above what the other
// settings' own parses cost.
class TokenWriter {
 public:
  TokenWriter(const uint8_t* data, const Coder& coder, BitWriter& w, ImplodeCosts* costs)
      : data_(data), coder_(coder), w_(w), costs_(costs) {
    if (costs_) *costs_ = ImplodeCosts();
  }
  void Literal(size_t pos) {
    coder_.Literal(w_, data_[pos]);
    if (!costs_) return;
    uint8_t c = data_[pos];
    unsigned ascii = 1u + asciiBits_[c];
    for (unsigned d = 0; d < 3; ++d) {
      costs_->bits[0][d] += 9;
      costs_->bits[1][d] += ascii;
    }
  }
  void Match(size_t pos, unsigned len, unsigned dist) {
    coder_.Match(w_, len, dist);
    if (!costs_) return;
    for (unsigned d = 0; d < 3; ++d) {
      unsigned lb = len == 2 ? 2 : d + 4;
      unsigned windowBits = d + 10;
      if (dist <= (1u << windowBits)) {
        unsigned bits = coder_.lenCost[len] + kDistanceCodeBits[(dist - 1) >> lb] + lb;
        costs_->bits[0][d] += bits;
        costs_->bits[1][d] += bits;
      } else {
        costs_->bits[0][d] += 9u * len;
        for (unsigned k = 0; k < len; ++k) costs_->bits[1][d] += 1u + asciiBits_[data_[pos + k]];
      }
    }
  }

 private:
  const uint8_t* data_;
  const Coder& coder_;
  BitWriter& w_;
  ImplodeCosts* costs_;
  const uint8_t* asciiBits_ = AsciiLiteralCodeBits();
};

void EncodeGreedy(size_t size, MatchFinder& mf, TokenWriter& w) {
  MatchInfo m[MatchFinder::kMaxMatches];
  size_t pos = 0;
  while (pos < size) {
    unsigned n = mf.Find(pos, m);
    if (n == 0) {
      w.Literal(pos++);
      continue;
    }
    const MatchInfo& best = m[n - 1];
    w.Match(pos, best.len, best.dist);
    for (size_t end = pos + best.len; ++pos < end;) mf.Skip(pos);
  }
}

// Shortest path over token costs, in blocks; a match of at least kNiceLen is taken at once.
// The matches of a block's positions are found first; then each position's cheapest way to the
// block's end is taken from those of the positions after it, last position first (a minimum
// over each match's lengths, with nothing written per length).
void EncodeOptimal(const uint8_t* data, size_t size, const Coder& coder, MatchFinder& mf, TokenWriter& w,
                   Workspace& ws) {
  constexpr size_t kBlock = 1 << 15;
  constexpr unsigned kNiceLen = 96;
  std::vector<MatchInfo>& found = ws.found;
  std::vector<uint32_t>& firstMatch = ws.firstMatch;
  std::vector<uint64_t>& toEnd = ws.toEnd;
  std::vector<uint32_t>& token = ws.token;
  firstMatch.resize(kBlock + 1);
  toEnd.resize(kBlock + 1);
  token.resize(kBlock + 1);
  if (found.size() < 4 * kBlock) found.resize(4 * kBlock);

  size_t start = 0;
  while (start < size) {
    size_t limit = std::min(size - start, kBlock);  // block positions [0, limit)
    size_t count = 0, end = 0;
    MatchInfo forced{0, 0};
    for (; end < limit; ++end) {
      if (found.size() < count + MatchFinder::kMaxMatches) found.resize(2 * found.size());
      firstMatch[end] = static_cast<uint32_t>(count);
      unsigned n = mf.Find(start + end, &found[count]);
      if (n && found[count + n - 1].len >= kNiceLen) {
        forced = found[count + n - 1];
        break;
      }
      count += n;
    }
    firstMatch[end] = static_cast<uint32_t>(count);

    // toEnd[j]: the cost from block position j to the end, in the high 32 bits; token[j]: the
    // first token of that way, distance << 16 | length.
    toEnd[end] = 0;
    for (size_t j = end; j-- > 0;) {
      uint64_t best = (toEnd[j + 1] + (static_cast<uint64_t>(coder.LiteralCost(data[start + j])) << 32)) | 1;
      unsigned prevLen = 1;
      unsigned room = static_cast<unsigned>(std::min<size_t>(end - j, kMaxMatch));
      const uint64_t* after = &toEnd[j];
      for (uint32_t k = firstMatch[j]; k < firstMatch[j + 1]; ++k) {
        const MatchInfo m = found[k];
        unsigned maxL = std::min<unsigned>(m.len, room);
        unsigned first = prevLen + 1;
        uint64_t from = static_cast<uint64_t>(m.dist) << 16;
        // Length 2 reaches only 256 bytes back.
        if (first == 2) {
          if (m.dist <= 256 && maxL >= 2)
            best = std::min(best, after[2] + ((static_cast<uint64_t>(coder.MatchCost(2, m.dist)) << 32) | from | 2));
          first = 3;
        }
        from += static_cast<uint64_t>(coder.DistCost(3, m.dist)) << 32;
        for (unsigned L = first; L <= maxL; ++L) best = std::min(best, after[L] + coder.lenArrival[L] + from);
        prevLen = std::max(prevLen, maxL);
      }
      toEnd[j] = best & ~uint64_t{0xFFFFFFFF};
      token[j] = static_cast<uint32_t>(best);
    }
    size_t pos = start;
    for (size_t j = 0; j < end;) {
      unsigned len = token[j] & 0xFFFF;
      if (len == 1)
        w.Literal(pos);
      else
        w.Match(pos, len, token[j] >> 16);
      pos += len;
      j += len;
    }
    if (forced.len) {
      w.Match(pos, forced.len, forced.dist);
      for (size_t stop = pos + forced.len; ++pos < stop;) mf.Skip(pos);
    }
    start = pos;
  }
}

}  // namespace

std::vector<uint8_t> Implode(const void* data, size_t size, const ImplodeOptions& options, ImplodeCosts* costs) {
  unsigned dictBits = options.dictBits >= 4 && options.dictBits <= 6 ? options.dictBits : 6;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  std::vector<uint8_t> out;
  out.reserve(size / 2 + 16);
  out.push_back(options.ascii ? 1 : 0);
  out.push_back(static_cast<uint8_t>(dictBits));
  Coder coder(dictBits, options.ascii);
  BitWriter w(&out);
  TokenWriter tokens(p, coder, w, costs);
  unsigned window = 1u << (dictBits + 6);
  if (options.parse == ImplodeParse::Greedy) {
    MatchFinder mf(p, size, window, options.searchDepth ? options.searchDepth : 32, ThreadWorkspace());
    EncodeGreedy(size, mf, tokens);
  } else {
    Workspace& ws = ThreadWorkspace();
    MatchFinder mf(p, size, window, options.searchDepth ? options.searchDepth : 24, ws);
    EncodeOptimal(p, size, coder, mf, tokens, ws);
  }
  coder.Length(w, kEndLength);
  w.Flush();
  // The decoder refuses a first delivery of 4 bytes or fewer, which an empty input's stream
  // (header and end marker) would be: pad it; bytes after the end marker are never read.
  while (out.size() < 5) out.push_back(0);
  return out;
}

std::vector<uint8_t> ImplodeSmallest(const void* data, size_t size, ImplodeSetting* chosen, unsigned searchDepth) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  // The parse starts in the mode that suits the bytes as literals; the other settings are
  // encoded too where its tokens, re-costed, come within kMargin of its own cost.
  const uint8_t* asciiBits = AsciiLiteralCodeBits();
  uint64_t asciiLiterals = 0;
  for (size_t i = 0; i < size; ++i) asciiLiterals += 1u + asciiBits[p[i]];
  bool firstAscii = asciiLiterals < 9ull * size;
  ImplodeCosts costs;
  ImplodeSetting best{6, firstAscii};
  std::vector<uint8_t> stream = Implode(p, size, {6, firstAscii, ImplodeParse::Optimal, searchDepth}, &costs);
  const uint64_t reference = costs.bits[firstAscii][2];
  for (bool ascii : {false, true}) {
    for (unsigned dictBits : {6u, 5u, 4u}) {
      if (ascii == firstAscii && dictBits == 6) continue;
      // Equal costs mean that no token tells the settings apart (all literals, say).
      uint64_t bound = costs.bits[ascii][dictBits - 4];
      if (bound == reference || bound * 1000 > reference * (1000 + kImplodeTryMargin)) continue;
      std::vector<uint8_t> other = Implode(p, size, {dictBits, ascii, ImplodeParse::Optimal, searchDepth});
      if (other.size() < stream.size()) {
        stream.swap(other);
        best = {dictBits, ascii};
      }
    }
  }
  if (chosen) *chosen = best;
  return stream;
}

namespace {

std::vector<uint8_t> WithSize(size_t size, const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> out;
  out.reserve(stream.size() + 4);
  PutLe32(out, static_cast<uint32_t>(size));
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

}  // namespace

std::vector<uint8_t> MakeSmallestResource(const void* data, size_t size, ImplodeSetting* chosen, unsigned searchDepth) {
  return WithSize(size, ImplodeSmallest(data, size, chosen, searchDepth));
}

std::vector<uint8_t> MakeCompressedResource(const void* data, size_t size, const ImplodeOptions& options) {
  std::vector<uint8_t> stream = Implode(data, size, options);
  std::vector<uint8_t> out;
  out.reserve(stream.size() + 4);
  PutLe32(out, static_cast<uint32_t>(size));
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

void ReleaseImplodeWorkspace() {
  delete tWorkspace;
  tWorkspace = nullptr;
}

}  // namespace zfix
