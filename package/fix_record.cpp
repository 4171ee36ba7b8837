#include "package/fix_record.h"

#include <cstring>
#include <new>

#include "package/byte_io.h"
#include "package/fix_format.h"
#include "package/names.h"

namespace zfix {
namespace {

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

bool ReadLabel(ByteCursor& c, char* label) {
  if (!c.Bytes(label, LABEL_SIZE)) return false;
  label[LABEL_SIZE] = '\0';
  return true;
}

// A label reaches the release-string tool as one quoted word of its command line: a '"'
// anywhere in it, the date too, would end that word and add words of the fix's choosing.
bool QuotableLabel(const char* label, const char* what, std::string* why) {
  if (IsQuotableText(label)) return true;
  return Fail(why, std::string(what) + " holds a '\"'");
}

}  // namespace

uint32_t NumFiles(const FIXHEADER& header) {
  return header.dwUpgradeType > 0 ? header.dwListedFiles : header.dwFileEntries;
}

bool ReadFixHeader(const void* data, size_t size, FIXHEADER* h) {
  if (!data) return false;
  ByteCursor c(data, size);
  return ReadLabel(c, h->canOldLabel) && ReadLabel(c, h->canNewLabel) && c.U32(&h->dwSpare) &&
         c.U32(&h->gdwChecksums) && c.U32(&h->dwStringsChecksum) && c.U32(&h->dwFileEntries) &&
         c.U32(&h->dwListedFiles) && c.U32(&h->dwDataDirSpace) && c.U32(&h->dwProgramSpace) &&
         c.U32(&h->dwUpgradeType);
}

bool ReadFixRecord(const void* data, size_t size, FIXRECORD* rec, std::string* why) {
  rec->checksums.clear();
  rec->files.clear();
  rec->cbUsed = 0;
  if (!ReadFixHeader(data, size, &rec->header))
    return Fail(why, "record shorter than its " + std::to_string(FIXHEADER_SIZE) + "-byte header");
  const FIXHEADER& h = rec->header;
  if (h.gdwChecksums > MAX_CHECKFILES)
    return Fail(why, "checksum table of " + std::to_string(h.gdwChecksums) + " records exceeds " +
                         std::to_string(MAX_CHECKFILES));
  // Readers size tables from these counts (one slot per entry number, plus slot 0): a count
  // beyond the format's limit would wrap that size or exhaust memory.
  if (h.dwFileEntries > MAX_FILE_ENTRIES)
    return Fail(why, std::to_string(h.dwFileEntries) + " file entries exceed " + std::to_string(MAX_FILE_ENTRIES));
  if (h.dwUpgradeType > 0 && h.dwListedFiles > MAX_FILE_ENTRIES)
    return Fail(why, "file list of " + std::to_string(h.dwListedFiles) + " records exceeds " +
                         std::to_string(MAX_FILE_ENTRIES));
  if (!QuotableLabel(h.canOldLabel, "the base label", why) || !QuotableLabel(h.canNewLabel, "the fix label", why))
    return false;
  ByteCursor c(data, size);
  c.Skip(FIXHEADER_SIZE);

  rec->checksums.reserve(h.gdwChecksums);
  for (uint32_t i = 0; i < h.gdwChecksums; ++i) {
    CHECKSUMRECORD r;
    size_t len;
    if (!c.U32(&r.dwChecksum) || !ReadLabel(c, r.canLabel) || !c.CString(&r.lpFile, &len))
      return Fail(why, "checksum record " + std::to_string(i) + " runs past the end of the record");
    if (!QuotableLabel(r.canLabel, ("the label of checksum record " + std::to_string(i)).c_str(), why)) return false;
    rec->checksums.push_back(r);
  }
  uint32_t numFiles = NumFiles(h);
  // Each file-list record takes at least 25 bytes: a count beyond that cannot fit.
  if (numFiles > c.Remaining() / (FILELIST_HEAD_SIZE + 1))
    return Fail(why, "file list of " + std::to_string(numFiles) + " records runs past the end of the record");
  rec->files.reserve(numFiles);
  for (uint32_t i = 0; i < numFiles; ++i) {
    FILELISTRECORD r;
    size_t len;
    if (!c.U32(&r.dwNameLength) || !c.U32(&r.dwOperation) || !c.U32(&r.dwDir) || !c.U32(&r.dwOldChecksum) ||
        !c.U32(&r.dwNewChecksum) || !c.U32(&r.dwFileEntry) || !c.CString(&r.lpFile, &len))
      return Fail(why, "file-list record " + std::to_string(i) + " runs past the end of the record");
    rec->files.push_back(r);
  }
  rec->cbUsed = c.Offset();
  return true;
}

std::vector<const FILELISTRECORD*> ListedByEntry(const FIXRECORD& rec) {
  std::vector<const FILELISTRECORD*> listed(static_cast<size_t>(rec.header.dwFileEntries) + 1, nullptr);
  for (const FILELISTRECORD& f : rec.files)
    if (f.dwFileEntry > 0 && f.dwFileEntry < listed.size()) listed[f.dwFileEntry] = &f;
  return listed;
}

std::vector<uint8_t> WriteFixRecord(const FIXRECORD& rec) {
  std::vector<uint8_t> out;
  const FIXHEADER& h = rec.header;
  out.insert(out.end(), h.canOldLabel, h.canOldLabel + LABEL_SIZE);
  out.insert(out.end(), h.canNewLabel, h.canNewLabel + LABEL_SIZE);
  for (uint32_t v : {h.dwSpare, static_cast<uint32_t>(rec.checksums.size()), h.dwStringsChecksum, h.dwFileEntries,
                     h.dwListedFiles, h.dwDataDirSpace, h.dwProgramSpace, h.dwUpgradeType})
    PutLe32(out, v);
  for (const CHECKSUMRECORD& r : rec.checksums) {
    PutLe32(out, r.dwChecksum);
    out.insert(out.end(), r.canLabel, r.canLabel + LABEL_SIZE);
    out.insert(out.end(), r.lpFile, r.lpFile + std::strlen(r.lpFile) + 1);
  }
  for (const FILELISTRECORD& r : rec.files) {
    for (uint32_t v : {r.dwNameLength, r.dwOperation, r.dwDir, r.dwOldChecksum, r.dwNewChecksum, r.dwFileEntry})
      PutLe32(out, v);
    out.insert(out.end(), r.lpFile, r.lpFile + std::strlen(r.lpFile) + 1);
  }
  return out;
}

void MakeLabelField(const char* text, char field[LABEL_SIZE]) {
  size_t n = std::strlen(text);
  if (n > LABEL_SIZE - 1) n = LABEL_SIZE - 1;
  std::memcpy(field, text, n);
  std::memset(field + n, '|', LABEL_SIZE - 1 - n);
  field[LABEL_SIZE - 1] = '\0';
}

void TrimLabel(char* text) {
  char* bar = std::strchr(text, '|');
  if (!bar || bar[1] == '\0') return;
  char* cut = bar[1] == '|' ? bar : std::strchr(bar + 1, '|');
  if (!cut) return;
  *cut = '\0';
  while (cut > text && cut[-1] == ' ') *--cut = '\0';
}

char* LabelDirName(const char* label, char* out, const char* fixKind) {
  size_t n = 0;
  for (const char* p = label; *p && *p != '|' && n < LABEL_DIR_MAX; ++p)
    if (*p != ' ' && *p != '.') out[n++] = *p;
  out[n] = '\0';
  if (fixKind && std::strcmp(fixKind, "RQA") == 0 && !std::strstr(out, "RQA")) {
    for (const char* s = "_RQA"; *s && n < LABEL_DIR_MAX; ++s) out[n++] = *s;
    out[n] = '\0';
  }
  return out;
}

PCHECKFILE NewCheckFile(const CHECKSUMRECORD& r) {
  PCHECKFILE p = new (std::nothrow) CHECKFILE();
  if (!p) return nullptr;
  size_t n = std::strlen(r.lpFile);
  p->lpFile = new (std::nothrow) char[n + 1];
  if (!p->lpFile) {
    delete p;
    return nullptr;
  }
  std::memcpy(p->lpFile, r.lpFile, n + 1);
  std::memcpy(p->canReleaseLabel, r.canLabel, LABEL_SIZE);
  p->canReleaseLabel[LABEL_SIZE - 1] = '\0';
  TrimLabel(p->canReleaseLabel);
  p->dwChecksum = r.dwChecksum;
  return p;
}

void FreeCheckFile(PCHECKFILE p) {
  if (!p) return;
  delete[] p->lpFile;
  delete p;
}

bool IsSameRelease(const char* current, const char* label, const char* fixKind) {
  if (std::strncmp(current, label, std::strlen(label)) == 0) return true;
  char a[LABEL_DIR_MAX + 1], b[LABEL_DIR_MAX + 1];
  return std::strcmp(LabelDirName(current, a, fixKind), LabelDirName(label, b, fixKind)) == 0;
}

}  // namespace zfix
