#include "tools/zfixbuild/cabinet_native.h"

#include <libgcab.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/zfixbuild/fix_resources.h"

namespace zfixbuild {

namespace {

// libgcab writes one folder, and a folder counts its 32 KB blocks in 16 bits.
const uint64_t kFolderLimit = 65535ull * 32768;
// The header counts the cabinet's files in 16 bits, and libgcab does not refuse more.
const size_t kMemberLimit = 65535;
// FDI takes member names of at most this many bytes.
const size_t kNameLimit = 255;

// An upper-cased UTF-16 unit as NTFS's upcase table has it, for the characters of Windows-1252.
char16_t UpcaseUnit(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 0x20);
  switch (c) {
    case 0xB5: return 0x39C;
    case 0xFF: return 0x178;
    case 0x153: return 0x152;
    case 0x161: return 0x160;
    case 0x17E: return 0x17D;
    default: return c;
  }
}

// A Windows-1252 name's folders and file name, each in UTF-16 upper case.
std::vector<std::u16string> UpcasedParts(const std::string& stored) {
  std::vector<std::u16string> parts(1);
  for (char16_t c : WideFrom1252(stored)) {
    if (c == u'\\')
      parts.emplace_back();
    else
      parts.back().push_back(UpcaseUnit(c));
  }
  return parts;
}

// <0, 0 or >0 as a comes before, with or after b in cabarc's walk.
int WalkCompare(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b) {
  for (size_t i = 0;; ++i) {
    bool aFile = i + 1 == a.size(), bFile = i + 1 == b.size();
    if (aFile != bFile) return aFile ? -1 : 1;  // a folder's files before its subfolders
    int c = a[i].compare(b[i]);
    if (c != 0 || aFile) return c;
  }
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | c >> 12));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

std::string Message(GError* error) {
  std::string text = error ? error->message : "unknown error";
  if (error) g_error_free(error);
  return text;
}

bool Write(GCabCabinet* cabinet, const std::string& path, std::string* why) {
  GError* error = nullptr;
  GFile* file = g_file_new_for_path(path.c_str());
  GFileOutputStream* out = g_file_replace(file, nullptr, FALSE, G_FILE_CREATE_NONE, nullptr, &error);
  bool ok = out && gcab_cabinet_write_simple(cabinet, G_OUTPUT_STREAM(out), nullptr, nullptr, nullptr, &error);
  if (out) ok = g_output_stream_close(G_OUTPUT_STREAM(out), nullptr, ok ? &error : nullptr) && ok;
  if (!ok) *why = "cannot write the cabinet " + path + ": " + Message(error);
  if (out) g_object_unref(out);
  g_object_unref(file);
  return ok;
}

}  // namespace

uint32_t DosDateTime(uint32_t unixTime) {
  time_t t = static_cast<time_t>(unixTime);
  struct tm local;
  if (!localtime_r(&t, &local) || local.tm_year < 80 || local.tm_year > 207) return 0x21u << 16;
  uint32_t date = static_cast<uint32_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday);
  uint32_t time = static_cast<uint32_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2);
  return date << 16 | time;
}

void SortInWalkOrder(std::vector<CabinetMember>* members) {
  std::vector<std::pair<std::vector<std::u16string>, size_t>> keys;
  for (size_t i = 0; i < members->size(); ++i) keys.emplace_back(UpcasedParts((*members)[i].stored), i);
  std::stable_sort(keys.begin(), keys.end(),
                   [](const auto& a, const auto& b) { return WalkCompare(a.first, b.first) < 0; });
  std::vector<CabinetMember> sorted;
  for (const auto& k : keys) sorted.push_back((*members)[k.second]);
  members->swap(sorted);
}

bool WriteCabinet(std::vector<CabinetMember> members, const std::string& path, std::string* why) {
  SortInWalkOrder(&members);
  // The cabinet is named without its folder, a work folder that is gone when the build ends.
  std::string name = path.substr(path.find_last_of('/') + 1);
  GCabCabinet* cabinet = gcab_cabinet_new();
  GCabFolder* folder = gcab_folder_new(GCAB_COMPRESSION_MSZIP);
  bool ok = true;
  uint64_t total = 0;
  GError* error = nullptr;
  if (members.size() > kMemberLimit) {
    *why = name + " would hold " + std::to_string(members.size()) + " files; a cabinet holds at most " +
           std::to_string(kMemberLimit);
    ok = false;
  }
  for (size_t i = 0; ok && i < members.size(); ++i) {
    const CabinetMember& m = members[i];
    // cabarc takes a folder's files once each, whatever their case; two members of one name
    // would unpack as one file.
    if (i > 0 && WalkCompare(UpcasedParts(members[i - 1].stored), UpcasedParts(m.stored)) == 0) {
      *why = "two files would have the name " + Utf8(WideFrom1252(m.stored)) + " in " + name + ": " +
             members[i - 1].path + " and " + m.path;
      ok = false;
      break;
    }
    std::string stored = Utf8(WideFrom1252(m.stored));
    if (stored.size() > kNameLimit) {
      *why = "the member " + stored + " of " + name + " has " + std::to_string(stored.size()) +
             " bytes; the installer takes names of at most " + std::to_string(kNameLimit);
      ok = false;
      break;
    }
    struct stat st;
    if (stat(m.path.c_str(), &st) != 0) {
      *why = "cannot read " + m.path + ": " + std::strerror(errno);
      ok = false;
      break;
    }
    total += static_cast<uint64_t>(st.st_size);
    if (total > kFolderLimit) {
      *why =
          "the files for " + name + " exceed " + std::to_string(kFolderLimit) + " bytes, what one cabinet folder holds";
      ok = false;
      break;
    }
    uint32_t dos = DosDateTime(m.time);
    GFile* source = g_file_new_for_path(m.path.c_str());
    GCabFile* member = gcab_file_new_with_file(stored.c_str(), source);
    ok = gcab_folder_add_file(folder, member, FALSE, nullptr, &error);
    if (ok) {
      // Set after adding: adding takes the file's own time and attributes.
      GDateTime* when = g_date_time_new_utc(static_cast<int>(1980 + (dos >> 25)), static_cast<int>(dos >> 21 & 15),
                                            static_cast<int>(dos >> 16 & 31), static_cast<int>(dos >> 11 & 31),
                                            static_cast<int>(dos >> 5 & 63), 2.0 * (dos & 31));
      gcab_file_set_date_time(member, when);
      g_date_time_unref(when);
      // The archive bit, as Windows leaves it on every written file; read-only as the file is.
      uint32_t attributes = GCAB_FILE_ATTRIBUTE_ARCH;
      if (!(st.st_mode & S_IWUSR)) attributes |= GCAB_FILE_ATTRIBUTE_RDONLY;
      gcab_file_set_attributes(member, attributes);
    } else {
      *why = "cannot add " + m.path + " to " + name + ": " + Message(error);
      error = nullptr;  // freed by Message
    }
    g_object_unref(member);
    g_object_unref(source);
  }
  if (ok && !gcab_cabinet_add_folder(cabinet, folder, &error)) {
    *why = "cannot start the cabinet " + path + ": " + Message(error);
    error = nullptr;
    ok = false;
  }
  std::string temp = path + ".part";
  if (ok) ok = Write(cabinet, temp, why);
  g_object_unref(folder);
  g_object_unref(cabinet);
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    *why = "cannot write " + path + ": " + std::strerror(errno);
    ok = false;
  }
  if (!ok) std::remove(temp.c_str());
  return ok;
}

}  // namespace zfixbuild
