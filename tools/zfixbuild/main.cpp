// zfixbuild: builds fix executables and the parts of a fix package.
//
//   zfixbuild build DESCRIPTION [-o FIX.exe] [--stub zfix.exe] [--tools DIR] [--jobs N]
//   zfixbuild inspect FIX.exe [--json]
//   zfixbuild implode IN OUT [--dict 1024|2048|4096] [--ascii] [--greedy] [--depth N] [--smallest]
//   zfixbuild explode IN OUT
//
// implode and explode work on the compressed resource form: u32 little-endian uncompressed
// size, then the implode stream. --smallest picks the literal mode and dictionary size as the
// fix builder does and prints the choice.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package/byte_io.h"
#include "package/explode.h"
#include "package/implode.h"
#include "tools/zfixbuild/commands.h"
#include "tools/zfixbuild/file_bytes.h"

namespace {

const char kUsage[] =
    "usage: zfixbuild build DESCRIPTION [-o FIX.exe] [--stub zfix.exe] [--tools DIR] [--jobs N]\n"
    "       zfixbuild inspect FIX.exe [--json]\n"
    "       zfixbuild implode IN OUT [--dict 1024|2048|4096] [--ascii] [--greedy] [--depth N] [--smallest]\n"
    "       zfixbuild explode IN OUT\n";

bool WriteFile(const char* path, const std::vector<uint8_t>& data) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "zfixbuild: %s\n", text.c_str());
  return 1;
}

int CmdImplode(int argc, char** argv) {
  if (argc < 4) return Fail(std::string("implode needs IN and OUT\n") + kUsage);
  zfix::ImplodeOptions opt;
  bool smallest = false;
  for (int i = 4; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--dict" && i + 1 < argc) {
      std::string v = argv[++i];
      if (v == "1024") opt.dictBits = 4;
      else if (v == "2048") opt.dictBits = 5;
      else if (v == "4096") opt.dictBits = 6;
      else return Fail("--dict takes 1024, 2048 or 4096, not " + v);
    } else if (a == "--ascii") {
      opt.ascii = true;
    } else if (a == "--depth" && i + 1 < argc) {
      opt.searchDepth = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--greedy") {
      opt.parse = zfix::ImplodeParse::Greedy;
    } else if (a == "--smallest") {
      smallest = true;
    } else {
      return Fail("unknown option " + a + "\n" + kUsage);
    }
  }
  std::vector<uint8_t> in;
  if (!zfixbuild::ReadBytes(argv[2], &in)) return Fail(std::string("cannot read ") + argv[2]);
  if (in.size() > zfix::kMaxImplodeInput) return Fail(std::string(argv[2]) + " is 2 GB or larger");
  if (!smallest) {
    if (!WriteFile(argv[3], zfix::MakeCompressedResource(in.data(), in.size(), opt)))
      return Fail(std::string("cannot write ") + argv[3]);
    return 0;
  }
  zfix::ImplodeSetting chosen;
  std::vector<uint8_t> out = zfix::MakeSmallestResource(in.data(), in.size(), &chosen);
  if (!WriteFile(argv[3], out)) return Fail(std::string("cannot write ") + argv[3]);
  std::printf("%s literals, dictionary %u: %zu bytes\n", chosen.ascii ? "ASCII" : "binary", 64u << chosen.dictBits,
              out.size());
  return 0;
}

const char* StatusText(unsigned status) {
  switch (status) {
    case zfix::EXPLODE_BAD_DICT: return "dictionary size bits are not 4, 5 or 6";
    case zfix::EXPLODE_BAD_MODE: return "literal mode is neither 0 nor 1";
    case zfix::EXPLODE_SHORT_INPUT: return "stream is too short";
    case zfix::EXPLODE_ABORT: return "stream ends before its end marker";
    case zfix::EXPLODE_OVERFLOW: return "stream decodes to more bytes than its stored size";
    default: return "unknown failure";
  }
}

int CmdExplode(int argc, char** argv) {
  if (argc != 4) return Fail(std::string("explode needs IN and OUT\n") + kUsage);
  std::vector<uint8_t> in;
  if (!zfixbuild::ReadBytes(argv[2], &in)) return Fail(std::string("cannot read ") + argv[2]);
  if (in.size() < 4) return Fail(std::string(argv[2]) + ": damaged: shorter than its 4-byte size");
  uint32_t size = zfix::GetLe32(in.data());
  std::vector<uint8_t> out(size);
  size_t written = 0;
  unsigned status = zfix::ExplodeToBuffer(in.data() + 4, in.size() - 4, out.data(), out.size(), &written);
  if (status != zfix::EXPLODE_OK)
    return Fail(std::string(argv[2]) + ": damaged: " + StatusText(status) + " (status " + std::to_string(status) + ")");
  if (written != size)
    return Fail(std::string(argv[2]) + ": damaged: decodes to " + std::to_string(written) + " bytes, stored size is " +
                std::to_string(size));
  if (!WriteFile(argv[3], out)) return Fail(std::string("cannot write ") + argv[3]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "implode") == 0) return CmdImplode(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "explode") == 0) return CmdExplode(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "build") == 0) return CmdBuild(argc, argv);
  if (argc >= 2 && std::strcmp(argv[1], "inspect") == 0) return CmdInspect(argc, argv);
  std::fputs(kUsage, stderr);
  return 2;
}
