// Decoding through libdynamite, Debian's PKWARE DCL decoder: an independent check of the
// streams our encoder writes (tests) and the peer of our decoder (bench). Whole binary-mode
// streams only: libdynamite has no ASCII mode and may not return on a truncated stream.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

extern "C" {
#include <libdynamite.h>
}

namespace zfix_test {

struct DynamiteIo {
  const uint8_t* in;
  size_t left;
  std::vector<uint8_t>* out;

  static size_t Read(void* buf, size_t size, void* cookie) {
    DynamiteIo* io = static_cast<DynamiteIo*>(cookie);
    size_t n = std::min(size, io->left);
    std::memcpy(buf, io->in, n);
    io->in += n;
    io->left -= n;
    return n;
  }
  static size_t Write(void* buf, size_t size, void* cookie) {
    DynamiteIo* io = static_cast<DynamiteIo*>(cookie);
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    io->out->insert(io->out->end(), p, p + size);
    return size;
  }
};

// Replaces *out with the decoded bytes; true when libdynamite reports success.
inline bool DynamiteExplode(const std::vector<uint8_t>& stream, std::vector<uint8_t>* out) {
  out->clear();
  DynamiteIo io{stream.data(), stream.size(), out};
  return dynamite_explode(DynamiteIo::Read, DynamiteIo::Write, &io) == DYNAMITE_SUCCESS;
}

}  // namespace zfix_test
