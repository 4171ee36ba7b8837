// zfixbuild build DESCRIPTION [-o FIX.exe] [--stub zfix.exe] [--tools DIR] [--jobs N]
//
// Reads the description and the product trees it names, derives the fix (fix_build.h) on N
// threads (default: the number of processors) and writes a copy of the installer stub with the
// fix's resources added.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/implode.h"
#include "tools/zfixbuild/commands.h"
#include "tools/zfixbuild/component_pack.h"
#include "tools/zfixbuild/description.h"
#include "tools/zfixbuild/fix_build.h"
#include "tools/zfixbuild/fix_report.h"
#include "tools/zfixbuild/fix_resources.h"
#include "tools/zfixbuild/fix_writer.h"
#include "tools/zfixbuild/file_bytes.h"
#include "tools/zfixbuild/pe_signature.h"
#include "tools/zfixbuild/string_block.h"
#include "tools/zfixbuild/win_resources.h"

using namespace zfixbuild;

namespace {

int Fail(const std::string& text) {
  fprintf(stderr, "zfixbuild: %s\n", text.c_str());
  return 1;
}

std::string Folder(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, NULL);
  return n && n < sizeof full ? std::string(full) : path;
}

// A path of the description, relative to its folder unless absolute.
std::string Resolve(const std::string& folder, std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  bool absolute = (path.size() >= 2 && path[1] == ':') || (!path.empty() && path[0] == '\\');
  return FullPath(absolute ? path : folder + "\\" + path);
}

std::string ExeFolder() {
  char path[MAX_PATH];
  GetModuleFileNameA(NULL, path, sizeof path);
  return Folder(path);
}

uint32_t UnixTime(const FILETIME& ft) {
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  const unsigned long long kEpoch = 116444736000000000ULL;  // 1970-01-01 in 100 ns units
  return t.QuadPart <= kEpoch ? 0 : (uint32_t)((t.QuadPart - kEpoch) / 10000000ULL);
}

// Every file below root, named relative to root; the content stays on disk until the fix needs
// it. A reparse point (a symbolic link, a junction) is refused: left out, it would be a file
// that the fix removes (or never adds), and followed, it would bring in whatever it points at
// when the fix is built, inside the tree or not.
bool ReadTree(const std::string& root, const std::string& sub, uint32_t dir, Tree* tree, std::string* why) {
  std::string folder = sub.empty() ? root : root + "\\" + sub;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
  if (sub.empty()) {
    DWORD attributes = GetFileAttributesA(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      *why = "cannot read the tree " + root;
      return false;
    }
    // A file named as a tree would read as an empty tree: every file a whole replacement.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      *why = "the tree " + root + " is not a directory";
      return false;
    }
  }
  if (h == INVALID_HANDLE_VALUE) return true;
  bool ok = true;
  do {
    std::string name = fd.cFileName;
    if (name == "." || name == "..") continue;
    std::string rel = sub.empty() ? name : sub + "\\" + name;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
      *why = "the tree holds a symbolic link or junction, " + root + "\\" + rel +
             ": copy the tree with the files in place of the links and build from the copy";
      ok = false;
      break;
    }
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ok = ReadTree(root, rel, dir, tree, why);
      continue;
    }
    TreeFile f;
    f.name = rel;
    f.dir = dir;
    f.time = UnixTime(fd.ftLastWriteTime);
    f.path = root + "\\" + rel;  // read when the fix needs it
    f.size = (uint64_t)fd.nFileSizeHigh << 32 | fd.nFileSizeLow;
    tree->push_back(f);
  } while (ok && FindNextFileA(h, &fd));
  FindClose(h);
  return ok;
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

// Blocks 1 (strings 0-15) and 3 (32-47) rewritten whole, the other strings taken from the stub.
bool AddStrings(HANDLE hUpdate, const std::string& stub, const std::map<unsigned, std::string>& strings,
                std::string* why) {
  HMODULE module = LoadLibraryExA(stub.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    *why = "cannot load the stub " + stub + " as a data file";
    return false;
  }
  std::map<unsigned, std::vector<std::u16string>> blocks;
  bool ok = true;
  for (const auto& s : strings) {
    unsigned block = StringBlockId(s.first);
    if (!blocks.count(block) && !ReadStringBlock(module, block, &blocks[block])) {
      *why = "the stub " + stub + " has no string block " + std::to_string(block);
      ok = false;
      break;
    }
    blocks[block][s.first % kStringsPerBlock] = Wide(s.second);
  }
  FreeLibrary(module);
  for (const auto& b : blocks)
    if (ok && !AddResource(hUpdate, MAKEINTRESOURCEA(6) /* RT_STRING */, b.first, WriteStringBlock(b.second))) {
      *why = "cannot add string block " + std::to_string(b.first);
      ok = false;
    }
  return ok;
}

bool AddCompressedFile(HANDLE hUpdate, const char* type, const std::string& path, std::string* why) {
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
  if (!AddResource(hUpdate, type, 1, payload)) {
    *why = std::string("cannot add ") + type;
    return false;
  }
  return true;
}

bool WriteFix(const std::string& out, const std::string& stub, const std::string& tools, const std::string& folder,
              const Description& d, const BuiltFix& fix, std::string* why) {
  if (!CopyFileA(stub.c_str(), out.c_str(), FALSE)) {
    *why = "cannot copy the stub " + stub + " to " + out;
    return false;
  }
  HANDLE hUpdate = BeginUpdateResourceA(out.c_str(), FALSE);
  if (!hUpdate) {
    *why = "cannot update the resources of " + out;
    return false;
  }
  bool ok = AddFixEntries(hUpdate, fix, why) &&
            AddCompressedFile(hUpdate, zfix::RESTYPE_LICENSEENTRY, Resolve(folder, d.license), why) &&
            AddCompressedFile(hUpdate, zfix::RESTYPE_UPDATE64ENTRY, tools + "\\UpdateVersion.exe", why) &&
            AddCompressedFile(hUpdate, zfix::RESTYPE_UPDATECABENTRY, tools + "\\cabarc.exe", why);
  if (ok && !d.tool.empty()) {
    std::vector<uint8_t> jar;
    if (!ReadBytes(Resolve(folder, d.tool), &jar)) {
      *why = "cannot read " + Resolve(folder, d.tool);
      ok = false;
    } else if (!AddResource(hUpdate, zfix::RESTYPE_TOOLENTRY, 1, jar)) {
      *why = "cannot add TOOLENTRY";
      ok = false;
    }
  }
  ok = ok && AddStrings(hUpdate, stub, fix.strings, why);
  if (!EndUpdateResourceA(hUpdate, !ok) && ok) {
    *why = "cannot write the resources of " + out;
    ok = false;
  }
  if (!ok) DeleteFileA(out.c_str());
  return ok;
}

// A new folder below the temporary directory, removed with everything in it.
struct WorkFolder {
  std::string path;
  bool Make(std::string* why) {
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n == 0 || n >= sizeof temp) {
      *why = "no temporary directory";
      return false;
    }
    for (unsigned i = 0; i < 1000; ++i) {
      std::string candidate = std::string(temp) + "zfixbuild-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(i);
      if (CreateDirectoryA(candidate.c_str(), NULL)) {
        path = candidate;
        return true;
      }
    }
    *why = std::string("cannot make a work folder in ") + temp;
    return false;
  }
  static void Remove(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        std::string child = dir + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Remove(child);
        else DeleteFileA(child.c_str());
      } while (FindNextFileA(h, &fd));
      FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
  }
  ~WorkFolder() {
    if (!path.empty()) Remove(path);
  }
};

}  // namespace

int CmdBuild(int argc, char** argv) {
  const char* usage = "usage: zfixbuild build DESCRIPTION [-o FIX.exe] [--stub zfix.exe] [--tools DIR] [--jobs N]";
  unsigned jobs = DefaultJobs();
  if (argc < 3) return Fail(usage);
  std::string description = FullPath(argv[2]), out, stub = ExeFolder() + "\\zfix.exe", tools = ExeFolder();
  for (int i = 3; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "-o" && i + 1 < argc) out = FullPath(argv[++i]);
    else if (a == "--stub" && i + 1 < argc) stub = FullPath(argv[++i]);
    else if (a == "--tools" && i + 1 < argc) tools = FullPath(argv[++i]);
    else if (a == "--jobs" && i + 1 < argc) {
      std::string v = argv[++i];
      char* end = NULL;
      unsigned long n = strtoul(v.c_str(), &end, 10);
      if (v.empty() || *end || n < 1 || n > 64) return Fail("--jobs takes a number from 1 to 64, not " + v);
      jobs = (unsigned)n;
    } else return Fail("unknown option " + a + "\n" + usage);
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
      if (dot != std::string::npos && dot > out.find_last_of("\\/") + 1) out.erase(dot);
      out += ".exe";
    }
  }

  // A stub that is already a fix would lend the new one the resources it does not replace.
  HMODULE module = LoadLibraryExA(stub.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return Fail("cannot load the stub " + stub + " as a data file");
  std::string fixResource = FixResourceIn(module);
  FreeLibrary(module);
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
  for (const std::string& line : components) printf("%s\n", line.c_str());
  for (const std::string& note : notes) fprintf(stderr, "zfixbuild: note: %s\n", note.c_str());
  if (!WriteFix(out, stub, tools, folder, d, fix, &why)) return Fail(why);

  // One write for the whole listing: under Wine a line at a time to a redirected stdout took
  // seconds for a fixpack, all of it after the parallel work.
  std::string listing = EntryListing(fix);
  fputs(listing.c_str(), stdout);
  printf("wrote %s: %u files\n", out.c_str(), (unsigned)fix.entries.size());
  return 0;
}
