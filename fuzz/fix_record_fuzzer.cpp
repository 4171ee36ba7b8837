// Fix description record walker: never reads outside the data, and what it accepts is
// written back byte for byte. The label helpers run on every label it reads. What it accepts is
// what every reader then trusts: counts within the format's limits, labels that stand as quoted
// words of a command line, and the entry table the installer sizes from dwFileEntries and fills
// from the file list (ListedByEntry) built over it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "package/fix_format.h"
#include "package/fix_record.h"
#include "package/names.h"

namespace {

void Labels(const char* label) {
  if (!zfix::IsQuotableText(label)) std::abort();
  char text[zfix::LABEL_SIZE + 1];
  std::memcpy(text, label, sizeof text);
  zfix::TrimLabel(text);
  if (std::strlen(text) > zfix::LABEL_SIZE) std::abort();
  char dir[zfix::LABEL_DIR_MAX + 1];
  zfix::LabelDirName(label, dir, "RQA");
  if (std::strlen(dir) > zfix::LABEL_DIR_MAX) std::abort();
}

}  // namespace

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> copy(data, data + size);  // exact bounds for the sanitizer
  zfix::FIXRECORD rec;
  if (!zfix::ReadFixRecord(copy.data(), copy.size(), &rec)) return 0;
  if (rec.checksums.size() != rec.header.gdwChecksums || rec.files.size() != zfix::NumFiles(rec.header)) std::abort();
  const zfix::FIXHEADER& h = rec.header;
  if (h.dwFileEntries > zfix::MAX_FILE_ENTRIES || h.gdwChecksums > zfix::MAX_CHECKFILES ||
      rec.files.size() > zfix::MAX_FILE_ENTRIES)
    std::abort();
  std::vector<const zfix::FILELISTRECORD*> listed = zfix::ListedByEntry(rec);
  if (listed.size() != static_cast<size_t>(h.dwFileEntries) + 1 || listed[0]) std::abort();
  for (const zfix::FILELISTRECORD& f : rec.files)
    if (f.dwFileEntry >= 1 && f.dwFileEntry <= h.dwFileEntries && !listed[f.dwFileEntry]) std::abort();
  std::vector<uint8_t> back = zfix::WriteFixRecord(rec);
  if (back.size() != rec.cbUsed || std::memcmp(back.data(), copy.data(), back.size()) != 0) std::abort();
  Labels(rec.header.canOldLabel);
  Labels(rec.header.canNewLabel);
  for (const zfix::CHECKSUMRECORD& r : rec.checksums) {
    Labels(r.canLabel);
    zfix::FreeCheckFile(zfix::NewCheckFile(r));
  }
  return 0;
}
