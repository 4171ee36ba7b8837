// The folders of the installer depend on each other in one direction (docs/contributing.md, "Layers"):
// every #include of their sources names a file of the same layer or one below. Each folder
// between the installer's glue and the wizard has a layer of its own, so no two of them can
// call each other. tests/, tools/, product/, bench/ and fuzz/ may include anything; nothing of
// the installer includes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Bottom first. The resource ids stand with the installer's glue, the entry point with the
// wizard at the top.
struct Layer {
  const char* place;  // a folder, or one file
  int level;
};
const Layer kLayers[] = {
    {"package", 0},  {"installer", 1},  {"resources", 1}, {"records", 2}, {"revert", 3},
    {"identify", 4}, {"components", 5}, {"engine", 6},    {"ui", 7},      {"installer/main.cpp", 7},
};
const char* const kFree[] = {"tests", "tools", "product", "bench", "fuzz"};

// The layer of a path relative to the source root: its own entry, else its folder's; -1 for
// a place outside the layers.
int LevelOf(const std::string& path, std::string* place) {
  for (const Layer& l : kLayers)
    if (path == l.place) {
      *place = l.place;
      return l.level;
    }
  std::string folder = path.substr(0, path.find('/'));
  for (const Layer& l : kLayers)
    if (folder == l.place) {
      *place = l.place;
      return l.level;
    }
  *place = folder;
  return -1;
}

bool IsFree(const std::string& folder) {
  for (const char* f : kFree)
    if (folder == f) return true;
  return false;
}

struct Include {
  int line;
  std::string name;
  bool system;
};

std::vector<Include> IncludesOf(const fs::path& file) {
  std::vector<Include> out;
  std::ifstream in(file);
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    size_t p = text.find_first_not_of(" \t");
    if (p == std::string::npos || text[p] != '#') continue;
    p = text.find_first_not_of(" \t", p + 1);
    if (p == std::string::npos || text.compare(p, 7, "include") != 0) continue;
    p = text.find_first_of("\"<", p + 7);
    if (p == std::string::npos) continue;
    size_t end = text.find(text[p] == '"' ? '"' : '>', p + 1);
    if (end == std::string::npos) continue;
    out.push_back({line, text.substr(p + 1, end - p - 1), text[p] == '<'});
  }
  return out;
}

// What an include names, relative to the source root: "dir/file" as written, a plain name in
// the includer's own folder, else in resources/ (an include directory of the installer).
std::string Resolve(const fs::path& root, const std::string& from, const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  std::string folder = from.substr(0, from.rfind('/'));
  if (fs::exists(root / folder / name)) return folder + "/" + name;
  if (fs::exists(root / "resources" / name)) return "resources/" + name;
  return folder + "/" + name;
}

// The wrong-way includes below root, one line each.
std::vector<std::string> WrongWayIncludes(const fs::path& root) {
  std::vector<std::string> wrong;
  for (const Layer& layer : kLayers) {
    fs::path top = root / layer.place;
    if (!fs::is_directory(top)) continue;
    for (const auto& entry : fs::recursive_directory_iterator(top)) {
      std::string ext = entry.path().extension().string();
      if (ext != ".h" && ext != ".cpp" && ext != ".c" && ext != ".rc") continue;
      std::string from = fs::relative(entry.path(), root).generic_string();
      std::string fromPlace, toPlace;
      int fromLevel = LevelOf(from, &fromPlace);
      for (const Include& inc : IncludesOf(entry.path())) {
        std::string where = from + ":" + std::to_string(inc.line) + ": " + inc.name + ": ";
        if (inc.system) {
          if (fromLevel == 0 && inc.name == "windows.h") wrong.push_back(where + "the portable core has no windows.h");
          continue;
        }
        std::string to = Resolve(root, from, inc.name);
        int toLevel = LevelOf(to, &toPlace);
        if (toLevel < 0) {
          if (IsFree(toPlace)) wrong.push_back(where + fromPlace + " may not include " + toPlace + "/");
          continue;
        }
        if (toLevel > fromLevel)
          wrong.push_back(where + fromPlace + " may not include " + toPlace + ", a layer above it");
      }
    }
  }
  return wrong;
}

TEST(Layers, EveryIncludeGoesDown) {
  std::vector<std::string> wrong = WrongWayIncludes(ZFIX_SOURCE_DIR);
  std::ostringstream text;
  for (const std::string& w : wrong) text << w << "\n";
  EXPECT_TRUE(wrong.empty()) << text.str();
}

}  // namespace
