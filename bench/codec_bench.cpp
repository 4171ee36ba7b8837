// codec_bench: decode speed of our implode-stream decoder against libdynamite (Debian's PKWARE
// DCL decoder) on the same streams, and our encoder's size and speed, on three inputs:
//   mshtml.dll  Wine's 32-bit mshtml.dll (binary code and data)
//   man-pages   the sorted /usr/share/man/man{1,3,8}/*.gz, decompressed and concatenated, first 10 MiB
//   random      4 MiB of seeded pseudo-random bytes
// Streams use dictionary 4096 and binary literals (libdynamite has no ASCII mode). Every stream
// is checked to decode to its input through both decoders before anything is timed. Beside them,
// the stream the package builder chooses (literal mode and dictionary size, ImplodeSmallest),
// checked with our decoder. Encoder speeds are per core: bytes over the encoding thread's CPU
// time (the machine may be shared).
//
//   codec_bench [--mshtml PATH] [--man-dir DIR]
//
// Each figure is printed on a line of its own; the last two lines are
// "encode speed (MB/s per core): X.X" (the optimal parse on mshtml.dll and the man pages
// together) and "decode speed vs libdynamite: X.XXx" (our throughput over theirs on the whole set).
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <time.h>
#include <vector>
#include <zlib.h>

#include "package/explode.h"
#include "package/implode.h"
#include "tests/package/dynamite_decode.h"


namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double ThreadCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}
double Mbps(size_t bytes, double s) { return bytes / s / 1e6; }

bool ReadWhole(const std::string& path, std::vector<uint8_t>* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  uint8_t buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  std::fclose(f);
  return true;
}

std::vector<uint8_t> ManPages(const std::string& root, size_t limit) {
  std::vector<std::string> files;
  for (const char* sect : {"man1", "man3", "man8"}) {
    std::string dir = root + "/" + sect;
    if (DIR* d = opendir(dir.c_str())) {
      while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0) files.push_back(dir + "/" + name);
      }
      closedir(d);
    }
  }
  std::sort(files.begin(), files.end());
  std::vector<uint8_t> out;
  uint8_t buf[1 << 16];
  for (const std::string& f : files) {
    gzFile g = gzopen(f.c_str(), "rb");
    if (!g) continue;
    int n;
    while (out.size() < limit && (n = gzread(g, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
    gzclose(g);
    if (out.size() >= limit) break;
  }
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::vector<uint8_t> Random(size_t n) {
  std::vector<uint8_t> v(n);
  uint64_t s = 0x9E3779B97F4A7C15ull;
  for (auto& c : v) {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    c = static_cast<uint8_t>(s >> 32);
  }
  return v;
}

bool DecodeDynamite(const std::vector<uint8_t>& stream, std::vector<uint8_t>* out) {
  size_t size = out->size();
  out->reserve(size);
  return zfix_test::DynamiteExplode(stream, out) && out->size() == size;
}

bool DecodeOurs(const std::vector<uint8_t>& stream, std::vector<uint8_t>* out) {
  size_t written = 0;
  return zfix::ExplodeToBuffer(stream.data(), stream.size(), out->data(), out->size(), &written) ==
             zfix::EXPLODE_OK && written == out->size();
}

template <class F>
double BestTime(int runs, F f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto t0 = Clock::now();
    f();
    best = std::min(best, Seconds(t0, Clock::now()));
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mshtml = "/usr/lib/i386-linux-gnu/wine/i386-windows/mshtml.dll";
  std::string manDir = "/usr/share/man";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--mshtml")) mshtml = argv[i + 1];
    else if (!std::strcmp(argv[i], "--man-dir")) manDir = argv[i + 1];
  }
  struct Input {
    std::string name;
    std::vector<uint8_t> data;
    std::vector<uint8_t> stream;
  };
  std::vector<Input> inputs(3);
  inputs[0].name = "mshtml.dll";
  if (!ReadWhole(mshtml, &inputs[0].data) || inputs[0].data.empty()) {
    std::fprintf(stderr, "codec_bench: cannot read %s\n", mshtml.c_str());
    return 1;
  }
  inputs[1] = {"man-pages", ManPages(manDir, 10u << 20), {}};
  inputs[2] = {"random", Random(4u << 20), {}};

  size_t total = 0, encoded = 0;
  double oursTotal = 0, theirsTotal = 0, encodeCpu = 0;
  bool allOk = true;
  for (Input& in : inputs) {
    total += in.data.size();
    std::printf("%s: %zu bytes\n", in.name.c_str(), in.data.size());
    for (zfix::ImplodeParse parse : {zfix::ImplodeParse::Greedy, zfix::ImplodeParse::Optimal}) {
      const char* what = parse == zfix::ImplodeParse::Greedy ? "greedy" : "optimal";
      std::vector<uint8_t> s;
      double c0 = ThreadCpuSeconds();
      s = zfix::Implode(in.data.data(), in.data.size(), {6, false, parse});
      double t = ThreadCpuSeconds() - c0;
      std::printf("%s encode %s: %zu bytes, %.2f%%, %.1f MB/s per core\n", in.name.c_str(), what, s.size(),
                  100.0 * s.size() / in.data.size(), Mbps(in.data.size(), t));
      if (parse == zfix::ImplodeParse::Optimal && &in != &inputs[2]) {
        encoded += in.data.size();
        encodeCpu += t;
      }
      std::vector<uint8_t> out(in.data.size());
      bool ours = DecodeOurs(s, &out) && out == in.data;
      bool theirs = DecodeDynamite(s, &out) && out == in.data;
      std::printf("%s %s stream decodes to the input: ours %s, libdynamite %s\n", in.name.c_str(), what,
                  ours ? "yes" : "NO", theirs ? "yes" : "NO");
      allOk = allOk && ours && theirs;
      if (parse == zfix::ImplodeParse::Optimal) in.stream = std::move(s);
    }
    {
      zfix::ImplodeSetting chosen;
      double c0 = ThreadCpuSeconds();
      std::vector<uint8_t> s = zfix::ImplodeSmallest(in.data.data(), in.data.size(), &chosen);
      double t = ThreadCpuSeconds() - c0;
      std::vector<uint8_t> out(in.data.size());
      bool ok = DecodeOurs(s, &out) && out == in.data;
      allOk = allOk && ok;
      std::printf("%s builder's stream (%s literals, dictionary %u): %zu bytes, %.2f%%, binary only %zu bytes, %.2f%%; "
                  "%.1f MB/s per core; decodes to the input: %s\n",
                  in.name.c_str(), chosen.ascii ? "ASCII" : "binary", 64u << chosen.dictBits, s.size(),
                  100.0 * s.size() / in.data.size(), in.stream.size(), 100.0 * in.stream.size() / in.data.size(),
                  Mbps(in.data.size(), t), ok ? "yes" : "NO");
    }
    std::vector<uint8_t> out(in.data.size());
    double ours = BestTime(7, [&] { DecodeOurs(in.stream, &out); });
    double theirs = BestTime(2, [&] { DecodeDynamite(in.stream, &out); });
    oursTotal += ours;
    theirsTotal += theirs;
    std::printf("%s decode ours: %.1f MB/s\n", in.name.c_str(), Mbps(in.data.size(), ours));
    std::printf("%s decode libdynamite: %.1f MB/s\n", in.name.c_str(), Mbps(in.data.size(), theirs));
  }
  std::printf("all streams decode to their input: %s\n", allOk ? "yes" : "NO");
  std::printf("decode ours, whole set: %.1f MB/s\n", Mbps(total, oursTotal));
  std::printf("decode libdynamite, whole set: %.1f MB/s\n", Mbps(total, theirsTotal));
  std::printf("encode speed (MB/s per core): %.1f\n", Mbps(encoded, encodeCpu));
  std::printf("decode speed vs libdynamite: %.2fx\n", theirsTotal / oursTotal);
  return allOk ? 0 : 1;
}
