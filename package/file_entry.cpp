#include "package/file_entry.h"

#include <cstring>

#include "package/byte_io.h"

namespace zfix {

bool ReadFileEntry(const void* data, size_t size, char* name, size_t nameSize, FILEENTRY* e) {
  if (!data || nameSize == 0) return false;
  ByteCursor c(data, size);
  const char* text;
  size_t len;
  if (!c.CString(&text, &len) || len >= nameSize) return false;
  if (!(c.U32(&e->dwOperation) && c.U32(&e->dwDir) && c.U32(&e->dwOldSize) && c.U32(&e->dwNewSize) &&
        c.U32(&e->dwOldChecksum) && c.U32(&e->dwNewChecksum) && c.U32(&e->dwOldTime) && c.U32(&e->dwNewTime) &&
        c.U32(&e->dwPatchCount)))
    return false;
  std::memcpy(name, text, len + 1);
  return true;
}

std::vector<uint8_t> WriteFileEntry(const char* name, const FILEENTRY& e) {
  std::vector<uint8_t> out(name, name + std::strlen(name) + 1);
  for (uint32_t v : {e.dwOperation, e.dwDir, e.dwOldSize, e.dwNewSize, e.dwOldChecksum, e.dwNewChecksum, e.dwOldTime,
                     e.dwNewTime, e.dwPatchCount})
    PutLe32(out, v);
  return out;
}

uint32_t EffectiveDir(uint32_t dwDir) {
  return dwDir == DIR_DATA || dwDir == DIR_SYSTEM ? dwDir : DIR_PROGRAM;
}

bool PatchStreamReader::Next(PATCHRECORD* r) {
  if (left_ == 0 || corrupt_) return false;
  ByteCursor c(p_ + pos_, size_ - pos_);
  if (!(c.U32(&r->dwReserved) && c.U32(&r->dwOldOffset) && c.U32(&r->dwNewOffset) && c.U32(&r->dwOldLength) &&
        c.U32(&r->dwNewLength)) ||
      c.Remaining() < PatchDiffLength(*r)) {
    corrupt_ = true;
    return false;
  }
  r->lpDiff = p_ + pos_ + PATCHRECORD_HEAD_SIZE;
  pos_ += PATCHRECORD_HEAD_SIZE + PatchDiffLength(*r);
  --left_;
  return true;
}

bool PatchListEnds(const PATCHRECORD& r, uint32_t index, bool revert) {
  if (revert) return r.dwOldOffset == 0 && r.dwOldLength == 0;
  return index > 0 && r.dwNewOffset == 0 && r.dwNewLength == 0;
}

namespace {

void PutPatchHead(std::vector<uint8_t>& out, const PATCHRECORD& r) {
  for (uint32_t v : {r.dwReserved, r.dwOldOffset, r.dwNewOffset, r.dwOldLength, r.dwNewLength}) PutLe32(out, v);
}

}  // namespace

void AppendPatchRecord(std::vector<uint8_t>& out, const PATCHRECORD& r, const uint8_t* diff) {
  PutPatchHead(out, r);
  out.insert(out.end(), diff, diff + PatchDiffLength(r));
}

void AppendPatchRegion(std::vector<uint8_t>& out, uint32_t oldOffset, const uint8_t* oldBytes, uint32_t oldLength,
                       uint32_t newOffset, const uint8_t* newBytes, uint32_t newLength, uint32_t reserved) {
  PutPatchHead(out, PATCHRECORD{reserved, oldOffset, newOffset, oldLength, newLength, nullptr});
  uint32_t common = oldLength < newLength ? oldLength : newLength;
  for (uint32_t i = 0; i < common; ++i) out.push_back(oldBytes[i] ^ newBytes[i]);
  if (oldLength > common) out.insert(out.end(), oldBytes + common, oldBytes + oldLength);
  if (newLength > common) out.insert(out.end(), newBytes + common, newBytes + newLength);
}

}  // namespace zfix
