#include "tools/zfixbuild/description.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/fix_record.h"
#include "package/names.h"
#include "package/version_text.h"
#include "tools/zfixbuild/fix_resources.h"

namespace zfixbuild {

namespace {

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string Numbered(const char* stem, int n) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s%03d", stem, n);
  return buf;
}

// A label as the record and the string table carry it: "release text|date", trimmed.
bool CheckLabel(const std::string& key, const std::string& value, std::string* why) {
  if (value.empty()) {
    *why = key + " is missing";
    return false;
  }
  if (value.size() > zfix::LABEL_SIZE - 2) {
    *why = key + " is longer than " + std::to_string(zfix::LABEL_SIZE - 2) + " characters";
    return false;
  }
  char field[zfix::LABEL_SIZE + 1] = {};
  zfix::MakeLabelField(value.c_str(), field);
  zfix::TrimLabel(field);
  if (value != field) {
    *why = key + " \"" + value + "\" does not read back as itself from a label field (trimmed: \"" + field + "\")";
    return false;
  }
  return true;
}

bool ParseDir(const std::string& text, uint32_t* dir) {
  std::string u = Upper(text);
  if (u.empty() || u == "PROGRAM") *dir = zfix::DIR_PROGRAM;
  else if (u == "DATA") *dir = zfix::DIR_DATA;
  else if (u == "SYSTEM") *dir = zfix::DIR_SYSTEM;
  else return false;
  return true;
}

TreePaths ReadTrees(const IniText& ini, const std::string& section) {
  return {ini.Get(section, "Program"), ini.Get(section, "Data"), ini.Get(section, "System")};
}

}  // namespace

IniText::IniText(const std::string& text) {
  std::string section;
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a UTF-8 byte-order mark
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      section = Upper(Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1)));
      sections_[section];
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    std::string key = Upper(Trim(line.substr(0, eq)));
    if (!sections_[section].count(key)) sections_[section][key] = value;
  }
}

std::string IniText::Get(const std::string& section, const std::string& key, const std::string& def) const {
  auto s = sections_.find(Upper(section));
  if (s == sections_.end()) return def;
  auto k = s->second.find(Upper(key));
  return k == s->second.end() ? def : k->second;
}

bool IniText::Has(const std::string& section, const std::string& key) const {
  auto s = sections_.find(Upper(section));
  return s != sections_.end() && s->second.count(Upper(key)) != 0;
}

bool IniText::HasSection(const std::string& section) const { return sections_.count(Upper(section)) != 0; }

bool ParseDescription(const std::string& text, Description* d, std::string* why) {
  *d = Description();
  // A byte-order mark says UTF-8; without one the text is Windows-1252, as the Windows builder
  // reads it on the release systems. Either way the fix carries Windows-1252.
  std::string ansi = text;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    size_t line = 1;
    for (size_t start = 3; start <= text.size(); ++line) {
      size_t end = std::min(text.find('\n', start), text.size());
      std::string part;
      if (!AnsiFromUtf8(text.substr(start, end - start), &part)) {
        *why = "line " + std::to_string(line) +
               " is not UTF-8 or has characters that Windows-1252 lacks (the description starts with a UTF-8 "
               "byte-order mark)";
        return false;
      }
      start = end + 1;
    }
    AnsiFromUtf8(text.substr(3), &ansi);
  }
  IniText ini(ansi);
  if (!ini.HasSection("Fix")) {
    *why = "the description has no [Fix] section";
    return false;
  }
  d->title = ini.Get("Fix", "Title");
  if (d->title.empty()) {
    *why = "[Fix] Title is missing";
    return false;
  }
  std::string kind = Upper(ini.Get("Fix", "Kind"));
  if (kind == "HOTFIX") d->upgradeType = zfix::UPGRADE_HOTFIX;
  else if (kind == "FIXPACK") d->upgradeType = zfix::UPGRADE_FIXPACK;
  else if (kind == "PLAIN") d->upgradeType = zfix::UPGRADE_NONE;
  else {
    *why = "[Fix] Kind must be hotfix, fixpack or plain, not \"" + ini.Get("Fix", "Kind") + "\"";
    return false;
  }
  d->baseLabel = ini.Get("Fix", "BaseLabel");
  d->fixLabel = ini.Get("Fix", "FixLabel");
  if (!CheckLabel("[Fix] BaseLabel", d->baseLabel, why) || !CheckLabel("[Fix] FixLabel", d->fixLabel, why)) return false;
  d->stringsLibrary = ini.Get("Fix", "StringsLibrary", "tessra.dll");
  // The installer opens it in the program directory itself.
  if (!zfix::IsPlainName(d->stringsLibrary.c_str())) {
    *why = "[Fix] StringsLibrary \"" + d->stringsLibrary + "\" must be one plain file name in the program directory";
    return false;
  }
  d->license = ini.Get("Fix", "License");
  if (d->license.empty()) {
    *why = "[Fix] License is missing";
    return false;
  }
  d->releaseText = ini.Get("Fix", "ReleaseText", d->fixLabel);
  d->fixKind = ini.Get("Fix", "FixKind", d->fixLabel);
  if (d->fixKind.empty()) d->fixKind = d->fixLabel;
  if (d->fixKind != d->fixLabel && d->fixKind != zfix::FIXKIND_CUSTOM && d->fixKind != zfix::FIXKIND_RQA &&
      d->fixKind != zfix::FIXKIND_TDX) {
    *why = "[Fix] FixKind must be \"Custom Fix\", \"RQA\" or \"TDX\" (or left out for an ordinary fix), not \"" +
           d->fixKind + "\"";
    return false;
  }
  if (d->fixKind == zfix::FIXKIND_TDX || d->fixKind == zfix::FIXKIND_CUSTOM) {
    // The installer compares the version after the title's first ':' with the installed file's;
    // a fix whose version it cannot read is never installed.
    int n[4];
    if (!ParseTitleVersion(d->title.c_str(), n)) {
      *why = "[Fix] Title of a " + d->fixKind + " fix must end in ':' and its four-part version (\"Diagnostics: 9.0.1.7\")";
      return false;
    }
  }
  d->lpValue = ini.Get("Fix", "LP", d->fixLabel);
  if (d->lpValue.empty()) d->lpValue = d->fixLabel;
  d->tool = ini.Get("Fix", "Tool");
  d->output = ini.Get("Fix", "Output");

  d->base = ReadTrees(ini, "Base");
  d->target = ReadTrees(ini, "Target");
  if (d->base.program.empty() || d->target.program.empty()) {
    *why = "[Base] and [Target] each need Program";
    return false;
  }
  for (int n = 1; ini.HasSection(Numbered("Label", n)); ++n) {
    std::string section = Numbered("Label", n);
    OlderLabel o;
    o.label = ini.Get(section, "Label");
    o.trees = ReadTrees(ini, section);
    if (!CheckLabel("[" + section + "] Label", o.label, why)) return false;
    if (o.trees.program.empty()) {
      *why = "[" + section + "] needs Program";
      return false;
    }
    d->older.push_back(o);
  }
  for (int n = 1; ini.Has("OldFixes", Numbered("File", n)); ++n) {
    OldFixFile f;
    f.name = ini.Get("OldFixes", Numbered("File", n));
    if (!zfix::StaysInside(f.name.c_str())) {
      *why = "[OldFixes] " + Numbered("File", n) + " \"" + f.name + "\" must name a file below its directory";
      return false;
    }
    if (!ParseDir(ini.Get("OldFixes", Numbered("Dir", n)), &f.dir)) {
      *why = "[OldFixes] " + Numbered("Dir", n) + " must be Program, Data or System";
      return false;
    }
    d->oldFixes.push_back(f);
  }
  if (!d->oldFixes.empty() && d->upgradeType == zfix::UPGRADE_NONE) {
    // A plain fix would send old-fix entries down the patch path with no installed file.
    *why = "[OldFixes] needs a fix with labels (Kind hotfix or fixpack)";
    return false;
  }
  return true;
}

}  // namespace zfixbuild
