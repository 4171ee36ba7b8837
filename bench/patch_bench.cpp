// patch_bench OLD NEW [MERGE_GAP MIN_MATCH]: the package builder's choice for one changed file,
// measured (the two numbers override the finder's defaults, for tuning). Streams are compressed
// as the builder compresses them (the smallest literal mode and dictionary size).
// Prints, one "key value" per line: the patch stream's raw and compressed sizes (the smallest of
// the alignments tried, and each one's), its record count, the new file compressed whole, a positional XOR of the two files compressed (what an
// alignment that does not follow shifts would cost), and the times of finding the patch,
// verifying it both ways and compressing it. bench/patch_bench.sh compares these with xdelta3
// and bsdiff on real pairs of binaries.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "package/file_entry.h"
#include "package/implode.h"
#include "package/patch_apply.h"
#include "package/patch_find.h"

namespace {

std::vector<uint8_t> Load(const char* path) {
  std::vector<uint8_t> data;
  FILE* f = std::fopen(path, "rb");
  if (!f) return data;
  uint8_t buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
  std::fclose(f);
  return data;
}

double Since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 5) {
    std::fprintf(stderr, "usage: patch_bench OLD NEW [MERGE_GAP MIN_MATCH]\n");
    return 2;
  }
  std::vector<uint8_t> oldFile = Load(argv[1]), newFile = Load(argv[2]);
  if (oldFile.empty() || newFile.empty()) {
    std::fprintf(stderr, "patch_bench: cannot read the files\n");
    return 1;
  }
  // Every alignment the builder tries; the one whose stream compresses smallest is kept.
  auto t = std::chrono::steady_clock::now();
  std::vector<uint8_t> stream;
  uint32_t count = 0;
  size_t patch = 0;
  double compressTime = 0;
  std::vector<size_t> alignments;  // each one's compressed stream, in the order tried
  for (zfix::PatchFindOptions options : zfix::PatchAlignments()) {
    if (argc == 5) {
      options.mergeGap = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
      options.minMatch = static_cast<uint32_t>(std::strtoul(argv[4], nullptr, 10));
    }
    std::vector<uint8_t> s;
    uint32_t n = 0;
    zfix::FindPatch(oldFile.data(), oldFile.size(), newFile.data(), newFile.size(), &s, &n, options);
    size_t compressed = patch;
    if (patch == 0 || s != stream) {  // as the builder: a stream equal to the best is not compressed again
      auto c = std::chrono::steady_clock::now();
      compressed = zfix::MakeSmallestResource(s.data(), s.size(), nullptr, zfix::kPatchSearchDepth).size();
      compressTime += Since(c);
    }
    alignments.push_back(compressed);
    if (patch == 0 || compressed < patch) {
      patch = compressed;
      stream.swap(s);
      count = n;
    }
  }
  double findTime = Since(t) - compressTime;

  t = std::chrono::steady_clock::now();
  zfix::FILEENTRY e = {};
  e.dwOperation = zfix::FE_PATCH;
  e.dwOldSize = static_cast<uint32_t>(oldFile.size());
  e.dwNewSize = static_cast<uint32_t>(newFile.size());
  e.dwPatchCount = count;
  bool verified = zfix::PatchWorksBothWays(e, stream, oldFile, newFile);
  double verifyTime = Since(t);

  t = std::chrono::steady_clock::now();
  size_t whole = zfix::MakeSmallestResource(newFile.data(), newFile.size()).size();
  double wholeTime = Since(t);

  std::vector<uint8_t> positional(std::max(oldFile.size(), newFile.size()));
  for (size_t i = 0; i < positional.size(); ++i)
    positional[i] = (i < oldFile.size() ? oldFile[i] : 0) ^ (i < newFile.size() ? newFile[i] : 0);
  size_t xorSize = zfix::MakeSmallestResource(positional.data(), positional.size()).size();

  std::printf("records %u\n", count);
  std::printf("stream_bytes %zu\n", stream.size());
  std::printf("patch_compressed %zu\n", patch);
  for (size_t k = 0; k < alignments.size(); ++k) std::printf("alignment_%zu_compressed %zu\n", k + 1, alignments[k]);
  std::printf("whole_compressed %zu\n", whole);
  std::printf("positional_xor_compressed %zu\n", xorSize);
  std::printf("verified %s\n", verified ? "yes" : "NO");
  std::printf("find_seconds %.3f\n", findTime);
  std::printf("verify_seconds %.3f\n", verifyTime);
  std::printf("compress_seconds %.3f\n", compressTime);
  std::printf("whole_compress_seconds %.3f\n", wholeTime);
  return verified ? 0 : 1;
}
