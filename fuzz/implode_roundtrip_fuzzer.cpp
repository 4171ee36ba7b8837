// Encoder round trip: every stream the encoder writes decodes to its input, with every
// option set. Byte 0 picks the options; the rest is the data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/explode.h"
#include "package/implode.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  zfix::ImplodeOptions opt;
  opt.dictBits = 4 + data[0] % 3;
  opt.ascii = (data[0] & 4) != 0;
  opt.parse = (data[0] & 8) ? zfix::ImplodeParse::Greedy : zfix::ImplodeParse::Optimal;
  std::vector<uint8_t> stream = zfix::Implode(data + 1, size - 1, opt);
  std::vector<uint8_t> out(size);
  size_t written = 0;
  unsigned status = zfix::ExplodeToBuffer(stream.data(), stream.size(), out.data(), out.size(), &written);
  if (status != zfix::EXPLODE_OK || written != size - 1) std::abort();
  if (!std::equal(data + 1, data + size, out.begin())) std::abort();
  return 0;
}
