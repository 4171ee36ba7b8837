// The DESCRIPTION file of `zfixbuild build`: an INI file naming the fix, its labels and the
// product trees it is built from (README.md, "Package builder", lists every key).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace zfixbuild {

// An INI text: sections and keys are looked up without regard to case; values are trimmed and
// lose one pair of enclosing double quotes, as the profile-string read does.
class IniText {
 public:
  explicit IniText(const std::string& text);
  // The value, or def when the section or key is missing.
  std::string Get(const std::string& section, const std::string& key, const std::string& def = std::string()) const;
  bool Has(const std::string& section, const std::string& key) const;
  bool HasSection(const std::string& section) const;

 private:
  std::map<std::string, std::map<std::string, std::string>> sections_;  // upper-cased names
};

// The product trees of one label; paths as written in the description (relative to its folder
// unless absolute). Program is required, Data and System may be empty.
struct TreePaths {
  std::string program, data, system;
};

struct OlderLabel {
  std::string label;
  TreePaths trees;
};

struct OldFixFile {
  std::string name;  // relative to the directory that dir selects
  uint32_t dir;      // DIR_PROGRAM, DIR_DATA or DIR_SYSTEM
};

struct Description {
  std::string title;           // string 0
  uint32_t upgradeType = 0;    // Kind: plain 0, hotfix 1, fixpack 2
  std::string baseLabel;       // "release text|date"
  std::string fixLabel;
  std::string stringsLibrary;  // string 1
  std::string license;         // path of the licence text
  std::string releaseText;     // string 2 (default: the fix label)
  std::string fixKind;         // string 42 (default: the fix label)
  std::string lpValue;         // string 43 (default: the fix label)
  std::string tool;            // optional jar carried as TOOLENTRY/1
  std::string output;          // optional output path
  TreePaths base, target;
  std::vector<OlderLabel> older;     // [Label001], [Label002], ...
  std::vector<OldFixFile> oldFixes;  // [OldFixes] File001/Dir001, ...
};

// Reads and checks a description; on failure *why says what is wrong.
bool ParseDescription(const std::string& text, Description* d, std::string* why);

}  // namespace zfixbuild
