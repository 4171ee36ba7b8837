// The resources of a 32-bit Windows executable (PE32, i386) read and written without the Windows
// resource API, so that fix executables can be built and inspected on any host.
//
//   PeImage image;
//   if (!image.Parse(bytes, &why)) ...                      // why names what is wrong
//   image.Set({ResName("VERSION"), ResName(1), 1033, 0, record});
//   image.Write(&out, &why);                               // the same bytes for the same input
//
// Parse bounds every read by the file, and what it keeps by the resource section's size: a file
// that is not a PE32 image, has no resource section, is cut short, or whose resource tree loops,
// shares a directory, has directory tables that overlap, entries out of order or given twice,
// or names that its entries share past the section's size, is refused. Write
// lays out a new resource section (named entries first in case-insensitive order, then ids
// ascending, at every level), puts it where the old one was, moves the base relocations behind
// it when they follow, and fixes the section table, the image size, the data directory and the
// checksum. It refuses an image it cannot rewrite safely (another section after the
// resources, data after the last section, a certificate table, a COFF symbol table, a
// resource section off the file alignment, a relocated address or debug data at or past the
// resources, a directory table of more than 65,535 entries, a section that would pass 4 GB).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zfix {

// A resource type or name: a 16-bit id or a string.
struct ResName {
  ResName() = default;
  ResName(unsigned numeric) : isId(true), id(static_cast<uint16_t>(numeric)) {}
  ResName(const char* text);  // ASCII
  bool isId = true;
  uint16_t id = 0;
  std::u16string text;
  std::string Display() const;  // "6" or "VERSION" (non-ASCII units as '?')
};
bool operator==(const ResName& a, const ResName& b);
// The order of a resource directory: strings before ids, strings without regard to case (then
// exactly), ids ascending.
bool operator<(const ResName& a, const ResName& b);

struct PeResource {
  ResName type, name;
  uint16_t language = 0;
  uint32_t codePage = 0;
  std::vector<uint8_t> data;
};

// The checksum of an image as CheckSumMappedFile computes it: 16-bit words summed with their
// carries folded back in, the checksum field (4 bytes at checksumAt) counted as zero, plus the
// file's length.
uint32_t PeChecksum(const uint8_t* data, size_t size, size_t checksumAt);

class PeImage {
 public:
  bool Parse(const std::vector<uint8_t>& file, std::string* why);

  // In directory order (type, name, language).
  const std::vector<PeResource>& Resources() const { return resources_; }
  const PeResource* Find(const ResName& type, const ResName& name, uint16_t language) const;
  // Adds r, or replaces the entry with the same type, name and language.
  void Set(PeResource r);

  uint32_t TimeStamp() const { return timeStamp_; }
  void SetTimeStamp(uint32_t t) { timeStamp_ = t; }
  uint32_t Checksum() const { return checksum_; }
  size_t ChecksumOffset() const { return optional_ + 64; }

  // The image with the resources as they are now.
  bool Write(std::vector<uint8_t>* out, std::string* why) const;

 private:
  struct Section {
    std::string name;
    uint32_t virtualSize, virtualAddress, rawSize, rawPointer;
    size_t headerAt;  // file offset of its section header
  };
  bool ReadDirectory(uint32_t offset, int level, PeResource* path, std::map<uint32_t, uint32_t>* tables,
                     std::vector<uint32_t>* onPath, std::string* why);
  bool ChargeNames(size_t bytes, std::string* why);
  bool Mapped(uint32_t rva, uint32_t size, size_t* fileOffset) const;

  std::vector<uint8_t> file_;
  size_t optional_ = 0;  // file offset of the optional header
  uint32_t directories_ = 0;
  std::vector<Section> sections_;
  size_t resourceSection_ = 0;
  uint32_t resourceRva_ = 0;
  uint32_t timeStamp_ = 0, checksum_ = 0;
  size_t resourceStart_ = 0;     // file offset of the resource directory
  size_t resourceBytesEnd_ = 0;  // where the resource section's readable bytes end (file offset)
  size_t dataBytes_ = 0;         // the resources' bytes read so far
  size_t nameBytes_ = 0;         // the names' bytes read and copied so far
  std::vector<PeResource> resources_;
};

}  // namespace zfix
