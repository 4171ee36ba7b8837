// Values of PATCH.INI (File and BackupName, written by an earlier fix or by anyone) through the
// confinement helper that joins them to the program directory: the value as the profile API
// hands it over (up to the line's end, blanks at both ends and one pair of enclosing quotes
// removed) goes to JoinInside with a buffer of the size the reader gives it. A value let through
// is joined exactly ("dir\\value"), fits its buffer, and resolves below the directory step by
// step as written; a value refused for its length is one that does not fit; nothing is written
// past the buffer.
//
// Input: byte 0 the buffer size (1..256, or 261 for the path buffers), byte 1 the directory
// depth (1..4 steps of the program directory's path), then the INI line's value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/path_oracle.h"
#include "package/names.h"

// The entry point libFuzzer calls.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// What GetPrivateProfileString returns for a line's value.
std::string ProfileValue(const std::string& line) {
  std::string v = line.substr(0, line.find_first_of(std::string("\r\n\0", 3)));
  size_t b = v.find_first_not_of(" \t");
  if (b == std::string::npos) return std::string();
  size_t e = v.find_last_not_of(" \t");
  v = v.substr(b, e - b + 1);
  if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
    v = v.substr(1, v.size() - 2);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const size_t bufferSize = data[0] == 0xFF ? 261 : (size_t)data[0] + 1;
  static const char* const kDirs[] = {"C:\\ZOREL", "C:\\ZOREL\\PROGRAM", "D:\\PROGRAM FILES\\QVT\\HALVEX",
                                      "E:\\A\\B\\C\\ZOREL PROGRAM"};
  const std::string dir = kDirs[data[1] & 3];
  const std::string value = ProfileValue(std::string(reinterpret_cast<const char*>(data + 2), size - 2));

  std::vector<char> out(bufferSize, 'x');  // exact bounds for the sanitizer
  zfix::JoinResult r = zfix::JoinInside(dir.c_str(), value.c_str(), out.data(), out.size());
  const std::string joined = dir + "\\" + value;
  switch (r) {
    case zfix::JoinResult::Joined: {
      if (std::memchr(out.data(), '\0', out.size()) == nullptr) std::abort();
      if (std::string(out.data()) != joined) std::abort();
      std::vector<std::string> steps;
      if (!oracle::ResolveBelow(value, false, &steps)) std::abort();
      size_t expected = 1;
      for (char c : value) expected += oracle::IsSeparator(c) ? 1 : 0;
      if (steps.size() != expected) std::abort();  // no step dropped or collapsed
      break;
    }
    case zfix::JoinResult::TooLong:
      if (joined.size() < bufferSize || !zfix::StaysInside(value.c_str())) std::abort();
      if (out[0] != '\0') std::abort();
      break;
    case zfix::JoinResult::Leaves:
      if (zfix::StaysInside(value.c_str()) || out[0] != '\0') std::abort();
      break;
  }
  return 0;
}
