#include "package/explode.h"

#include <cstring>

#include "package/implode_codes.h"

namespace zfix {
namespace {

constexpr unsigned kHistory = EXPLODE_CHUNK;  // writing starts here; the bytes before are history

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v = 0;
  for (unsigned i = 0; i < 8; ++i) v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return v;
}

// Fills a lookup table indexed by the next `indexBits` stream bits (codes of at most that
// many bits) with entry(symbol) for every index that starts with the symbol's code.
template <class T, class Entry>
void BuildLookup(const uint8_t* lengths, unsigned n, unsigned indexBits, T* table, Entry entry) {
  uint16_t codes[kDistanceSymbols];
  BuildImplodeCodes(lengths, n, codes);
  for (unsigned s = 0; s < n; ++s)
    for (unsigned i = codes[s]; i < (1u << indexBits); i += 1u << lengths[s]) table[i] = static_cast<T>(entry(s));
}

void BuildAsciiLookup(uint16_t* table) {
  const uint8_t* bits = AsciiLiteralCodeBits();
  uint16_t codes[kLiteralSymbols];
  BuildImplodeCodes(bits, kLiteralSymbols, codes);
  for (unsigned s = 0; s < kLiteralSymbols; ++s)
    for (unsigned i = codes[s]; i < 8192u; i += 1u << bits[s]) table[i] = static_cast<uint16_t>(s | bits[s] << 8);
}

// Tops the bit buffer up to at least 57 bits, or to whatever the input still holds.
void RefillSlow(EXPLODESTATE* st) {
  while (st->dwBitCount <= 56) {
    if (st->dwInPos == st->dwInFill) {
      if (st->bInputEnded) return;
      unsigned n = st->pfnRead(st->abInput, EXPLODE_INPUT_SIZE, st->lpUser);
      if (n == 0 || n > EXPLODE_INPUT_SIZE) {
        st->bInputEnded = 1;
        return;
      }
      st->dwInPos = 0;
      st->dwInFill = n;
    }
    st->qwBitBuffer |= static_cast<uint64_t>(st->abInput[st->dwInPos++]) << st->dwBitCount;
    st->dwBitCount += 8;
  }
}

// Copies a match of `len` bytes from `dist` bytes back; the source may overlap the destination.
inline void CopyMatch(uint8_t* dst, unsigned dist, unsigned len) {
  const uint8_t* src = dst - dist;
  if (dist >= 8) {
    // 8-byte steps may write up to 7 bytes past the match: the window has slack for that.
    for (unsigned i = 0; i < len; i += 8) std::memcpy(dst + i, src + i, 8);
  } else if (dist == 1) {
    std::memset(dst, *src, len);
  } else {
    // Repeat the short pattern byte by byte until it spans 8 bytes, then copy in steps
    // of a multiple of the pattern length.
    unsigned step = dist * ((8 + dist - 1) / dist);
    unsigned head = step - dist < len ? step - dist : len;
    for (unsigned i = 0; i < head; ++i) dst[i] = src[i];
    for (unsigned i = head; i < len; i += 8) std::memcpy(dst + i, dst + i - step, 8);
  }
}

}  // namespace

unsigned Explode(ExplodeReadFn pfnRead, ExplodeWriteFn pfnWrite, EXPLODESTATE* st, void* user) {
  st->pfnRead = pfnRead;
  st->pfnWrite = pfnWrite;
  st->lpUser = user;
  st->dwInFill = pfnRead(st->abInput, EXPLODE_INPUT_SIZE, user);
  if (st->dwInFill <= 4 || st->dwInFill > EXPLODE_INPUT_SIZE) return EXPLODE_SHORT_INPUT;
  st->dwLiteralMode = st->abInput[0];
  st->dwDictBits = st->abInput[1];
  if (st->dwDictBits < 4 || st->dwDictBits > 6) return EXPLODE_BAD_DICT;
  if (st->dwLiteralMode > 1) return EXPLODE_BAD_MODE;
  st->dwDictMask = 0xFFFFu >> (16 - st->dwDictBits);
  st->dwInPos = 2;
  st->qwBitBuffer = 0;
  st->dwBitCount = 0;
  st->bInputEnded = 0;
  st->dwOutPos = kHistory;
  std::memset(st->abWindow, 0, kHistory);
  if (st->dwLiteralMode == 1) BuildAsciiLookup(st->awAsciiSym);
  BuildLookup(kLengthCodeBits, kLengthSymbols, 7, st->adwLength, [](unsigned s) {
    return kLengthBase[s] | kLengthExtraBits[s] << 16 | static_cast<uint32_t>(kLengthCodeBits[s]) << 24;
  });
  BuildLookup(kDistanceCodeBits, kDistanceSymbols, 8, st->awDistance,
              [](unsigned s) { return s | kDistanceCodeBits[s] << 8; });

  // A token is taken only while 8 more stream bits follow it (the decoder always keeps one
  // byte in view); the end marker alone may end exactly at the last bit of the input.
  const bool ascii = st->dwLiteralMode == 1;
  const unsigned dictBits = st->dwDictBits;
  const uint32_t* const lengthTable = st->adwLength;
  const uint16_t* const distTable = st->awDistance;
  const uint16_t* const asciiSym = st->awAsciiSym;
  uint8_t* const window = st->abWindow;
  uint64_t bb = 0;
  unsigned nb = 0;
  unsigned wp = kHistory;
  unsigned status = EXPLODE_OK;
  // Input position and fill live in locals: stores into the window may alias the state block.
  const uint8_t* const in = st->abInput;
  unsigned inPos = st->dwInPos;
  unsigned inFill = st->dwInFill;

  for (;;) {
    if (nb <= 56) {
      if (inFill - inPos >= 8) {
        bb |= Load64(in + inPos) << nb;
        inPos += (63 - nb) >> 3;
        nb |= 56;
      } else {
        st->qwBitBuffer = bb;
        st->dwBitCount = nb;
        st->dwInPos = inPos;
        st->dwInFill = inFill;
        RefillSlow(st);
        bb = st->qwBitBuffer;
        nb = st->dwBitCount;
        inPos = st->dwInPos;
        inFill = st->dwInFill;
      }
    }
    if (!(bb & 1)) {
      if (!ascii) {
        // Up to five plain literals fit in one refill (9 bits each, 8 bits kept in view).
        if (nb < 17) {
          status = EXPLODE_ABORT;
          break;
        }
        do {
          window[wp++] = static_cast<uint8_t>(bb >> 1);
          bb >>= 9;
          nb -= 9;
        } while (!(bb & 1) && nb >= 17);
      } else {
        unsigned e = asciiSym[(bb >> 1) & 0x1FFFu];
        unsigned t = 1 + (e >> 8);
        if (t + 8 > nb) {
          status = EXPLODE_ABORT;
          break;
        }
        bb >>= t;
        nb -= t;
        window[wp++] = static_cast<uint8_t>(e);
      }
    } else {
      uint32_t le = lengthTable[(bb >> 1) & 0x7Fu];
      unsigned p = 1 + (le >> 24);
      unsigned eb = (le >> 16) & 0xFFu;
      unsigned lenm2 = (le & 0xFFFFu) + (static_cast<unsigned>(bb >> p) & ((1u << eb) - 1u));
      p += eb;
      if (lenm2 == kEndLength - 2) {
        status = p <= nb ? EXPLODE_OK : EXPLODE_ABORT;
        break;
      }
      unsigned de = distTable[(bb >> p) & 0xFFu];
      unsigned ds = de & 0xFFu;
      p += de >> 8;
      unsigned lb = lenm2 == 0 ? 2 : dictBits;
      unsigned dist = ((ds << lb) | (static_cast<unsigned>(bb >> p) & ((1u << lb) - 1u))) + 1;
      p += lb;
      if (p + 8 > nb) {
        status = EXPLODE_ABORT;
        break;
      }
      bb >>= p;
      nb -= p;
      unsigned len = lenm2 + 2;
      CopyMatch(window + wp, dist, len);
      wp += len;
    }
    if (wp >= EXPLODE_WINDOW) {
      pfnWrite(window + kHistory, EXPLODE_CHUNK, user);
      std::memmove(window, window + EXPLODE_CHUNK, wp - EXPLODE_CHUNK);
      wp -= EXPLODE_CHUNK;
    }
  }
  st->dwInPos = inPos;
  st->dwInFill = inFill;
  st->qwBitBuffer = bb;
  st->dwBitCount = nb;
  st->dwOutPos = wp;
  pfnWrite(window + kHistory, wp - kHistory, user);
  return status;
}

namespace {

struct BufferIo {
  const uint8_t* in;
  size_t inRemaining;
  uint8_t* out;
  size_t capacity;
  size_t outPos;
  bool overflow;
};

unsigned BufferRead(uint8_t* buffer, unsigned size, void* user) {
  BufferIo* io = static_cast<BufferIo*>(user);
  size_t n = size < io->inRemaining ? size : io->inRemaining;
  std::memcpy(buffer, io->in, n);
  io->in += n;
  io->inRemaining -= n;
  return static_cast<unsigned>(n);
}

void BufferWrite(const uint8_t* buffer, unsigned size, void* user) {
  BufferIo* io = static_cast<BufferIo*>(user);
  size_t room = io->capacity - io->outPos;
  size_t n = size;
  if (n > room) {
    n = room;
    io->overflow = true;
  }
  if (n) std::memcpy(io->out + io->outPos, buffer, n);
  io->outPos += n;
}

}  // namespace

unsigned ExplodeToBuffer(const void* in, size_t inSize, void* out, size_t capacity, size_t* written) {
  BufferIo io{static_cast<const uint8_t*>(in), inSize, static_cast<uint8_t*>(out), capacity, 0, false};
  EXPLODESTATE* st = new EXPLODESTATE();
  unsigned status = Explode(BufferRead, BufferWrite, st, &io);
  delete st;
  if (written) *written = io.outPos;
  if (status == EXPLODE_OK && io.overflow) status = EXPLODE_OVERFLOW;
  return status;
}

}  // namespace zfix
