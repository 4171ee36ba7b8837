// zfixbuild build and inspect on hosts without the Windows resource API: the stub's resources
// are read and written by package/pe_resources.h. The fix is derived exactly as on Windows
// (description, fix_build, the same compressed payloads and strings); what differs is the layout
// of the resource section, which the Windows resource API chooses for itself.
//
// The output depends on the inputs only: trees are read in name order, the fix does not depend
// on the number of jobs, and the PE time stamp is SOURCE_DATE_EPOCH when set, else the stub's.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "package/fix_format.h"
#include "package/implode.h"
#include "package/names.h"
#include "package/pe_resources.h"
#include "tools/zfixbuild/commands.h"
#include "tools/zfixbuild/component_pack.h"
#include "tools/zfixbuild/description.h"
#include "tools/zfixbuild/fix_build.h"
#include "tools/zfixbuild/file_bytes.h"
#include "tools/zfixbuild/fix_report.h"
#include "tools/zfixbuild/fix_resources.h"
#include "tools/zfixbuild/pe_signature.h"

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace zfixbuild;

namespace {

int Fail(const std::string& text) {
  std::fprintf(stderr, "zfixbuild: %s\n", text.c_str());
  return 1;
}

std::string FullPath(const std::string& path) {
  std::error_code ec;
  fs::path full = fs::absolute(path, ec);
  return ec ? path : full.lexically_normal().string();
}

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : path.substr(0, slash));
}

// A path of the description ('\' or '/' between folders), relative to its folder unless absolute.
std::string Resolve(const std::string& folder, std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return FullPath(!path.empty() && path[0] == '/' ? path : folder + "/" + path);
}

std::string ExeFolder(const char* argv0) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return Folder(ec ? FullPath(argv0) : self.string());
}

// Every regular file below root, in name order, named relative to root with '\' between
// folders; the content stays on disk until the fix needs it. A symbolic link, or anything else
// that is neither a file nor a folder, is refused: left out, it would be a file that the fix
// removes (or never adds), and followed, it would bring in whatever it points at when the fix
// is built, inside the tree or not.
bool ReadTree(const std::string& root, const std::string& sub, uint32_t dir, Tree* tree, std::string* why) {
  std::string folder = sub.empty() ? root : root + "/" + sub;
  std::error_code ec;
  if (sub.empty()) {
    fs::file_status st = fs::status(root, ec);
    if (ec || !fs::exists(st)) {
      *why = "cannot read the tree " + root;
      return false;
    }
    // A file named as a tree would read as an empty tree: every file a whole replacement.
    if (!fs::is_directory(st)) {
      *why = "the tree " + root + " is not a directory";
      return false;
    }
  }
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    names.push_back(it->path().filename().string());
  if (ec) {
    *why = "cannot list " + folder + ": " + ec.message();
    return false;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    std::string rel = sub.empty() ? name : sub + "/" + name;
    std::string path = root + "/" + rel;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
      *why = "cannot read " + path + ": " + std::strerror(errno);
      return false;
    }
    if (S_ISLNK(st.st_mode)) {
      std::error_code linkError;
      fs::path target = fs::read_symlink(path, linkError);
      *why = "the tree holds a symbolic link, " + path + (linkError ? std::string() : " -> " + target.string()) +
             ": copy the tree with the files in place of the links (cp -rL) and build from the copy";
      return false;
    }
    // A '\' in a name here is a folder separator on Windows: "a\b.txt" would be installed as b.txt in a.
    std::string ansi;
    if (AnsiFromUtf8(name, &ansi) && !zfix::IsPlainName(ansi.c_str())) {
      *why = "the file name " + path +
             " is no plain file name on Windows (a '\\', a character that Windows refuses, a trailing dot or "
             "blank, or a device name)";
      return false;
    }
    if (S_ISDIR(st.st_mode)) {
      if (!ReadTree(root, rel, dir, tree, why)) return false;
      continue;
    }
    if (!S_ISREG(st.st_mode)) {
      *why = path + " is neither a file nor a folder (a device, pipe or socket)";
      return false;
    }
    TreeFile f;
    if (!AnsiFromUtf8(rel, &f.name)) {
      *why = "the file name " + path + " is not UTF-8 or has characters that Windows-1252 lacks";
      return false;
    }
    for (char& c : f.name)
      if (c == '/') c = '\\';
    f.dir = dir;
    f.time = st.st_mtime < 0 ? 0 : static_cast<uint32_t>(st.st_mtime);
    f.path = path;  // read when the fix needs it
    f.size = static_cast<uint64_t>(st.st_size);
    tree->push_back(f);
  }
  return true;
}

bool ReadTrees(const std::string& folder, const TreePaths& paths, Tree* tree, std::string* why) {
  tree->clear();
  const struct {
    const std::string* path;
    uint32_t dir;
  } parts[] = {{&paths.program, zfix::DIR_PROGRAM}, {&paths.data, zfix::DIR_DATA}, {&paths.system, zfix::DIR_SYSTEM}};
  for (const auto& p : parts)
    if (!p.path->empty() && !ReadTree(Resolve(folder, *p.path), std::string(), p.dir, tree, why)) return false;
  return true;
}

bool ReadImage(const std::string& path, const char* what, zfix::PeImage* image, std::string* why) {
  std::vector<uint8_t> bytes;
  if (!ReadBytes(path, &bytes)) {
    *why = std::string("cannot read the ") + what + " " + path;
    return false;
  }
  std::string reason;
  if (!image->Parse(bytes, &reason)) {
    *why = std::string("the ") + what + " " + path + " cannot be read: " + reason;
    return false;
  }
  return true;
}

bool AddCompressedFile(zfix::PeImage* image, const char* type, const std::string& path, std::string* why) {
  std::vector<uint8_t> bytes;
  if (!ReadBytes(path, &bytes)) {
    *why = "cannot read " + path;
    return false;
  }
  if (bytes.size() > zfix::kMaxImplodeInput) {
    *why = path + " is 2 GB or larger";
    return false;
  }
  std::vector<uint8_t> payload;
  if (!Compress(bytes, &payload)) {
    *why = path + ": the compressed file does not decode to the file";
    return false;
  }
  SetResource(image, type, 1, std::move(payload));
  return true;
}

// SOURCE_DATE_EPOCH, when set: a number of seconds that the PE time stamp holds.
bool SourceDateEpoch(bool* set, uint32_t* stamp, std::string* why) {
  const char* v = std::getenv("SOURCE_DATE_EPOCH");
  *set = v != nullptr && *v != '\0';
  if (!*set) return true;
  char* end = nullptr;
  errno = 0;
  unsigned long long n = std::strtoull(v, &end, 10);
  if (*end || errno || v[0] == '-' || n > 0xFFFFFFFFull) {
    *why = std::string("SOURCE_DATE_EPOCH is not a time stamp of 32 bits: ") + v;
    return false;
  }
  *stamp = static_cast<uint32_t>(n);
  return true;
}

bool WriteFix(const std::string& out, const std::string& stub, const std::string& tools, const std::string& folder,
              const Description& d, BuiltFix* fix, std::string* why) {
  zfix::PeImage image;
  if (!ReadImage(stub, "stub", &image, why)) return false;
  bool epochSet = false;
  uint32_t stamp = 0;
  if (!SourceDateEpoch(&epochSet, &stamp, why)) return false;
  if (epochSet) image.SetTimeStamp(stamp);
  SetFixEntries(&image, fix);
  if (!AddCompressedFile(&image, zfix::RESTYPE_LICENSEENTRY, Resolve(folder, d.license), why) ||
      !AddCompressedFile(&image, zfix::RESTYPE_UPDATE64ENTRY, tools + "/UpdateVersion.exe", why) ||
      !AddCompressedFile(&image, zfix::RESTYPE_UPDATECABENTRY, tools + "/cabarc.exe", why))
    return false;
  if (!d.tool.empty()) {
    std::vector<uint8_t> jar;
    if (!ReadBytes(Resolve(folder, d.tool), &jar)) {
      *why = "cannot read " + Resolve(folder, d.tool);
      return false;
    }
    SetResource(&image, zfix::RESTYPE_TOOLENTRY, 1, std::move(jar));
  }
  std::string reason;
  if (!SetStrings(&image, fix->strings, &reason)) {
    *why = "the stub " + stub + " " + reason;
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!image.Write(&bytes, &reason)) {
    *why = "cannot add the fix's resources to the stub " + stub + ": " + reason;
    return false;
  }
  // Written beside the output and renamed over it: a failed build leaves no executable.
  std::string temp = out + ".part";
  FILE* f = std::fopen(temp.c_str(), "wb");
  bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f) ok = std::fclose(f) == 0 && ok;
  if (ok) ok = std::rename(temp.c_str(), out.c_str()) == 0;
  if (!ok) {
    std::remove(temp.c_str());
    *why = "cannot write " + out + ": " + std::strerror(errno);
  }
  return ok;
}

// A new folder below the temporary directory, for the component trees' archives; removed with
// everything in it.
struct WorkFolder {
  std::string path;
  bool Make(std::string* why) {
    const char* temp = std::getenv("TMPDIR");
    std::string base = temp && *temp ? temp : "/tmp";
    std::string name = base + "/zfixbuild-XXXXXX";
    if (!mkdtemp(&name[0])) {
      *why = "cannot make a work folder in " + base + ": " + std::strerror(errno);
      return false;
    }
    path = name;
    return true;
  }
  ~WorkFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(path, ec);
  }
};

}  // namespace

int CmdBuild(int argc, char** argv) {
  const char* usage = "usage: zfixbuild build DESCRIPTION [-o FIX.exe] [--stub zfix.exe] [--tools DIR] [--jobs N]";
  unsigned jobs = DefaultJobs();
  if (argc < 3) return Fail(usage);
  std::string exeFolder = ExeFolder(argv[0]);
  std::string description = FullPath(argv[2]), out, stub = exeFolder + "/zfix.exe", tools = exeFolder;
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-o" && i + 1 < argc)
      out = FullPath(argv[++i]);
    else if (a == "--stub" && i + 1 < argc)
      stub = FullPath(argv[++i]);
    else if (a == "--tools" && i + 1 < argc)
      tools = FullPath(argv[++i]);
    else if (a == "--jobs" && i + 1 < argc) {
      std::string v = argv[++i];
      char* end = nullptr;
      unsigned long n = std::strtoul(v.c_str(), &end, 10);
      if (v.empty() || *end || n < 1 || n > 64) return Fail("--jobs takes a number from 1 to 64, not " + v);
      jobs = static_cast<unsigned>(n);
    } else
      return Fail("unknown option " + a + "\n" + usage);
  }
  // Resources added to a signed executable would leave a signature that no longer verifies,
  // and nothing would say so until a user's system refused the fix.
  PeSignature signature;
  if (ReadPeSignatureOf(stub, &signature) && signature.present)
    return Fail("the stub " + stub + " is signed (" + std::to_string(signature.size) +
                "-byte certificate table): adding the fix's resources would break its signature; build from the "
                "unsigned zfix.exe and sign the fix executable afterwards");
  std::vector<uint8_t> text;
  if (!ReadBytes(description, &text)) return Fail("cannot read " + description);
  Description d;
  std::string why;
  if (!ParseDescription(std::string(text.begin(), text.end()), &d, &why)) return Fail(description + ": " + why);
  std::string folder = Folder(description);
  if (out.empty()) {
    if (!d.output.empty()) {
      out = Resolve(folder, d.output);
    } else {
      out = description;
      size_t dot = out.find_last_of('.');
      if (dot != std::string::npos && dot > out.find_last_of('/') + 1) out.erase(dot);
      out += ".exe";
    }
  }
  // The stub is read before the long work: a damaged or foreign stub stops the build at once.
  zfix::PeImage probe;
  if (!ReadImage(stub, "stub", &probe, &why)) return Fail(why);
  std::string fixResource = FixResourceIn(probe);
  if (!fixResource.empty()) return Fail(StubIsAFix(stub, fixResource));

  Tree base, target;
  std::vector<Tree> older(d.older.size());
  if (!ReadTrees(folder, d.base, &base, &why) || !ReadTrees(folder, d.target, &target, &why)) return Fail(why);
  for (size_t k = 0; k < d.older.size(); ++k)
    if (!ReadTrees(folder, d.older[k].trees, &older[k], &why)) return Fail(why);

  // The component trees' archives are made in a folder of their own, read while the fix is
  // derived and removed afterwards.
  std::vector<std::string> components;
  WorkFolder work;
  if (!work.Make(&why) || !PackComponents(tools, work.path, &base, &target, &components, &why)) return Fail(why);

  BuiltFix fix;
  std::vector<std::string> notes;
  if (!BuildFix(d, base, target, older, &fix, &why, &notes, jobs)) return Fail(why);
  for (const std::string& line : components) std::printf("%s\n", line.c_str());
  for (const std::string& note : notes) std::fprintf(stderr, "zfixbuild: note: %s\n", note.c_str());
  // The listing first: writing the fix moves the payloads into the image.
  std::string listing = EntryListing(fix);
  if (!WriteFix(out, stub, tools, folder, d, &fix, &why)) {
    // No executable is left behind, not an older one either: it would pass for this fix.
    struct stat st;
    if (lstat(out.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(out.c_str());
    return Fail(why);
  }

  std::fputs(listing.c_str(), stdout);
  std::printf("wrote %s: %u files\n", out.c_str(), static_cast<unsigned>(fix.entries.size()));
  return 0;
}

int CmdInspect(int argc, char** argv) {
  if (argc < 3 || argc > 4 || (argc == 4 && std::string(argv[3]) != "--json")) {
    std::fprintf(stderr, "usage: zfixbuild inspect FIX.exe [--json]\n");
    return 2;
  }
  zfix::PeImage image;
  std::string why;
  std::vector<uint8_t> bytes;
  if (!ReadBytes(argv[2], &bytes)) return Fail(std::string("cannot read ") + argv[2]);
  if (!image.Parse(bytes, &why)) return Fail(std::string(argv[2]) + ": " + why);
  FixView fix = ViewOf(image);
  PeSignature signature;
  std::vector<uint8_t> head(bytes.begin(), bytes.begin() + std::min(bytes.size(), kPeHeadBytes));
  if (ReadPeSignature(head, &signature) && signature.present) {
    fix.signedFile = true;
    fix.signatureOffset = signature.offset;
    fix.signatureSize = signature.size;
  }
  std::string text;
  if (!DescribeFix(fix, argc == 4, &text, &why)) return Fail(std::string(argv[2]) + ": " + why);
  std::fputs(text.c_str(), stdout);
  return 0;
}
