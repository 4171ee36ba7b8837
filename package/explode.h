// Streaming decoder of the implode stream format (the "explode" operation).
//
//   EXPLODESTATE* st = new EXPLODESTATE();   // zero-filled, owned by the caller
//   unsigned status = Explode(ReadFn, WriteFn, st, user);
//
// The input callback is asked for up to EXPLODE_INPUT_SIZE (2048) bytes at a time and
// returns how many it delivered, 0 at the end of the input. The output callback receives
// the decoded bytes in chunks of 4096 (the last chunk may be shorter, even empty).
// Status codes: EXPLODE_OK .. EXPLODE_ABORT below. A state block serves one call.
//
// ExplodeToBuffer() is the memory-to-memory form used by the resource wrapper and the
// tools: it never writes past the given capacity and reports output beyond it as
// EXPLODE_OVERFLOW.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zfix {

enum : unsigned {
  EXPLODE_OK = 0,           // decoded up to the end marker
  EXPLODE_BAD_DICT = 1,     // dictionary size bits not 4, 5 or 6
  EXPLODE_BAD_MODE = 2,     // literal mode neither 0 nor 1
  EXPLODE_SHORT_INPUT = 3,  // first input delivery held 4 bytes or fewer
  EXPLODE_ABORT = 4,        // input ended before the end marker
  EXPLODE_OVERFLOW = 5,     // ExplodeToBuffer only: output longer than the buffer
};

constexpr unsigned EXPLODE_INPUT_SIZE = 2048;
constexpr unsigned EXPLODE_CHUNK = 4096;
constexpr unsigned EXPLODE_WINDOW = 8192;

typedef unsigned (*ExplodeReadFn)(uint8_t* buffer, unsigned size, void* user);
typedef void (*ExplodeWriteFn)(const uint8_t* buffer, unsigned size, void* user);

struct EXPLODESTATE {
  ExplodeReadFn pfnRead;
  ExplodeWriteFn pfnWrite;
  void* lpUser;
  unsigned dwLiteralMode;
  unsigned dwDictBits;
  unsigned dwDictMask;
  uint64_t qwBitBuffer;     // next stream bits, LSB first
  unsigned dwBitCount;      // valid bits in qwBitBuffer
  unsigned dwInPos;
  unsigned dwInFill;
  int bInputEnded;
  unsigned dwOutPos;        // write position in abWindow
  uint8_t abInput[EXPLODE_INPUT_SIZE + 8];
  // History (4096), current chunk (4096), one maximal match and copy slack.
  uint8_t abWindow[EXPLODE_WINDOW + 520 + 16];
  // Length code, indexed by the next 7 bits: symbol's base (length - 2) in bits 0..15, its
  // extra bits in 16..23, its code bits in 24..31.
  uint32_t adwLength[128];
  // Distance code, indexed by the next 8 bits: symbol in bits 0..7, code bits in 8..15.
  uint16_t awDistance[256];
  // ASCII literal code: entry = symbol | bits << 8, indexed by the next 13 bits.
  uint16_t awAsciiSym[8192];
};

unsigned Explode(ExplodeReadFn pfnRead, ExplodeWriteFn pfnWrite, EXPLODESTATE* state, void* user);

// Decodes a whole stream held in memory into out[0..capacity). *written receives the number
// of bytes stored. Returns an EXPLODE_* status.
unsigned ExplodeToBuffer(const void* in, size_t inSize, void* out, size_t capacity, size_t* written);

}  // namespace zfix
