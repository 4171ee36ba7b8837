// FILEENTRY/n records and the patch stream carried by an FE_PATCH payload.
//
//   FILEENTRY fe; char name[MAX_ENTRY_NAME + 1];
//   if (!ReadFileEntry(lpRes, dwResSize, name, sizeof name, &fe)) -> corrupt
//
//   PatchStreamReader r(lpBlock, dwSize, fe.dwPatchCount);
//   PATCHRECORD pr;
//   for (uint32_t i = 0; r.Next(&pr); ++i) { if (PatchListEnds(pr, i, bRevert)) break; ... }
//   if (r.Corrupt()) -> the stream runs past its end
//
// Writers for the package builder: WriteFileEntry, AppendPatchRecord.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zfix {

// dwOperation
constexpr uint32_t FE_PATCH = 1;
constexpr uint32_t FE_REPLACE = 2;
constexpr uint32_t FE_REMOVE = 3;
constexpr uint32_t FE_OLDFIX = 4;

// dwDir (any other value means DIR_PROGRAM)
constexpr uint32_t DIR_PROGRAM = 1;
constexpr uint32_t DIR_DATA = 2;
constexpr uint32_t DIR_SYSTEM = 3;

constexpr size_t FILEENTRY_SIZE = 36;     // the numbers after the name's NUL
constexpr size_t MAX_ENTRY_NAME = 259;    // longest name that fits a path buffer
constexpr size_t PATCHRECORD_HEAD_SIZE = 20;

struct FILEENTRY {
  uint32_t dwOperation;
  uint32_t dwDir;
  uint32_t dwOldSize;
  uint32_t dwNewSize;
  uint32_t dwOldChecksum;
  uint32_t dwNewChecksum;
  uint32_t dwOldTime;
  uint32_t dwNewTime;
  uint32_t dwPatchCount;
};

// Copies the entry name (NUL-terminated) to name[0..nameSize) and the 36 bytes after it to
// *entry. False when the name has no terminator inside the resource, does not fit nameSize,
// or fewer than 36 bytes follow it.
bool ReadFileEntry(const void* data, size_t size, char* name, size_t nameSize, FILEENTRY* entry);

std::vector<uint8_t> WriteFileEntry(const char* name, const FILEENTRY& entry);

// Directory code as used: DIR_DATA and DIR_SYSTEM as stored, anything else DIR_PROGRAM.
uint32_t EffectiveDir(uint32_t dwDir);

struct PATCHRECORD {
  uint32_t dwReserved;
  uint32_t dwOldOffset;
  uint32_t dwNewOffset;
  uint32_t dwOldLength;
  uint32_t dwNewLength;
  const uint8_t* lpDiff;  // max(dwOldLength, dwNewLength) bytes inside the stream
};

inline uint32_t PatchDiffLength(const PATCHRECORD& r) {
  return r.dwOldLength > r.dwNewLength ? r.dwOldLength : r.dwNewLength;
}

// Walks dwPatchCount records of a decompressed patch stream.
class PatchStreamReader {
 public:
  PatchStreamReader(const void* data, size_t size, uint32_t count)
      : p_(static_cast<const uint8_t*>(data)), size_(data ? size : 0), left_(count) {}
  // Next record; false after the last one or when the stream ends inside a record.
  bool Next(PATCHRECORD* record);
  // A record ran past the end of the stream.
  bool Corrupt() const { return corrupt_; }
  size_t Offset() const { return pos_; }

 private:
  const uint8_t* p_;
  size_t size_;
  uint32_t left_;
  size_t pos_ = 0;
  bool corrupt_ = false;
};

// Whether record `index` (from 0) ends the list early: its output-side offset and length are
// both 0 (new side for an upgrade, from the second record on; old side for a revert).
bool PatchListEnds(const PATCHRECORD& record, uint32_t index, bool revert);

// Builder side: appends one record; diff holds PatchDiffLength(record) bytes.
void AppendPatchRecord(std::vector<uint8_t>& out, const PATCHRECORD& record, const uint8_t* diff);

// Builder side: appends the record that turns oldBytes[0..oldLength) at oldOffset into
// newBytes[0..newLength) at newOffset (XOR over the common part, then the longer side).
void AppendPatchRegion(std::vector<uint8_t>& out, uint32_t oldOffset, const uint8_t* oldBytes, uint32_t oldLength,
                       uint32_t newOffset, const uint8_t* newBytes, uint32_t newLength, uint32_t reserved = 0);

}  // namespace zfix
