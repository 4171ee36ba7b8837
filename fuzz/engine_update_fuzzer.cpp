// One FILEENTRY/n and UPDATE/n pair on its way through the engine, every byte from the package:
// the entry record read (ReadFileEntry into the engine's 261-byte name buffer), an operation the
// engine does not apply refused, the compressed payload unpacked as the installer unpacks it
// (its stated size bounded before memory is taken, then decoded into exactly that many bytes,
// a stream that ends early refused), the installed file measured against the entry, and the
// patch applier driven through a source and a sink as the engine drives them, its output
// checked in the blocks it comes in. Nothing reads outside the record, the payload or the
// installed file; the output never passes the size the entry states; a refused operation writes
// nothing; the streamed walk equals the walk over memory.
//
// Input: byte 0 (bit 0 revert, bit 1 the payload is given plain and compressed here, so that
// the walk sees well-formed streams too), bytes 1..2 the record's length, the record, bytes
// 0..1 after it the installed file's length, the installed file, then the payload.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/checksum.h"
#include "package/explode.h"
#include "package/file_entry.h"
#include "package/implode.h"
#include "package/patch_apply.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

const size_t kPathBuffer = 261;  // the engine's name buffer

/* Takes n bytes off the front of the input; false when fewer are left. */
bool Take(const uint8_t** p, size_t* left, size_t n, std::vector<uint8_t>* out) {
  if (*left < n) return false;
  out->assign(*p, *p + n);
  *p += n;
  *left -= n;
  return true;
}

/* The installed file as fread gives it: whole requests but at its end. */
class InstalledFile : public zfix::PatchSource {
 public:
  explicit InstalledFile(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  size_t Read(uint8_t* buffer, size_t n) override {
    if (n > bytes_.size() - pos_) n = bytes_.size() - pos_;
    for (size_t i = 0; i < n; ++i) buffer[i] = bytes_[pos_ + i];
    pos_ += n;
    return n;
  }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

/* The temporary file: its bytes and the checksum taken as they are written, block by block. */
class TempFile : public zfix::PatchSink {
 public:
  void Write(const uint8_t* bytes, size_t n) override {
    if (n == 0) return;
    out.insert(out.end(), bytes, bytes + n);
    crc = zfix::Crc32(bytes, n, crc);
  }
  std::vector<uint8_t> out;
  uint32_t crc = 0;
};

/* The installer's unpacking of a compressed resource: the stated size, bounded by what the
   stream can hold, then exactly that many bytes. */
bool Unpack(const std::vector<uint8_t>& resource, std::vector<uint8_t>* out) {
  if (resource.size() < 4) return false;
  uint32_t stated =
      (uint32_t)resource[0] | (uint32_t)resource[1] << 8 | (uint32_t)resource[2] << 16 | (uint32_t)resource[3] << 24;
  if (stated > (unsigned long long)(resource.size() - 4) * 8 * 518 / 22 + 518) return false;
  out->assign(stated, 0);
  size_t written = 0;
  unsigned status = zfix::ExplodeToBuffer(resource.data() + 4, resource.size() - 4, out->data(), out->size(), &written);
  if (written > stated) std::abort();
  return status == zfix::EXPLODE_OK && written == stated;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const bool revert = data[0] & 1, plainPayload = data[0] & 2;
  const uint8_t* p = data + 3;
  size_t left = size - 3;
  std::vector<uint8_t> record, lengthBytes, installed, payload;
  if (!Take(&p, &left, (size_t)data[1] | (size_t)(data[2] & 0x7F) << 8, &record)) return 0;
  if (!Take(&p, &left, 2, &lengthBytes)) return 0;
  if (!Take(&p, &left, (size_t)lengthBytes[0] | (size_t)lengthBytes[1] << 8, &installed)) return 0;
  payload.assign(p, p + left);

  char name[kPathBuffer];
  zfix::FILEENTRY fe;
  if (!zfix::ReadFileEntry(record.data(), record.size(), name, sizeof name, &fe)) return 0;
  if (fe.dwOperation != zfix::FE_PATCH && fe.dwOperation != zfix::FE_REPLACE) return 0;  // no payload read
  // Sizes of up to 1 MB: larger ones only make the walk write longer.
  fe.dwOldSize &= 0xFFFFF;
  fe.dwNewSize &= 0xFFFFF;

  std::vector<uint8_t> resource = plainPayload ? zfix::MakeCompressedResource(payload.data(), payload.size()) : payload;
  std::vector<uint8_t> unpacked;
  if (!Unpack(resource, &unpacked)) {
    if (plainPayload) std::abort();  // the encoder's own stream must unpack
    return 0;
  }
  if (plainPayload && unpacked != payload) std::abort();

  if (fe.dwOperation == zfix::FE_PATCH &&
      !zfix::InstalledFileFits(fe, revert, (uint32_t)installed.size(), zfix::Crc32(installed.data(), installed.size())))
    return 0;

  InstalledFile source(installed);
  TempFile temp;
  zfix::PatchOutcome streamed =
      zfix::ApplyFileUpdate(fe, revert, unpacked.data(), unpacked.size(),
                            fe.dwOperation == zfix::FE_PATCH ? &source : nullptr, &temp, nullptr);
  std::vector<uint8_t> whole;
  zfix::PatchOutcome atOnce = zfix::ApplyFileUpdate(fe, revert, unpacked.data(), unpacked.size(), installed.data(),
                                                    installed.size(), &whole, nullptr);
  if (streamed != atOnce || temp.out != whole) std::abort();
  if (temp.crc != zfix::Crc32(temp.out.data(), temp.out.size())) std::abort();
  const uint32_t stated = revert ? fe.dwOldSize : fe.dwNewSize;
  if (streamed == zfix::PatchOutcome::Refused) std::abort();  // both operations write a file
  if (temp.out.size() > stated) std::abort();
  const bool writesNothing = revert && fe.dwOperation == zfix::FE_REPLACE;  // restored from its backup instead
  if (writesNothing && !temp.out.empty()) std::abort();
  if (streamed == zfix::PatchOutcome::Applied && !writesNothing && temp.out.size() != stated) std::abort();
  return 0;
}
