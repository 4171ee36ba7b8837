// Decoder against the reference decoder, with input delivered in chunks of varying size.
// Byte 0 picks the delivery size (1..255, or 2048 for 0); the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/explode.h"
#include "tests/package/reference_explode.h"

namespace {

struct Io {
  const uint8_t* in;
  size_t left;
  size_t chunk;
  std::vector<uint8_t> out;
  std::vector<unsigned> handovers;
};

unsigned Read(uint8_t* buf, unsigned size, void* user) {
  Io* io = static_cast<Io*>(user);
  size_t n = io->left < io->chunk ? io->left : io->chunk;
  if (n > size) n = size;
  std::memcpy(buf, io->in, n);
  io->in += n;
  io->left -= n;
  return static_cast<unsigned>(n);
}

void Write(const uint8_t* buf, unsigned size, void* user) {
  Io* io = static_cast<Io*>(user);
  io->out.insert(io->out.end(), buf, buf + size);
  io->handovers.push_back(size);
}

}  // namespace

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  size_t chunk = data[0] ? data[0] : zfix::EXPLODE_INPUT_SIZE;
  Io io{data + 1, size - 1, chunk, {}, {}};
  zfix::EXPLODESTATE* st = new zfix::EXPLODESTATE();
  unsigned status = zfix::Explode(Read, Write, st, &io);
  delete st;

  std::vector<uint8_t> ref;
  size_t first = size - 1 < chunk ? size - 1 : chunk;
  unsigned refStatus = zfix_test::ReferenceExplode::Run(data + 1, size - 1, first, &ref);
  if (status != refStatus) std::abort();
  if (io.out != ref) std::abort();
  if (status >= zfix::EXPLODE_BAD_DICT && status <= zfix::EXPLODE_SHORT_INPUT) {
    if (!io.handovers.empty()) std::abort();
  } else {
    for (size_t i = 0; i + 1 < io.handovers.size(); ++i)
      if (io.handovers[i] != zfix::EXPLODE_CHUNK) std::abort();
  }

  // The bounded memory form: never past the capacity, and a longer stream is reported.
  if (status == zfix::EXPLODE_OK) {
    size_t cap = ref.size() / 2;
    std::vector<uint8_t> buf(cap + 1, 0xA5);
    size_t written = 0;
    unsigned s2 = zfix::ExplodeToBuffer(data + 1, size - 1, buf.data(), cap, &written);
    unsigned want = ref.size() > cap ? zfix::EXPLODE_OVERFLOW : zfix::EXPLODE_OK;
    if (s2 != want || written != cap || buf[cap] != 0xA5) std::abort();
    if (cap && std::memcmp(buf.data(), ref.data(), cap) != 0) std::abort();
  }
  return 0;
}
