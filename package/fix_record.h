// The fix description record (resource VERSION/1) and the label texts derived from it.
//
// Reading:  FIXRECORD rec; std::string why;
//           if (!ReadFixRecord(lpRes, dwResSize, &rec, &why)) -> corrupt (log `why`, fail)
//           rec.header.canOldLabel, rec.header.gdwChecksums, ..., rec.checksums[i], rec.files[i]
// Every read is checked against the resource size; a record that runs past its end, a
// checksum table longer than MAX_CHECKFILES, file-entry or file-list counts beyond
// MAX_FILE_ENTRIES (fix_format.h), or a label holding a '"' is refused. Names (lpFile) point into the
// resource, which must stay locked while the FIXRECORD is used.
// Writing (package builder): WriteFixRecord(rec) produces the same layout, so that
// ReadFixRecord followed by WriteFixRecord gives back the resource byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zfix {

constexpr size_t LABEL_SIZE = 100;         // label field: text, '|' fill, NUL at byte 99
constexpr size_t FIXHEADER_SIZE = 232;
constexpr size_t CHECKSUM_HEAD_SIZE = 104;  // dwChecksum + label, then the name
constexpr size_t FILELIST_HEAD_SIZE = 24;   // six u32, then the name
constexpr uint32_t MAX_CHECKFILES = 10000;  // entries of gpCheckFileTable
constexpr size_t LABEL_DIR_MAX = 259;

// Upgrade types (dwUpgradeType).
constexpr uint32_t UPGRADE_NONE = 0;
constexpr uint32_t UPGRADE_HOTFIX = 1;
constexpr uint32_t UPGRADE_FIXPACK = 2;

// Label arrays keep the 100 stored bytes plus a terminating NUL that is always present.
struct FIXHEADER {
  char canOldLabel[LABEL_SIZE + 1];
  char canNewLabel[LABEL_SIZE + 1];
  uint32_t dwSpare;
  uint32_t gdwChecksums;
  uint32_t dwStringsChecksum;
  uint32_t dwFileEntries;
  uint32_t dwListedFiles;
  uint32_t dwDataDirSpace;
  uint32_t dwProgramSpace;
  uint32_t dwUpgradeType;
};

struct CHECKSUMRECORD {
  uint32_t dwChecksum;
  char canLabel[LABEL_SIZE + 1];
  const char* lpFile;
};

struct FILELISTRECORD {
  uint32_t dwNameLength;  // as stored; readers go by the NUL
  uint32_t dwOperation;   // FE_* (file_entry.h)
  uint32_t dwDir;         // DIR_* (file_entry.h)
  uint32_t dwOldChecksum;
  uint32_t dwNewChecksum;
  uint32_t dwFileEntry;
  const char* lpFile;
};

struct FIXRECORD {
  FIXHEADER header;
  std::vector<CHECKSUMRECORD> checksums;  // gdwChecksums records
  std::vector<FILELISTRECORD> files;      // dwNumFiles records
  size_t cbUsed;                          // bytes the walk covered
};

// Number of file-list records: dwListedFiles when dwUpgradeType is above 0, else dwFileEntries.
uint32_t NumFiles(const FIXHEADER& header);

// Reads the header alone (the first FIXHEADER_SIZE bytes).
bool ReadFixHeader(const void* data, size_t size, FIXHEADER* header);

// Walks header, checksum table and file list. On failure returns false and, when why is
// given, a short description of what is wrong.
bool ReadFixRecord(const void* data, size_t size, FIXRECORD* record, std::string* why = nullptr);

// The file-list record of each entry number 1..dwFileEntries, indexed by the number (nullptr
// where none names it; slot 0 stays empty; records naming 0 or a number beyond dwFileEntries are
// left out). Of two records naming one entry, the later counts. Call it on a record that
// ReadFixRecord accepted: its counts are bounded.
std::vector<const FILELISTRECORD*> ListedByEntry(const FIXRECORD& record);

// Builder side: the record's bytes. dwNameLength is written as stored in each FILELISTRECORD.
std::vector<uint8_t> WriteFixRecord(const FIXRECORD& record);

// Builder side: a 100-byte label field from a release text and date ("text|date"): the text,
// '|' fill up to byte 98 and a NUL at byte 99. Longer texts are cut at 99 characters.
void MakeLabelField(const char* text, char field[LABEL_SIZE]);

// Cuts a label field back to "release text|date" (or the release text alone when the fill
// follows it directly) and removes the spaces at its end. Edits text in place.
void TrimLabel(char* text);

// The backup directory name of a label: the characters before the first '|' without ' ' and
// '.', plus "_RQA" for a web-access add-on fix (fixKind "RQA") whose name lacks "RQA".
// out must hold LABEL_DIR_MAX + 1 bytes; returns out.
char* LabelDirName(const char* label, char* out, const char* fixKind);

// Whether the release text current is the label: it begins with the whole label, or both have
// the same backup directory name. Identification and the restore of a base release share it.
bool IsSameRelease(const char* current, const char* label, const char* fixKind);

// In-memory check-file table built from the checksum table (gpCheckFileTable).
struct CHECKFILE {
  char* lpFile;                          // owned copy of the record's file name
  char canReleaseLabel[LABEL_SIZE];      // the record's label after TrimLabel
  uint32_t dwChecksum;
  int bPresent;                          // on disk and named in the file list
  uint32_t dwDir;                        // from the matching file-list record, 0 until matched
  uint32_t dwFileEntry;                  // FILEENTRY number, 0 until known
};
typedef CHECKFILE* PCHECKFILE;

// A zero-filled CHECKFILE from checksum-table record r (lpFile allocated with new[]); nullptr
// when memory runs out.
PCHECKFILE NewCheckFile(const CHECKSUMRECORD& r);
void FreeCheckFile(PCHECKFILE p);

}  // namespace zfix
