// The member names of a component archive as the zip extraction takes them: minizip hands over
// the stored name in a 256-byte buffer, ended by a NUL only when it fits (MemberNameWhole ends
// it in every case and refuses a name of 256 bytes or more, whose refusal is logged from the
// buffer; a NUL inside the name ends it), MemberStaysInside decides, and the extraction then
// writes the member under the name itself or, without paths, under its last step, making the
// directories before it. A name let through resolves, step by step as Windows reads it, below
// the destination: no drive, root, stream, "." or ".." step, no step Windows would shorten, no
// device; its last step is a plain name or empty (a directory member).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/path_oracle.h"
#include "package/names.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

const size_t kNameBuffer = 256;  // the extraction's name buffer

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> steps;
  size_t start = 0;
  for (;;) {
    size_t end = path.find_first_of("\\/", start);
    steps.push_back(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return steps;
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The buffer as the unzip reader fills it, exactly its size on the heap: a read past it (the
  // refusal's log line of a long name) is caught by the sanitizer.
  std::unique_ptr<char[]> buffer(new char[kNameBuffer]);
  const size_t copied = size < kNameBuffer ? size : kNameBuffer;
  if (copied) std::memcpy(buffer.get(), data, copied);
  if (copied < kNameBuffer) buffer[copied] = '\0';
  const bool whole = zfix::MemberNameWhole(buffer.get(), kNameBuffer, size);
  const size_t shown = std::strlen(buffer.get());  // what the log line reads
  if (whole != (size < kNameBuffer) || shown >= kNameBuffer || std::memcmp(buffer.get(), data, shown) != 0)
    std::abort();
  if (!whole) return 0;  // refused before the rule: a cut name would name another file
  std::string name(buffer.get());
  if (!zfix::MemberStaysInside(name.c_str())) return 0;

  std::vector<std::string> resolved;
  if (!oracle::ResolveBelow(name, true, &resolved)) std::abort();
  std::string withoutTrailing = name;
  const bool directory = oracle::IsSeparator(withoutTrailing.back());
  if (directory) withoutTrailing.pop_back();
  // Each step stays as written: nothing is dropped or merged on the way to the disk.
  if (Split(withoutTrailing) != resolved) std::abort();

  // The last step (written without paths) and the directories made before it.
  size_t slash = name.find_last_of("\\/");
  std::string last = slash == std::string::npos ? name : name.substr(slash + 1);
  if (directory != last.empty()) std::abort();
  if (!last.empty() && !zfix::IsPlainName(last.c_str())) std::abort();
  if (slash != std::string::npos && slash > 0) {
    std::string dirs = name.substr(0, slash);
    std::vector<std::string> dirSteps;
    if (!oracle::ResolveBelow(dirs, false, &dirSteps) || !zfix::StaysInside(dirs.c_str())) std::abort();
  }
  return 0;
}
