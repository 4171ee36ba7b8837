// Producing a file's new content from its FILEENTRY payload: a whole file copied out, or a
// patch stream applied forwards (upgrade: installed release -> fix) or backwards (revert:
// fix -> installed release). Shared by the upgrade engine and by the package builder, which
// checks every patch stream with it before writing it.
//
//   struct FileSource : zfix::PatchSource { FILE* f; size_t Read(uint8_t* b, size_t n) override
//       { return fread(b, 1, n, f); } };
//   struct FileSink : zfix::PatchSink { FILE* f; void Write(const uint8_t* b, size_t n) override
//       { fwrite(b, 1, n, f); } };
//   if (!zfix::InstalledFileFits(fe, revert, size, checksum)) -> leave the temporary file empty
//   zfix::PatchOutcome r = zfix::ApplyFileUpdate(fe, revert, payload, payloadSize, &src, &dst, &gauge);
//
// The installed file is read strictly forwards: unchanged bytes are copied through one after the
// other, and every changed region takes the next bytes of the file. Reads past the end of a
// shorter installed file give zero bytes and do not stop the walk; the output still reaches the
// expected size and the caller's final checksum rejects it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "package/file_entry.h"

namespace zfix {

// The installed file, read from its start; Read returns fewer than n bytes at its end.
class PatchSource {
 public:
  virtual ~PatchSource() = default;
  virtual size_t Read(uint8_t* buffer, size_t n) = 0;
};

// Receives the output in order. A region that writes nothing (a pure deletion on upgrade, a pure
// insertion on revert) arrives as a write of 0 bytes whose pointer may be null: a sink must leave
// its state as it is then (zlib's crc32 returns its start value 0 for a null buffer).
class PatchSink {
 public:
  virtual ~PatchSink() = default;
  virtual void Write(const uint8_t* bytes, size_t n) = 0;
};

// The file gauge: GAUGE_SETRANGE and GAUGE_SETPOS (each followed by the message pump).
class PatchGauge {
 public:
  virtual ~PatchGauge() = default;
  virtual void SetRange(uint32_t range) = 0;
  virtual void SetPos(uint32_t pos) = 0;
};

enum class PatchOutcome {
  Applied,  // the walk ended normally (the caller's checksum tells whether the result is right)
  Corrupt,  // the payload ends inside a record header or its difference bytes, or (revert) a
            // record lies before the output position, or a record reaches beyond the output size
            // the entry states; output stopped there
  Refused,  // the operation is neither FE_PATCH nor FE_REPLACE: nothing is written
};

// Whether the installed file may be updated: for FE_PATCH its size and checksum must be the
// entry's old ones (upgrade) or new ones (revert); any other operation fits.
bool InstalledFileFits(const FILEENTRY& entry, bool revert, uint32_t size, uint32_t checksum);

// Writes the target content for one entry. FE_REPLACE: upgrade copies dwNewSize payload bytes
// (Corrupt when the payload is shorter); revert writes nothing. FE_PATCH is applied as a patch
// stream of dwPatchCount records; any other operation is Refused. installed may be null only
// for FE_REPLACE.
PatchOutcome ApplyFileUpdate(const FILEENTRY& entry, bool revert, const uint8_t* payload, size_t payloadSize,
                             PatchSource* installed, PatchSink* out, PatchGauge* gauge = nullptr);

// How many bytes ApplyFileUpdate writes for an entry when the result is right: the new size on
// upgrade, the old size on revert, and nothing for the revert of FE_REPLACE, whose installed
// release comes back from its backup copy instead.
uint32_t ExpectedOutputSize(const FILEENTRY& entry, bool revert);

// The same over memory: the output bytes.
PatchOutcome ApplyFileUpdate(const FILEENTRY& entry, bool revert, const uint8_t* payload, size_t payloadSize,
                             const uint8_t* installed, size_t installedSize, std::vector<uint8_t>* out,
                             PatchGauge* gauge = nullptr);

// Whether a patch stream (entry: FE_PATCH with its sizes and record count) gives the new file
// from the old one and the old one back from the new: the package builder's check before it
// keeps a patch.
bool PatchWorksBothWays(const FILEENTRY& entry, const std::vector<uint8_t>& stream, const std::vector<uint8_t>& oldBytes,
                        const std::vector<uint8_t>& newBytes);

}  // namespace zfix
