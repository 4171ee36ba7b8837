// How Windows resolves a relative name below a directory, written out plainly for the fuzzers of
// the name rules: separators '\\' and '/', "." and ".." steps, trailing dots and blanks dropped
// from each step, a drive or a leading separator starting from elsewhere, a ':' naming a stream,
// a device name in any step opening the device instead. Independent of package/names.cpp on
// purpose: a rule that lets a name through must agree with this reading.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <vector>

namespace oracle {

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A step's stem before its first '.', blanks at its end dropped, is a device name.
inline bool OpensDevice(const std::string& step) {
  std::string stem = step.substr(0, step.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* d : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"})
    if (stem == d) return true;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
    unsigned char digit = static_cast<unsigned char>(stem[3]);
    return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
  }
  return false;
}

// The steps that name resolves to below its directory, or false when it reaches outside it
// (a drive, a root, a ".." above the start, a stream, a device, a wildcard, a control
// character) or names the directory itself. A trailing separator is allowed when
// allowTrailingSeparator (a directory member of an archive).
inline bool ResolveBelow(const std::string& name, bool allowTrailingSeparator, std::vector<std::string>* steps) {
  steps->clear();
  if (name.empty() || IsSeparator(name[0])) return false;
  if (name.find(':') != std::string::npos) return false;  // a drive or a stream
  std::string rest = name;
  if (allowTrailingSeparator && IsSeparator(rest.back())) rest.pop_back();
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    std::string step = rest.substr(start, end - start);
    for (char c : step)
      if (static_cast<unsigned char>(c) < 32 || std::string("*?\"<>|").find(c) != std::string::npos) return false;
    if (OpensDevice(step)) return false;
    std::string kept = step;
    while (!kept.empty() && (kept.back() == '.' || kept.back() == ' ')) kept.pop_back();
    if (step == "..") {
      if (steps->empty()) return false;
      steps->pop_back();
    } else if (!kept.empty()) {
      steps->push_back(kept);
    }
    if (end >= rest.size()) break;
    start = end + 1;
  }
  return !steps->empty();
}

}  // namespace oracle
