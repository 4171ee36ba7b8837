#include "tools/zfixbuild/component_pack.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <stdio.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <memory>

#include "package/component_archives.h"
#include "package/file_entry.h"
#include "zip.h"
#ifndef _WIN32
#include <sys/stat.h>

#include "tools/zfixbuild/cabinet_native.h"
#endif

namespace zfixbuild {

namespace {

// The script library's version directory is held by the installer in 21 bytes.
const size_t kVersionLimit = 21;

#ifdef _WIN32
const char kSlash[] = "\\";
#else
const char kSlash[] = "/";
#endif

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.size() > start.size() && Upper(text.substr(0, start.size())) == Upper(start);
}

// The installer's zip reader takes member names of at most this many bytes.
const size_t kZipNameLimit = 255;

// A file of a component with its path inside the archive.
struct Member {
  const TreeFile* file;
  std::string stored;   // '\\' between folders
  std::string version;  // the script library's version directory
};

// The component's files of a tree, by their names as Windows compares them. *problem (when given)
// receives the first reason why the installer would not find the script library or would unpack
// it wrongly, should it be packed.
std::map<std::string, Member> MembersOf(const zfix::ComponentArchive& c, const Tree& tree,
                                        std::string* problem = nullptr) {
  std::map<std::string, Member> members;
  for (const TreeFile& f : tree) {
    if (zfix::EffectiveDir(f.dir) != c.dir) continue;
    for (const char* folder : {c.tree, c.templates}) {
      if (!folder) continue;
      std::string prefix = std::string(folder) + "\\";
      if (!StartsWith(f.name, prefix)) continue;
      std::string rest = f.name.substr(prefix.size());
      Member m{&f, rest, std::string()};
      if (c.templates) {
        size_t slash = rest.find('\\');
        if (!StartsWith(rest, zfix::kVersionPrefix) || slash == std::string::npos) continue;
        m.version = rest.substr(0, slash);
        m.stored = rest.substr(slash + 1);
        // The installer finds the version directory by its exact prefix.
        if (problem && problem->empty() &&
            m.version.compare(0, std::strlen(zfix::kVersionPrefix), zfix::kVersionPrefix) != 0) {
          *problem = std::string("the ") + c.what + "'s version directory " + m.version + " does not begin with \"" +
                     zfix::kVersionPrefix + "\" (" + f.name + "); the installer looks for exactly that";
        }
        // The installer moves the cabinet's template folder into the templates' tree.
        if (problem && problem->empty() && folder == c.tree &&
            (Upper(m.stored) == "TEMPLATE" || StartsWith(m.stored, "template\\"))) {
          *problem = f.name + " would be unpacked among the templates: the installer moves the " + c.what +
                     "'s template folder to " + c.templates + "\\" + m.version + " (put it below that folder)";
        }
        if (folder == c.templates) m.stored = "template\\" + m.stored;
      }
      members[WindowsFolded(f.name)] = m;
    }
  }
  return members;
}

bool ReadAll(const std::string& path, std::vector<uint8_t>* bytes) {
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return false;
  bytes->clear();
  uint8_t buf[1 << 16];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) bytes->insert(bytes->end(), buf, buf + n);
  bool ok = !ferror(f);
  fclose(f);
  return ok;
}

bool SameContent(const TreeFile& a, const TreeFile& b) {
  if (a.size != b.size) return false;
  std::vector<uint8_t> x, y;
  return ReadAll(a.path, &x) && ReadAll(b.path, &y) && x == y;
}

bool Differ(const std::map<std::string, Member>& base, const std::map<std::string, Member>& target) {
  if (base.size() != target.size()) return true;
  for (const auto& m : target) {
    auto it = base.find(m.first);
    if (it == base.end() || !SameContent(*it->second.file, *m.second.file)) return true;
  }
  return false;
}

#ifdef _WIN32
void MakeDirs(const std::string& path) {
  for (size_t i = path.find('\\', 3); i != std::string::npos; i = path.find('\\', i + 1))
    CreateDirectoryA(path.substr(0, i).c_str(), NULL);
  CreateDirectoryA(path.c_str(), NULL);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// cabarc -r -p n CABINET * in folder: every file below it, with its path relative to it.
bool PackCabinet(const std::string& tools, const std::string& folder, const std::string& cabinet, std::string* why) {
  std::string cabarc = tools + "\\cabarc.exe";
  std::string line = "\"" + cabarc + "\" -r -p n \"" + cabinet + "\" *";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  // Without a console of its own the tool's progress lines stay out of the builder's listing.
  if (!CreateProcessA(cabarc.c_str(), &line[0], NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, folder.c_str(), &si, &pi)) {
    *why = "cannot start " + cabarc + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  if (code != 0) {
    *why = "cabarc could not pack " + folder + " into " + cabinet + " (exit code " + std::to_string(code) + ")";
    return false;
  }
  return true;
}

// The script library's members side by side in a staging folder, as the cabinet holds them.
bool Stage(const std::vector<const Member*>& members, const std::string& stage, std::string* why) {
  for (const Member* m : members) {
    std::string to = stage + "\\" + m->stored;
    MakeDirs(FolderOf(to));
    if (!CopyFileA(m->file->path.c_str(), to.c_str(), FALSE)) {
      *why = "cannot copy " + m->file->path + " to " + to;
      return false;
    }
  }
  return true;
}

void DosTime(uint32_t unixTime, uLong* dosDate) {
  ULONGLONG t = (ULONGLONG)unixTime * 10000000ULL + 116444736000000000ULL;
  FILETIME ft = {(DWORD)t, (DWORD)(t >> 32)}, local;
  WORD date = 0x21, time = 0;
  if (FileTimeToLocalFileTime(&ft, &local)) FileTimeToDosDateTime(&local, &date, &time);
  *dosDate = ((uLong)date << 16) | time;
}
#else
// The local time's DOS date and time, as FileTimeToLocalFileTime and FileTimeToDosDateTime give
// them on Windows: the same time gives the same bytes.
void DosTime(uint32_t unixTime, uLong* dosDate) { *dosDate = DosDateTime(unixTime); }
#endif

// A zip with minizip's writer: deflated members, '/' between folders.
bool PackZip(const std::vector<const Member*>& members, const std::string& path, std::string* why) {
  zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (!zf) {
    *why = "cannot create " + path;
    return false;
  }
  bool ok = true;
  std::vector<uint8_t> bytes;
  for (const Member* m : members) {
    std::string name = m->stored;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.size() > kZipNameLimit) {
      *why = "the member " + name + " of " + path.substr(path.find_last_of(kSlash) + 1) + " has " +
             std::to_string(name.size()) + " bytes; the installer takes names of at most " +
             std::to_string(kZipNameLimit);
      ok = false;
      break;
    }
    zip_fileinfo info = {};
    DosTime(m->file->time, &info.dosDate);
    ok = ReadAll(m->file->path, &bytes) &&
         zipOpenNewFileInZip64(zf, name.c_str(), &info, NULL, 0, NULL, 0, NULL, Z_DEFLATED, Z_DEFAULT_COMPRESSION,
                               bytes.size() >= 0xFFFFFFFFull) == ZIP_OK;
    for (size_t done = 0; ok && done < bytes.size();) {
      unsigned n = (unsigned)std::min<size_t>(bytes.size() - done, 1u << 20);
      ok = zipWriteInFileInZip(zf, bytes.data() + done, n) == ZIP_OK;
      done += n;
    }
    ok = zipCloseFileInZip(zf) == ZIP_OK && ok;
    if (!ok) {
      *why = "cannot add " + m->file->path + " to " + path;
      break;
    }
  }
  if (zipClose(zf, NULL) != ZIP_OK && ok) {
    *why = "cannot write " + path;
    ok = false;
  }
  return ok;
}

void Drop(Tree* tree, const std::map<std::string, Member>& members) {
  tree->erase(std::remove_if(tree->begin(), tree->end(),
                             [&](const TreeFile& f) {
                               return zfix::EffectiveDir(f.dir) != zfix::DIR_SYSTEM &&
                                      members.count(WindowsFolded(f.name)) &&
                                      members.at(WindowsFolded(f.name)).file == &f;
                             }),
              tree->end());
}

bool PackComponent(const zfix::ComponentArchive& c, const std::string& tools, const std::string& work,
                   const std::map<std::string, Member>& members, TreeFile* archive, std::string* why) {
  std::vector<const Member*> list;
  std::string version;
  for (const auto& m : members) {
    list.push_back(&m.second);
    if (version.empty()) version = m.second.version;
    if (Upper(version) != Upper(m.second.version)) {
      *why = std::string("the fix's ") + c.what + " has more than one version directory (" + version + ", " +
             m.second.version + "); the installer replaces one";
      return false;
    }
  }
  if (c.templates &&
      std::none_of(list.begin(), list.end(), [](const Member* m) { return StartsWith(m->stored, "template\\"); })) {
    *why = std::string("the ") + c.what + " " + c.tree + "\\" + version + " has no file below " + c.templates + "\\" +
           version + "; the installer moves that folder into place once the older versions are gone";
    return false;
  }
  if (c.templates && version.size() >= kVersionLimit) {
    *why = std::string("the ") + c.what + "'s version directory " + version + " has " + std::to_string(version.size()) +
           " characters; the installer takes at most " + std::to_string(kVersionLimit - 1);
    return false;
  }
  std::string out = work + kSlash + c.archive;
  bool ok;
  uint64_t size = 0;
#ifdef _WIN32
  if (c.zip) {
    ok = PackZip(list, out, why);
  } else if (c.templates) {
    std::string stage = work + "\\stage-" + version;
    ok = Stage(list, stage, why) && PackCabinet(tools, stage, out, why);
  } else {
    // The tree itself is the folder to pack: its root lies where the members' paths begin.
    const Member& any = *list.front();
    std::string root = any.file->path.substr(0, any.file->path.size() - any.stored.size() - 1);
    ok = PackCabinet(tools, root, out, why);
  }
  if (!ok) return false;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(out.c_str(), GetFileExInfoStandard, &data)) {
    *why = "no archive was written at " + out;
    return false;
  }
  size = (uint64_t)data.nFileSizeHigh << 32 | data.nFileSizeLow;
#else
  // No cabarc.exe to run here: the cabinet gets the members that cabarc would take from the
  // tree (or from the script library's staging folder), written through libgcab.
  (void)tools;
  if (c.zip) {
    ok = PackZip(list, out, why);
  } else {
    std::vector<CabinetMember> cabinet;
    for (const Member* m : list) cabinet.push_back({m->file->path, m->stored, m->file->time});
    ok = WriteCabinet(cabinet, out, why);
  }
  if (!ok) return false;
  struct stat st;
  if (stat(out.c_str(), &st) != 0) {
    *why = "no archive was written at " + out;
    return false;
  }
  size = static_cast<uint64_t>(st.st_size);
#endif
  archive->name = zfix::ComponentEntryName(c, version);
  archive->dir = c.dir;
  archive->path = out;
  archive->size = size;
  archive->time = 0;
  for (const Member* m : list) archive->time = std::max(archive->time, m->file->time);
  return true;
}

}  // namespace

bool PackComponents(const std::string& tools, const std::string& work, Tree* base, Tree* target,
                    std::vector<std::string>* lines, std::string* why) {
  // Two files of one name on Windows would be one member, or one member and one entry.
  if (!OneFileEach(*base, "base tree", why) || !OneFileEach(*target, "target tree", why)) return false;
  std::vector<TreeFile> archives;
  for (const zfix::ComponentArchive& c : zfix::kComponents) {
    std::string problem;
    std::map<std::string, Member> before = MembersOf(c, *base), after = MembersOf(c, *target, &problem);
    if (Differ(before, after)) {
      if (!problem.empty()) {
        *why = problem;
        return false;
      }
      if (after.empty()) {
        *why = std::string("the fix removes the ") + c.what + " (" + c.tree +
               "); a component tree can only be replaced, not removed";
        return false;
      }
      TreeFile archive;
      if (!PackComponent(c, tools, work, after, &archive, why)) return false;
      lines->push_back(std::string("component ") + c.what + ": " + std::to_string(after.size()) + " files in " +
                       archive.name);
      archives.push_back(archive);
    }
    Drop(base, before);
    Drop(target, after);
  }
  target->insert(target->end(), archives.begin(), archives.end());
  return true;
}

}  // namespace zfixbuild
