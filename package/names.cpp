#include "package/names.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace zfix {
namespace {

char Up(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool SameText(const char* a, size_t n, const char* b) {
  if (std::strlen(b) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (Up(a[i]) != Up(b[i])) return false;
  return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool IsDeviceName(const char* name, size_t length) {
  size_t stem = 0;
  while (stem < length && name[stem] != '.') ++stem;
  while (stem > 0 && name[stem - 1] == ' ') --stem;
  static const char* const kFixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* d : kFixed)
    if (SameText(name, stem, d)) return true;
  if (stem == 4 && (SameText(name, 3, "COM") || SameText(name, 3, "LPT"))) {
    unsigned char digit = static_cast<unsigned char>(name[3]);
    // The digits, and the superscript ones of the ANSI code page that Windows also takes.
    if ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3) return true;
  }
  return false;
}

bool IsPlainName(const char* name, size_t length) {
  if (!name || length == 0) return false;
  if ((length == 1 && name[0] == '.') || (length == 2 && name[0] == '.' && name[1] == '.')) return false;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 32 || std::strchr("\\/:*?\"<>|", c)) return false;
  }
  if (name[length - 1] == '.' || name[length - 1] == ' ') return false;
  return !IsDeviceName(name, length);
}

bool IsPlainName(const char* name) { return name && IsPlainName(name, std::strlen(name)); }

bool StaysInside(const char* path) {
  if (!path || !*path) return false;
  const char* start = path;
  for (;;) {
    const char* end = start;
    while (*end && !IsSeparator(*end)) ++end;
    if (!IsPlainName(start, static_cast<size_t>(end - start))) return false;
    if (!*end) return true;
    start = end + 1;
  }
}

bool MemberStaysInside(const char* name) {
  if (!name) return false;
  std::string path(name);
  if (!path.empty() && IsSeparator(path.back())) path.pop_back();
  return StaysInside(path.c_str());
}

bool MemberNameWhole(char* buffer, size_t size, unsigned long long storedLength) {
  if (!buffer || size == 0) return false;
  if (storedLength >= size) {
    // The reader filled the buffer and left no NUL: the refusal's log line shows the cut name.
    buffer[size - 1] = '\0';
    return false;
  }
  buffer[storedLength] = '\0';
  return true;
}

JoinResult JoinInside(const char* dir, const char* name, char* out, size_t size) {
  if (out && size) out[0] = '\0';
  if (!StaysInside(name)) return JoinResult::Leaves;
  if (!out || !dir || size == 0) return JoinResult::TooLong;
  const int n = std::snprintf(out, size, "%s\\%s", dir, name);
  if (n < 0 || static_cast<size_t>(n) >= size) {
    out[0] = '\0';
    return JoinResult::TooLong;
  }
  return JoinResult::Joined;
}

bool IsLabelDirName(const char* name) { return IsPlainName(name) && !std::strchr(name, ']'); }

bool IsRegistryLabel(const char* label) {
  if (!label || !*label) return false;
  for (const char* p = label; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 32 || c == 127 || c == ']' || c == '"') return false;
  }
  return true;
}

bool IsQuotableText(const char* text) { return text && !std::strchr(text, '"'); }

std::string QuotedDirectory(const char* dir) {
  const size_t n = std::strlen(dir);
  return "\"" + std::string(dir) + (n > 0 && dir[n - 1] == '\\' ? "." : "") + "\"";
}

bool IsBareDrive(const char* path) {
  return path && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\0';
}

}  // namespace zfix
