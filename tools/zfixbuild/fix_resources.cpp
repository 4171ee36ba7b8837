#include "tools/zfixbuild/fix_resources.h"

#include <cctype>
#include <cstdio>

#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/fix_record.h"
#include "tools/zfixbuild/string_block.h"

namespace zfixbuild {

namespace {

constexpr unsigned kStringType = 6;  // RT_STRING

// Windows-1252's characters at 0x80..0x9F (0 where it has none).
const char16_t k1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

ResourceView View(const zfix::PeImage& image, const zfix::ResName& type, unsigned id) {
  ResourceView v;
  const zfix::PeResource* r = image.Find(type, zfix::ResName(id), zfix::RESOURCE_LANGUAGE);
  if (r) {
    v.present = true;
    v.bytes = r->data;
  }
  return v;
}

}  // namespace

std::u16string WideFrom1252(const std::string& text) {
  std::u16string out;
  for (unsigned char c : text) {
    char16_t w = c >= 0x80 && c < 0xA0 ? k1252High[c - 0x80] : c;
    out.push_back(w ? w : c);  // the five unassigned bytes map to the same code point, as Windows does
  }
  return out;
}

std::string NarrowTo1252(const std::u16string& text) {
  std::string out;
  for (char16_t w : text) {
    char c = '?';
    if (w < 0x80 || (w >= 0xA0 && w < 0x100)) {
      c = static_cast<char>(w);
    } else {
      for (unsigned k = 0; k < 32; ++k)
        if (k1252High[k] == w || (!k1252High[k] && w == 0x80 + k)) c = static_cast<char>(0x80 + k);
    }
    out.push_back(c);
  }
  return out;
}

bool AnsiFromUtf8(const std::string& utf8, std::string* ansi) {
  ansi->clear();
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
    if (extra > 3 || utf8.size() - i <= extra) return false;
    uint32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char t = static_cast<unsigned char>(utf8[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = cp << 6 | (t & 0x3F);
    }
    i += extra + 1;
    if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || cp > 0xFFFF)
      return false;  // overlong, or past 16 bits
    std::string narrow = NarrowTo1252(std::u16string(1, static_cast<char16_t>(cp)));
    if (narrow == "?" && cp != '?') return false;
    *ansi += narrow;
  }
  return true;
}

void SetResource(zfix::PeImage* image, const char* type, unsigned id, std::vector<uint8_t> bytes) {
  zfix::PeResource r;
  r.type = zfix::ResName(type);
  r.name = zfix::ResName(id);
  r.language = zfix::RESOURCE_LANGUAGE;
  r.data = std::move(bytes);
  image->Set(std::move(r));
}

void SetFixEntries(zfix::PeImage* image, BuiltFix* fix) {
  SetResource(image, zfix::RESTYPE_VERSION, 1, fix->version);
  for (size_t i = 0; i < fix->entries.size(); ++i) {
    BuiltEntry& e = fix->entries[i];
    unsigned n = static_cast<unsigned>(i + 1);
    SetResource(image, zfix::RESTYPE_FILEENTRY, n, zfix::WriteFileEntry(e.name.c_str(), e.entry));
    if (!e.payload.empty()) SetResource(image, zfix::RESTYPE_UPDATE, n, std::move(e.payload));
    e.payload = {};
  }
}

bool SetStrings(zfix::PeImage* image, const std::map<unsigned, std::string>& strings, std::string* why) {
  std::map<unsigned, std::vector<std::u16string>> blocks;
  std::map<unsigned, uint32_t> codePages;
  for (const auto& s : strings) {
    unsigned block = StringBlockId(s.first);
    if (!blocks.count(block)) {
      const zfix::PeResource* r =
          image->Find(zfix::ResName(kStringType), zfix::ResName(block), zfix::RESOURCE_LANGUAGE);
      if (!r) {
        *why = "has no string block " + std::to_string(block);
        return false;
      }
      if (!ParseStringBlock(r->data.data(), r->data.size(), &blocks[block])) {
        *why = "has a damaged string block " + std::to_string(block);
        return false;
      }
      codePages[block] = r->codePage;
    }
    blocks[block][s.first % kStringsPerBlock] = WideFrom1252(s.second);
  }
  for (const auto& b : blocks) {
    zfix::PeResource r;
    r.type = zfix::ResName(kStringType);
    r.name = zfix::ResName(b.first);
    r.language = zfix::RESOURCE_LANGUAGE;
    r.codePage = codePages[b.first];
    r.data = WriteStringBlock(b.second);
    image->Set(std::move(r));
  }
  return true;
}

std::string FixResourceIn(const zfix::PeImage& image) {
  for (const zfix::PeResource& r : image.Resources()) {
    if (r.type.isId) continue;
    // Windows finds resource names without regard to case.
    std::string type = r.type.Display();
    for (char& c : type) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const char* fixType : zfix::FIX_RESOURCE_TYPES)
      if (type == fixType) return r.type.Display() + "/" + r.name.Display();
  }
  return std::string();
}

std::string StubIsAFix(const std::string& stub, const std::string& resource) {
  return "the stub " + stub + " already carries a fix's resources (" + resource +
         "): a fix built from it would keep those that the new fix does not replace; build from the zfix.exe "
         "of the release build";
}

FixView ViewOf(const zfix::PeImage& image) {
  FixView fix;
  fix.version = View(image, zfix::ResName(zfix::RESTYPE_VERSION), 1);
  zfix::FIXHEADER header;
  if (fix.version.present && zfix::ReadFixHeader(fix.version.bytes.data(), fix.version.bytes.size(), &header)) {
    for (uint32_t n = 1; n <= header.dwFileEntries && n <= 10000; ++n) {
      fix.records[n] = View(image, zfix::ResName(zfix::RESTYPE_FILEENTRY), n);
      fix.updates[n] = View(image, zfix::ResName(zfix::RESTYPE_UPDATE), n);
    }
  }
  for (const char* type :
       {zfix::RESTYPE_LICENSEENTRY, zfix::RESTYPE_UPDATE64ENTRY, zfix::RESTYPE_UPDATECABENTRY, zfix::RESTYPE_TOOLENTRY})
    fix.carried[type] = View(image, zfix::ResName(type), 1);
  for (int id : zfix::FIX_STRING_IDS) {
    ResourceView block = View(image, zfix::ResName(kStringType), StringBlockId(id));
    std::vector<std::u16string> strings;
    if (block.present && ParseStringBlock(block.bytes.data(), block.bytes.size(), &strings))
      fix.strings[id] = NarrowTo1252(strings[id % kStringsPerBlock]);
  }
  return fix;
}

std::string EntryListing(const BuiltFix& fix) {
  std::string listing;
  for (size_t i = 0; i < fix.entries.size(); ++i) {
    const BuiltEntry& e = fix.entries[i];
    char line[128];
    std::snprintf(line, sizeof line, "%4u %-10s %-11s %10lu -> %10lu  payload %10lu  ", static_cast<unsigned>(i + 1),
                  OperationName(e.entry.dwOperation), DirName(e.entry.dwDir),
                  static_cast<unsigned long>(e.entry.dwOldSize), static_cast<unsigned long>(e.entry.dwNewSize),
                  static_cast<unsigned long>(e.payload.size()));
    listing += line;
    listing += e.name;
    listing += '\n';
  }
  return listing;
}

}  // namespace zfixbuild
