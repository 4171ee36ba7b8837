#include "package/pe_resources.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <map>

namespace zfix {

namespace {

// Offsets in the headers of a PE32 image.
constexpr size_t kFileHeader = 4;       // after "PE\0\0"
constexpr size_t kOptionalHeader = 24;  // signature + file header
constexpr size_t kSectionHeader = 40;
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr unsigned kDirResource = 2, kDirSecurity = 4, kDirRelocations = 5, kDirDebug = 6;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr uint32_t kDataAlignment = 8;  // each resource's bytes start on this boundary
constexpr size_t kMaxTableEntries = 0xFFFF;  // a directory table counts its entries in 16 bits
constexpr size_t kDebugEntry = 28;           // IMAGE_DEBUG_DIRECTORY

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

uint64_t AlignUp(uint64_t v, uint32_t alignment) { return (v + alignment - 1) / alignment * alignment; }

bool PowerOfTwo(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

char16_t Upper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; }

// -1, 0, 1 for a before, equal to, after b, without regard to ASCII case.
int CompareFolded(const std::u16string& a, const std::u16string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Upper(a[i]), y = Upper(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool EntryLess(const PeResource& a, const PeResource& b) {
  if (!(a.type == b.type)) return a.type < b.type;
  if (!(a.name == b.name)) return a.name < b.name;
  return a.language < b.language;
}

const char* const kLevelNames[] = {"type", "name", "language"};

}  // namespace

ResName::ResName(const char* ascii) : isId(false) {
  for (const char* p = ascii; *p; ++p) text.push_back(static_cast<unsigned char>(*p));
}

std::string ResName::Display() const {
  if (isId) return std::to_string(id);
  std::string out;
  for (char16_t c : text) out.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  return out;
}

bool operator==(const ResName& a, const ResName& b) {
  return a.isId == b.isId && (a.isId ? a.id == b.id : a.text == b.text);
}

bool operator<(const ResName& a, const ResName& b) {
  if (a.isId != b.isId) return !a.isId;
  if (a.isId) return a.id < b.id;
  int folded = CompareFolded(a.text, b.text);
  return folded != 0 ? folded < 0 : a.text < b.text;
}

uint32_t PeChecksum(const uint8_t* data, size_t size, size_t checksumAt) {
  uint64_t sum = 0;
  for (size_t i = 0; i < size; i += 2) {
    uint32_t word = data[i];
    if (i + 1 < size) word |= static_cast<uint32_t>(data[i + 1]) << 8;
    // The checksum field's two words count as zero.
    if (i >= checksumAt && i < checksumAt + 4) word = 0;
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + size);
}

bool PeImage::Mapped(uint32_t rva, uint32_t size, size_t* fileOffset) const {
  for (const Section& s : sections_) {
    // A section without stored bytes holds no data, not even an empty run: its raw pointer
    // need not lie in the file.
    if (!s.rawSize) continue;
    uint32_t readable = s.virtualSize ? std::min(s.virtualSize, s.rawSize) : s.rawSize;
    if (rva >= s.virtualAddress && rva - s.virtualAddress <= readable && size <= readable - (rva - s.virtualAddress)) {
      *fileOffset = s.rawPointer + (rva - s.virtualAddress);
      return true;
    }
  }
  return false;
}

bool PeImage::ReadDirectory(uint32_t offset, int level, PeResource* path, std::map<uint32_t, uint32_t>* tables,
                            std::vector<uint32_t>* onPath, std::string* why) {
  size_t start = resourceStart_;
  size_t limit = resourceBytesEnd_ - start;  // bytes of the resource section from its directory on
  if (std::find(onPath->begin(), onPath->end(), offset) != onPath->end()) {
    *why = "the resource directory tree loops: the directory at offset " + Hex(offset) + " contains itself";
    return false;
  }
  if (tables->count(offset)) {
    *why = "the resource directory at offset " + Hex(offset) + " is reached twice";
    return false;
  }
  if (offset > limit || limit - offset < 16) {
    *why = "the resource directory at offset " + Hex(offset) + " lies outside the resource section";
    return false;
  }
  const uint8_t* table = file_.data() + start + offset;
  size_t count = static_cast<size_t>(Get16(table + 12)) + Get16(table + 14);
  if ((limit - offset - 16) / 8 < count) {
    *why = "the resource directory at offset " + Hex(offset) + " has " + std::to_string(count) +
           " entries, more than the resource section holds";
    return false;
  }
  // Tables that share bytes would read the same entries again for each of them: a small file
  // could claim billions. Each entry is then read once, and the entries are at most an eighth
  // of the section.
  uint32_t end = offset + 16 + static_cast<uint32_t>(8 * count);
  auto next = tables->upper_bound(offset);
  uint32_t other = next != tables->end() && next->first < end ? next->first : offset;
  if (next != tables->begin() && std::prev(next)->second > offset) other = std::prev(next)->first;
  if (other != offset) {
    *why = "the resource directory at offset " + Hex(offset) + " overlaps the one at offset " + Hex(other);
    return false;
  }
  tables->emplace(offset, end);
  onPath->push_back(offset);  // at most three deep
  ResName previous;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = table + 16 + 8 * i;
    uint32_t nameField = Get32(entry), dataField = Get32(entry + 4);
    ResName name;
    if (nameField & kHighBit) {
      uint32_t at = nameField & ~kHighBit;
      if (at > limit || limit - at < 2 || (limit - at - 2) / 2 < Get16(file_.data() + start + at)) {
        *why = "a resource " + std::string(kLevelNames[level]) + " name at offset " + Hex(at) +
               " runs past the resource section";
        return false;
      }
      size_t length = Get16(file_.data() + start + at);
      if (!ChargeNames(2 * length, why)) return false;
      name.isId = false;
      for (size_t k = 0; k < length; ++k) name.text.push_back(Get16(file_.data() + start + at + 2 + 2 * k));
    } else {
      name = ResName(nameField & 0xFFFF);
    }
    // Windows finds a resource by a binary search of each table: an entry out of order could
    // not be found, and one given twice is ambiguous. Names may follow either the resource
    // compiler's order (without regard to case) or windres's (by UTF-16 unit).
    if (i > 0 && !(previous < name || (!previous.isId && !name.isId && previous.text < name.text))) {
      *why = "the resource " + std::string(kLevelNames[level]) + " entries at offset " + Hex(offset) +
             " are out of order or repeated (" + name.Display() + " after " + previous.Display() + ")";
      return false;
    }
    previous = name;
    if (level == 0)
      path->type = name;
    else if (level == 1)
      path->name = name;
    else
      path->language = name.isId ? name.id : 0;
    bool isDirectory = (dataField & kHighBit) != 0;
    if (level < 2) {
      if (!isDirectory) {
        *why = "the resource " + std::string(kLevelNames[level]) + " entry " + name.Display() +
               " points at data instead of a directory";
        return false;
      }
      if (!ReadDirectory(dataField & ~kHighBit, level + 1, path, tables, onPath, why)) return false;
      continue;
    }
    if (isDirectory || !name.isId) {
      *why = "the language entry of resource " + path->type.Display() + "/" + path->name.Display() +
             " is not a language id with data";
      return false;
    }
    if (dataField > limit || limit - dataField < 16) {
      *why = "the data entry of resource " + path->type.Display() + "/" + path->name.Display() + " at offset " +
             Hex(dataField) + " lies outside the resource section";
      return false;
    }
    const uint8_t* data = file_.data() + start + dataField;
    uint32_t rva = Get32(data), size = Get32(data + 4);
    size_t at = 0;
    if (!Mapped(rva, size, &at)) {
      *why = "the data of resource " + path->type.Display() + "/" + path->name.Display() + " (" + std::to_string(size) +
             " bytes at " + Hex(rva) + ") lies outside the file's sections";
      return false;
    }
    // Every resource's bytes are copied: entries that share bytes would let a small file
    // claim more memory than it holds.
    if (size > file_.size() - dataBytes_) {
      *why = "the resources' data add up to more than the " + std::to_string(file_.size()) +
             "-byte file holds (entries share their bytes)";
      return false;
    }
    // So are its type's and name's texts.
    if (!ChargeNames(2 * (path->type.text.size() + path->name.text.size()), why)) return false;
    dataBytes_ += size;
    PeResource r = *path;
    r.codePage = Get32(data + 8);
    r.data.assign(file_.begin() + at, file_.begin() + at + size);
    resources_.push_back(std::move(r));
  }
  onPath->pop_back();
  return true;
}

// Names are read where an entry names them and copied into every resource below them: one
// long name shared by many entries would let a small file claim gigabytes. What is read and
// copied may add up to twice the resource section's size: a name read and copied once fits,
// and a resource compiler's files stay far below (each resource takes at least 48 bytes of
// tables, its copies only its type's and name's lengths).
bool PeImage::ChargeNames(size_t bytes, std::string* why) {
  size_t budget = 2 * (resourceBytesEnd_ - resourceStart_);
  if (bytes > budget - nameBytes_) {
    *why = "the resources' names add up to more than twice the " + std::to_string(budget / 2) +
           "-byte resource section (entries share their names)";
    return false;
  }
  nameBytes_ += bytes;
  return true;
}

bool PeImage::Parse(const std::vector<uint8_t>& file, std::string* why) {
  *this = PeImage();
  file_ = file;
  const size_t size = file_.size();
  const uint8_t* p = file_.data();
  if (size < 0x40 || p[0] != 'M' || p[1] != 'Z') {
    *why = "not a Windows executable (no MZ header)";
    return false;
  }
  uint32_t pe = Get32(p + 0x3C);
  if (pe > size || size - pe < kOptionalHeader) {
    *why =
        "truncated: the PE header at " + Hex(pe) + " lies past the end of the " + std::to_string(size) + "-byte file";
    return false;
  }
  // The checksum is summed in 16-bit words from the file's start, its own field counted as zero:
  // that field must be a pair of whole words.
  if (pe % 2) {
    *why = "the PE header at " + Hex(pe) + " lies on an odd offset";
    return false;
  }
  if (Get32(p + pe) != 0x00004550) {
    *why = "not a PE image (no PE signature at " + Hex(pe) + ")";
    return false;
  }
  const uint8_t* header = p + pe + kFileHeader;
  uint16_t machine = Get16(header), sectionCount = Get16(header + 2), optionalSize = Get16(header + 16);
  timeStamp_ = Get32(header + 4);
  optional_ = pe + kOptionalHeader;
  if (size - optional_ < 2) {
    *why = "truncated: the file ends in the PE header";
    return false;
  }
  if (Get16(p + optional_) != kMagicPe32 || machine != kMachineI386) {
    *why = "not a 32-bit i386 image (machine " + Hex(machine) + ", optional header magic " + Hex(Get16(p + optional_)) +
           ")";
    return false;
  }
  if (optionalSize < 96 || size - optional_ < optionalSize) {
    *why = "truncated: the optional header (" + std::to_string(optionalSize) + " bytes) is cut short";
    return false;
  }
  checksum_ = Get32(p + optional_ + 64);
  directories_ = Get32(p + optional_ + 92);
  if (directories_ > (optionalSize - 96u) / 8) {
    *why = "the optional header names " + std::to_string(directories_) + " data directories, more than it holds";
    return false;
  }
  size_t table = optional_ + optionalSize;
  if ((size - table) / kSectionHeader < sectionCount) {
    *why = "truncated: the section table (" + std::to_string(sectionCount) + " sections) runs past the end of the file";
    return false;
  }
  for (unsigned i = 0; i < sectionCount; ++i) {
    const uint8_t* h = p + table + kSectionHeader * i;
    Section s;
    for (int k = 0; k < 8 && h[k]; ++k) s.name.push_back(static_cast<char>(h[k]));
    s.virtualSize = Get32(h + 8);
    s.virtualAddress = Get32(h + 12);
    s.rawSize = Get32(h + 16);
    s.rawPointer = Get32(h + 20);
    s.headerAt = table + kSectionHeader * i;
    if (s.rawSize && (s.rawPointer > size || size - s.rawPointer < s.rawSize)) {
      *why = "truncated: section " + s.name + " (" + std::to_string(s.rawSize) + " bytes at " + Hex(s.rawPointer) +
             ") runs past the end of the " + std::to_string(size) + "-byte file";
      return false;
    }
    sections_.push_back(s);
  }
  if (directories_ <= kDirResource || Get32(p + optional_ + 96 + 8 * kDirResource) == 0) {
    *why = "no resource section (the resource directory is empty)";
    return false;
  }
  resourceRva_ = Get32(p + optional_ + 96 + 8 * kDirResource);
  resourceSection_ = sections_.size();
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    uint32_t span = std::max(s.virtualSize, s.rawSize);
    if (resourceRva_ >= s.virtualAddress && resourceRva_ - s.virtualAddress < span) resourceSection_ = i;
  }
  if (resourceSection_ == sections_.size()) {
    *why = "no resource section: the resource directory at " + Hex(resourceRva_) + " lies in no section";
    return false;
  }
  const Section& rs = sections_[resourceSection_];
  uint32_t readable = rs.virtualSize ? std::min(rs.virtualSize, rs.rawSize) : rs.rawSize;
  if (resourceRva_ - rs.virtualAddress >= readable) {
    *why = "truncated: the resource directory at " + Hex(resourceRva_) + " lies past the stored bytes of section " +
           rs.name;
    return false;
  }
  resourceStart_ = rs.rawPointer + (resourceRva_ - rs.virtualAddress);
  resourceBytesEnd_ = static_cast<size_t>(rs.rawPointer) + readable;
  PeResource path;
  std::map<uint32_t, uint32_t> tables;  // the directory tables read: offset, end
  std::vector<uint32_t> onPath;
  if (!ReadDirectory(0, 0, &path, &tables, &onPath, why)) return false;
  // Read in directory order but for names in windres's order, and the same name might be
  // given once in each order.
  std::stable_sort(resources_.begin(), resources_.end(), EntryLess);
  auto twice = std::adjacent_find(resources_.begin(), resources_.end(),
                                  [](const PeResource& a, const PeResource& b) { return !EntryLess(a, b); });
  if (twice != resources_.end()) {
    *why = "resource " + twice->type.Display() + "/" + twice->name.Display() + " language " +
           std::to_string(twice->language) + " appears twice";
    return false;
  }
  return true;
}

const PeResource* PeImage::Find(const ResName& type, const ResName& name, uint16_t language) const {
  PeResource key;
  key.type = type;
  key.name = name;
  key.language = language;
  auto it = std::lower_bound(resources_.begin(), resources_.end(), key, EntryLess);
  return it != resources_.end() && !EntryLess(key, *it) ? &*it : nullptr;
}

void PeImage::Set(PeResource r) {
  auto it = std::lower_bound(resources_.begin(), resources_.end(), r, EntryLess);
  if (it != resources_.end() && !EntryLess(r, *it))
    *it = std::move(r);
  else
    resources_.insert(it, std::move(r));
}

namespace {

// The resource section's bytes for resources in directory order, placed at rva: the directory
// tables (root, types' tables, names' tables), the data entries, the name strings, then each
// resource's bytes on an 8-byte boundary. They are appended to *out, which first gets room for
// `after` more bytes, so that what the caller appends next moves nothing (a release's resources
// run to hundreds of megabytes). Returns the section's size.
size_t LayOut(const std::vector<PeResource>& resources, uint32_t rva, size_t after, std::vector<uint8_t>* out) {
  // Tables: the root, one per type, one per type and name.
  struct Table {
    std::vector<size_t> children;  // tables below, or for a name's table the resources
    size_t offset = 0;
  };
  Table root;
  std::vector<Table> types, names;
  std::vector<const ResName*> typeNames, nameNames;
  for (size_t i = 0; i < resources.size(); ++i) {
    const PeResource& r = resources[i];
    if (types.empty() || !(*typeNames.back() == r.type)) {
      root.children.push_back(types.size());
      types.emplace_back();
      typeNames.push_back(&r.type);
    }
    if (types.back().children.empty() || !(*nameNames.back() == r.name) ||
        names.size() - 1 != types.back().children.back()) {
      types.back().children.push_back(names.size());
      names.emplace_back();
      nameNames.push_back(&r.name);
    }
    names.back().children.push_back(i);
  }
  size_t at = 16 + 8 * root.children.size();
  for (Table& t : types) {
    t.offset = at;
    at += 16 + 8 * t.children.size();
  }
  for (Table& t : names) {
    t.offset = at;
    at += 16 + 8 * t.children.size();
  }
  size_t dataEntries = at;
  at += 16 * resources.size();
  std::map<std::u16string, size_t> strings;
  std::vector<const std::u16string*> stringOrder;
  for (const ResName* n : typeNames)
    if (!n->isId && strings.emplace(n->text, 0).second) stringOrder.push_back(&n->text);
  for (const ResName* n : nameNames)
    if (!n->isId && strings.emplace(n->text, 0).second) stringOrder.push_back(&n->text);
  for (const std::u16string* s : stringOrder) {
    strings[*s] = at;
    at += 2 + 2 * s->size();
  }
  std::vector<size_t> dataAt(resources.size());
  for (size_t i = 0; i < resources.size(); ++i) {
    at = AlignUp(at, kDataAlignment);
    dataAt[i] = at;
    at += resources[i].data.size();
  }
  const size_t base = out->size();
  out->reserve(base + at + after);
  out->resize(base + at, 0);
  uint8_t* section = out->data() + base;

  auto nameField = [&](const ResName& n) {
    return n.isId ? static_cast<uint32_t>(n.id) : kHighBit | static_cast<uint32_t>(strings[n.text]);
  };
  auto writeTable = [&](size_t offset, const std::vector<const ResName*>& entryNames,
                        const std::vector<uint32_t>& targets) {
    uint8_t* t = section + offset;
    size_t named = 0;
    for (const ResName* n : entryNames) named += n->isId ? 0 : 1;
    Put16(t + 12, static_cast<uint32_t>(named));
    Put16(t + 14, static_cast<uint32_t>(entryNames.size() - named));
    for (size_t i = 0; i < entryNames.size(); ++i) {
      Put32(t + 16 + 8 * i, nameField(*entryNames[i]));
      Put32(t + 20 + 8 * i, targets[i]);
    }
  };
  {
    std::vector<const ResName*> entryNames;
    std::vector<uint32_t> targets;
    for (size_t k : root.children) {
      entryNames.push_back(typeNames[k]);
      targets.push_back(kHighBit | static_cast<uint32_t>(types[k].offset));
    }
    writeTable(0, entryNames, targets);
  }
  for (const Table& t : types) {
    std::vector<const ResName*> entryNames;
    std::vector<uint32_t> targets;
    for (size_t k : t.children) {
      entryNames.push_back(nameNames[k]);
      targets.push_back(kHighBit | static_cast<uint32_t>(names[k].offset));
    }
    writeTable(t.offset, entryNames, targets);
  }
  std::vector<ResName> languages(resources.size());
  for (const Table& t : names) {
    std::vector<const ResName*> entryNames;
    std::vector<uint32_t> targets;
    for (size_t i : t.children) {
      languages[i] = ResName(resources[i].language);
      entryNames.push_back(&languages[i]);
      targets.push_back(static_cast<uint32_t>(dataEntries + 16 * i));
    }
    writeTable(t.offset, entryNames, targets);
  }
  for (size_t i = 0; i < resources.size(); ++i) {
    uint8_t* e = section + dataEntries + 16 * i;
    Put32(e, rva + static_cast<uint32_t>(dataAt[i]));
    Put32(e + 4, static_cast<uint32_t>(resources[i].data.size()));
    Put32(e + 8, resources[i].codePage);
    std::copy(resources[i].data.begin(), resources[i].data.end(), section + dataAt[i]);
  }
  for (const std::u16string* s : stringOrder) {
    uint8_t* t = section + strings[*s];
    Put16(t, static_cast<uint32_t>(s->size()));
    for (size_t k = 0; k < s->size(); ++k) Put16(t + 2 + 2 * k, (*s)[k]);
  }
  return at;
}

}  // namespace

bool PeImage::Write(std::vector<uint8_t>* out, std::string* why) const {
  const uint8_t* p = file_.data();
  auto directory = [&](unsigned k, unsigned field) -> uint32_t {
    return k < directories_ ? Get32(p + optional_ + 96 + 8 * k + 4 * field) : 0;
  };
  uint32_t sectionAlignment = Get32(p + optional_ + 32), fileAlignment = Get32(p + optional_ + 36);
  if (!PowerOfTwo(fileAlignment) || fileAlignment < 0x200 || fileAlignment > 0x10000 || !PowerOfTwo(sectionAlignment) ||
      sectionAlignment < fileAlignment) {
    *why = "unusual alignment (sections " + Hex(sectionAlignment) + ", file " + Hex(fileAlignment) +
           "): cannot lay out a new resource section";
    return false;
  }
  if (directory(kDirSecurity, 0) || directory(kDirSecurity, 1)) {
    *why = "the image is signed (it has a certificate table): new resources would break its signature";
    return false;
  }
  if (Get32(p + optional_ - kOptionalHeader + kFileHeader + 8)) {
    *why = "the image has a COFF symbol table, which the new layout would leave behind";
    return false;
  }
  const Section& rs = sections_[resourceSection_];
  if (resourceRva_ != rs.virtualAddress) {
    *why = "the resource directory does not start its section " + rs.name + ": cannot replace the section";
    return false;
  }
  // The sections behind it move by the difference of the stored sizes.
  if (rs.rawPointer % fileAlignment || rs.rawSize % fileAlignment) {
    *why = "the resource section " + rs.name + " (" + Hex(rs.rawSize) + " bytes at " + Hex(rs.rawPointer) +
           ") is not aligned to the file alignment " + Hex(fileAlignment) + ": the sections after it would be too";
    return false;
  }
  uint64_t fileEnd = 0;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    if (s.rawSize) fileEnd = std::max<uint64_t>(fileEnd, static_cast<uint64_t>(s.rawPointer) + s.rawSize);
    if (i > 0 && s.virtualAddress <= sections_[i - 1].virtualAddress) {
      *why = "the sections are not in address order (" + s.name + ")";
      return false;
    }
    if (i > 0 && s.rawSize && sections_[i - 1].rawSize && s.rawPointer < sections_[i - 1].rawPointer) {
      *why = "the sections are not in file order (" + s.name + ")";
      return false;
    }
  }
  // The new section is written over the old one's place: nothing else may share it.
  size_t headersEnd = sections_.back().headerAt + kSectionHeader;
  if (rs.rawPointer < headersEnd || rs.rawPointer < Get32(p + optional_ + 60)) {
    *why = "the resource section " + rs.name + " starts inside the headers";
    return false;
  }
  uint64_t rsRawEnd = static_cast<uint64_t>(rs.rawPointer) + rs.rawSize;
  uint64_t rsVirtualEnd = static_cast<uint64_t>(rs.virtualAddress) + std::max(rs.virtualSize, rs.rawSize);
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    if (i == resourceSection_) continue;
    bool before = i < resourceSection_;
    bool rawOverlaps = s.rawSize && (before ? static_cast<uint64_t>(s.rawPointer) + s.rawSize > rs.rawPointer
                                            : s.rawPointer < rsRawEnd);
    bool virtualOverlaps =
        before ? static_cast<uint64_t>(s.virtualAddress) + std::max(s.virtualSize, s.rawSize) > rs.virtualAddress
               : s.virtualAddress < rsVirtualEnd;
    if (rawOverlaps || virtualOverlaps) {
      *why = "section " + s.name + " overlaps the resource section " + rs.name;
      return false;
    }
  }
  if (file_.size() > fileEnd) {
    *why = std::to_string(file_.size() - fileEnd) +
           " bytes follow the last section (appended data or a signature): the new layout would lose them";
    return false;
  }
  // Another directory inside the resource section would be overwritten by the new resources;
  // one outside every section might be covered by the grown one.
  for (unsigned k = 0; k < directories_; ++k) {
    uint32_t at = directory(k, 0);
    if (k == kDirResource || k == kDirSecurity || !at) continue;
    size_t in = sections_.size();
    for (size_t i = 0; i < sections_.size(); ++i) {
      const Section& s = sections_[i];
      if (at >= s.virtualAddress && at - s.virtualAddress < std::max(s.virtualSize, s.rawSize)) in = i;
    }
    if (in == resourceSection_ || in == sections_.size()) {
      *why = "data directory " + std::to_string(k) + " (at " + Hex(at) + ") lies " +
             (in == resourceSection_ ? "inside the resource section " + rs.name : std::string("in no section"));
      return false;
    }
  }
  // What follows the resource section must move with it. Only the base relocations can: nothing
  // in the image refers to them but the data directory. A section of code or data would be
  // reached at its old address.
  for (size_t i = resourceSection_ + 1; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    bool relocations = directory(kDirRelocations, 0) == s.virtualAddress && s.rawSize != 0;
    for (unsigned k = 0; k < directories_ && relocations; ++k) {
      uint32_t at = directory(k, 0);
      if (k != kDirRelocations && k != kDirSecurity && at && at >= s.virtualAddress &&
          at - s.virtualAddress < std::max(s.virtualSize, s.rawSize))
        relocations = false;
    }
    if (!relocations) {
      *why = "section " + s.name + " follows the resource section " + rs.name +
             " and is not the base relocations: it cannot be moved to make room";
      return false;
    }
  }
  // The relocations move and the resources change, but nothing would tell the code: an address
  // that the image holds of either would point at the old place. Every address that the loader
  // relocates, and every relocated page, must lie before the resource section.
  uint32_t relocAt = directory(kDirRelocations, 0), relocSize = directory(kDirRelocations, 1);
  uint32_t imageBase = Get32(p + optional_ + 28);
  size_t relocFile = 0;
  if (relocAt && relocSize && !Mapped(relocAt, relocSize, &relocFile)) {
    *why = "the base relocations (" + std::to_string(relocSize) + " bytes at " + Hex(relocAt) +
           ") lie outside the file's sections";
    return false;
  }
  for (uint32_t pos = 0; relocAt && pos < relocSize;) {
    const uint8_t* block = p + relocFile + pos;
    uint32_t page = relocSize - pos >= 8 ? Get32(block) : 0, blockSize = relocSize - pos >= 8 ? Get32(block + 4) : 0;
    if (blockSize < 8 || blockSize > relocSize - pos || blockSize % 2) {
      *why = "the base relocations are damaged (the block at " + Hex(relocAt + pos) + ")";
      return false;
    }
    if (page >= rs.virtualAddress) {
      *why = "base relocations for the page at " + Hex(page) + " lie at or past the resource section " + rs.name +
             ", which is rewritten and moves what follows it";
      return false;
    }
    for (uint32_t k = 8; k < blockSize; k += 2) {
      uint16_t fixup = Get16(block + k);
      unsigned type = fixup >> 12;
      uint32_t at = page + (fixup & 0xFFF);
      if (type == 0) continue;  // padding
      size_t valueAt = 0;
      if (type != 3 || at >= rs.virtualAddress || !Mapped(at, 4, &valueAt)) {
        *why = "a base relocation (type " + std::to_string(type) + " at " + Hex(at) +
               ") is not a 32-bit address in the stored bytes before the resource section " + rs.name;
        return false;
      }
      uint32_t value = Get32(p + valueAt);
      if (value >= imageBase && value - imageBase >= rs.virtualAddress) {
        *why = "the address at " + Hex(at) + " points at " + Hex(value - imageBase) +
               ", at or past the start of the resource section " + rs.name +
               ", which is rewritten and moves what follows it";
        return false;
      }
    }
    pos += blockSize;
  }
  uint32_t debugAt = directory(kDirDebug, 0), debugSize = directory(kDirDebug, 1);
  size_t debugFile = 0;
  if (debugAt && debugSize && !Mapped(debugAt, debugSize, &debugFile)) {
    *why = "the debug directory (" + std::to_string(debugSize) + " bytes at " + Hex(debugAt) +
           ") lies outside the file's sections";
    return false;
  }
  for (uint32_t k = 0; debugAt && debugSize - k >= kDebugEntry && k < debugSize; k += kDebugEntry) {
    uint32_t address = Get32(p + debugFile + k + 20), stored = Get32(p + debugFile + k + 24);
    if ((address && address >= rs.virtualAddress) || (stored && stored >= rs.rawPointer)) {
      *why = "debug data (at " + Hex(address) + ", stored at " + Hex(stored) +
             ") lies at or past the resource section " + rs.name + ", which is rewritten and moves what follows it";
      return false;
    }
  }
  // Each table counts its entries in 16 bits: the root (types), each type's (names), each
  // name's (languages).
  {
    size_t types = 0, names = 0, languages = 0;
    for (size_t i = 0; i <= resources_.size(); ++i) {
      bool end = i == resources_.size();
      bool newType = end || i == 0 || !(resources_[i].type == resources_[i - 1].type);
      bool newName = newType || !(resources_[i].name == resources_[i - 1].name);
      if (i > 0 && newName && languages > kMaxTableEntries) {
        *why = "the resource directory of " + resources_[i - 1].type.Display() + "/" +
               resources_[i - 1].name.Display() + " would have " + std::to_string(languages) +
               " entries; a table holds at most 65535";
        return false;
      }
      if (i > 0 && newType && names > kMaxTableEntries) {
        *why = "the resource directory of type " + resources_[i - 1].type.Display() + " would have " +
               std::to_string(names) + " entries; a table holds at most 65535";
        return false;
      }
      if (end) break;
      if (newType) {
        ++types;
        names = 0;
      }
      if (newName) {
        ++names;
        languages = 0;
      }
      ++languages;
    }
    if (types > kMaxTableEntries) {
      *why = "the resource directory would have " + std::to_string(types) + " types; a table holds at most 65535";
      return false;
    }
  }

  // The image up to the resource section, the new section, its padding, what followed the old one.
  uint64_t oldRawEnd = static_cast<uint64_t>(rs.rawPointer) + rs.rawSize;
  size_t tail = static_cast<size_t>(file_.size() - oldRawEnd);
  out->assign(file_.begin(), file_.begin() + rs.rawPointer);
  size_t sectionSize = LayOut(resources_, rs.virtualAddress, fileAlignment + tail, out);
  uint64_t newRaw = AlignUp(sectionSize, fileAlignment);
  if (newRaw > 0x7FFFFFFF || file_.size() - rs.rawSize + newRaw > 0xFFFFFFFFu) {
    *why = "the resources (" + std::to_string(sectionSize) + " bytes) do not fit in a 32-bit image";
    return false;
  }
  int64_t rawShift = static_cast<int64_t>(newRaw) - rs.rawSize;
  int64_t vaShift = 0;
  if (resourceSection_ + 1 < sections_.size())
    vaShift =
        static_cast<int64_t>(AlignUp(static_cast<uint64_t>(rs.virtualAddress) + sectionSize, sectionAlignment)) -
        sections_[resourceSection_ + 1].virtualAddress;

  // Every section's new place computed in 64 bits and checked before any is cut to the 32 bits
  // of its header: a wrapped address would put a moved section over the first ones.
  uint64_t imageEnd = AlignUp(static_cast<uint64_t>(rs.virtualAddress) + sectionSize, sectionAlignment);
  for (size_t i = resourceSection_ + 1; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    imageEnd = AlignUp(static_cast<uint64_t>(static_cast<int64_t>(s.virtualAddress) + vaShift) +
                           (s.virtualSize ? s.virtualSize : s.rawSize),
                       sectionAlignment);
  }
  if (imageEnd > 0xFFFFFFFFu) {
    *why = "the image would pass 4 GB (the resources are " + std::to_string(sectionSize) + " bytes at " +
           Hex(rs.virtualAddress) + ")";
    return false;
  }

  uint32_t virtualSize = static_cast<uint32_t>(sectionSize);
  out->resize(rs.rawPointer + newRaw, 0);
  out->insert(out->end(), file_.begin() + oldRawEnd, file_.end());
  uint8_t* q = out->data();

  Put32(q + rs.headerAt + 8, virtualSize);
  Put32(q + rs.headerAt + 16, static_cast<uint32_t>(newRaw));
  for (size_t i = resourceSection_ + 1; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    Put32(q + s.headerAt + 12, static_cast<uint32_t>(s.virtualAddress + vaShift));
    Put32(q + s.headerAt + 20, static_cast<uint32_t>(s.rawPointer + rawShift));
    for (unsigned k = 0; k < directories_; ++k) {
      uint32_t at = directory(k, 0);
      if (k != kDirSecurity && at && at >= s.virtualAddress &&
          at - s.virtualAddress < std::max(s.virtualSize, s.rawSize))
        Put32(q + optional_ + 96 + 8 * k, static_cast<uint32_t>(at + vaShift));
    }
  }
  // SizeOfInitializedData counts the resource section's stored bytes.
  Put32(q + optional_ + 8, static_cast<uint32_t>(Get32(q + optional_ + 8) + rawShift));
  Put32(q + optional_ + 56, static_cast<uint32_t>(imageEnd));
  Put32(q + optional_ + 96 + 8 * kDirResource + 4, virtualSize);
  Put32(q + optional_ - kOptionalHeader + kFileHeader + 4, timeStamp_);
  Put32(q + optional_ + 64, PeChecksum(q, out->size(), optional_ + 64));
  return true;
}

}  // namespace zfix
