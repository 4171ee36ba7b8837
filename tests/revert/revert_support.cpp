#include "revert_test.h"

#include <zlib.h>

const char kHf22Label[] = "Release 14.5.1FP1 HF22|October 5, 2026";
const char kFp2Label[] = "Release 14.5.1FP2|July 2, 2026";
const char kFp3Label[] = "Release 14.5.1FP3|August 3, 2026";
const char kFp3HfLabel[] = "Release 14.5.1FP3 HF1|September 4, 2026";
const char kFp2HfLabel[] = "Release 14.5.1FP2 HF1|September 5, 2026";
const char kSp2Label[] = "Release 8.0.2FP2|May 2, 2026";
const char kSp3Label[] = "Release 8.0.2FP3|June 3, 2026";
const char kSp4Label[] = "Release 8.0.2FP4|July 4, 2026";

/* The trees of the chain, below the engine's trees (which are "base" and "fix"). */
static const char* const kTrees[] = {"base", "fix", "fix2", "fp2", "fp3", "fp3hf", "fp2hf", "sp2", "sp3", "sp4"};

static std::string TreeDir(const std::string& root, const std::string& tree) {
  return tree == "base" || tree == "fix" ? root + "\\" + tree : root + "\\chain\\" + tree;
}

/* A version of content with a few bytes changed; each step gives other bytes. */
static std::string Changed(std::string s, int step) {
  for (size_t i = s.size() / 3 + (size_t)step * 13; i + 8 < s.size(); i += s.size() / 4 + 1)
    s[i] = (char)(s[i] ^ (0x10 + step));
  return s;
}

static std::string Template(int seed, int size) {
  std::string text;
  for (int i = 0; i < size; ++i) text += (char)('a' + (i * 7919 + seed * 31 + i / 97) % 26);
  return text;
}

static std::vector<std::string> FilesBelow(const std::string& root, const std::string& sub = std::string()) {
  std::vector<std::string> files;
  fixture::ForEachEntry(root + (sub.empty() ? "" : "\\" + sub), [&](const std::string& name, bool isDir) {
    std::string rel = sub.empty() ? name : sub + "\\" + name;
    if (isDir) {
      std::vector<std::string> below = FilesBelow(root, rel);
      files.insert(files.end(), below.begin(), below.end());
    } else {
      files.push_back(rel);
    }
  });
  return files;
}

static void Write(const std::string& path, const std::string& content) {
  size_t slash = path.find_last_of('\\');
  for (size_t i = path.find('\\', 3); i != std::string::npos && i <= slash; i = path.find('\\', i + 1))
    CreateDirectoryA(path.substr(0, i).c_str(), NULL);
  ASSERT_TRUE(fixture::WriteFile(path, content)) << path;
}

static void SetTreeRelease(const std::string& tree, const std::string& label) {
  ASSERT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\UpdateVersion.exe\" \"" + tree + "\\program\" \"" + label +
                            "\" write"));
}

/* Changes the fixpacks' files once more: the same set in each, so that their entries agree. */
static void NextFixpack(const std::string& from, const std::string& to, int step, const std::string& label) {
  fixture::CopyTree(from, to);
  for (const char* name :
       {"\\program\\nzorel.dll", "\\program\\pomvi.dll", "\\data\\templates\\report.tpl", "\\system\\zfixeng_lib.dll"})
    Write(to + name, Changed(fixture::ReadFile(from + name), step));
  Write(to + "\\program\\docs\\fp.txt", Template(40 + step, 2000 + step * 100));
  SetTreeRelease(to, label);
}

void RevertTest::SetUpTestSuite() {
  EngineTest::SetUpTestSuite();
  // The marker names the trees' count: a chain that gained trees is made anew.
  const std::string chain = trees_ + "\\chain",
                    ready = chain + "\\ready" + std::to_string(sizeof(kTrees) / sizeof(kTrees[0]));
  if (fixture::FileExists(ready)) return;
  fixture::RemoveTree(chain);
  CreateDirectoryA(chain.c_str(), NULL);
  const std::string base = TreeDir(trees_, "base"), fix = TreeDir(trees_, "fix");
  // A second hotfix on the same base: the first one's files, nzorel.dll and the readme otherwise.
  const std::string fix2 = TreeDir(trees_, "fix2");
  fixture::CopyTree(fix, fix2);
  Write(fix2 + "\\program\\nzorel.dll", Changed(fixture::ReadFile(base + "\\program\\nzorel.dll"), 5));
  Write(fix2 + "\\program\\docs\\readme.txt", Template(25, 3100));
  SetTreeRelease(fix2, kHf22Label);
  // Fixpacks 2 and 3 change the same files, add docs\fp.txt (FP2) and remove lib\old.dat (FP2).
  const std::string fp2 = TreeDir(trees_, "fp2"), fp3 = TreeDir(trees_, "fp3");
  NextFixpack(base, fp2, 1, kFp2Label);
  ASSERT_TRUE(DeleteFileA((fp2 + "\\program\\lib\\old.dat").c_str()));
  NextFixpack(fp2, fp3, 2, kFp3Label);
  // Hotfixes on each: nzorel.dll and a new signature.
  for (int i = 0; i < 2; ++i) {
    const std::string from = i == 0 ? fp3 : fp2, to = TreeDir(trees_, i == 0 ? "fp3hf" : "fp2hf");
    fixture::CopyTree(from, to);
    Write(to + "\\program\\nzorel.dll", Changed(fixture::ReadFile(from + "\\program\\nzorel.dll"), 3 + i));
    Write(to + "\\program\\sig\\hf1.sf", i == 0 ? "signature of FP3 HF1" : "signature of FP2 HF1");
    SetTreeRelease(to, i == 0 ? kFp3HfLabel : kFp2HfLabel);
  }
  // The fixpack chain again as releases of the 8.0.2 line.
  const struct {
    const char* tree;
    const char* from;
    const char* label;
  } line[] = {{"sp2", "base", kSp2Label}, {"sp3", "fp2", kSp3Label}, {"sp4", "fp3", kSp4Label}};
  for (const auto& l : line) {
    fixture::CopyTree(TreeDir(trees_, l.from), TreeDir(trees_, l.tree));
    SetTreeRelease(TreeDir(trees_, l.tree), l.label);
  }
  fixture::WriteFile(ready, "");
}

std::string RevertTest::ChainFix(const std::string& kind, const std::string& from, const std::string& fromLabel,
                                 const std::string& to, const std::string& toLabel, const std::string& olderLabel,
                                 const std::string& older) {
  const std::string f = TreeDir(trees_, from), t = TreeDir(trees_, to);
  std::string description =
      "[Fix]\r\n"
      "Title=" +
      fromLabel.substr(0, fromLabel.find('|')) + " -> " + toLabel.substr(0, toLabel.find('|')) +
      "\r\n"
      "Kind=" +
      kind +
      "\r\n"
      "BaseLabel=" +
      fromLabel +
      "\r\n"
      "FixLabel=" +
      toLabel +
      "\r\n"
      "License=" +
      trees_ +
      "\\license.txt\r\n"
      "[Base]\r\nProgram=" +
      f + "\\program\r\nData=" + f + "\\data\r\nSystem=" + f +
      "\\system\r\n"
      "[Target]\r\nProgram=" +
      t + "\\program\r\nData=" + t + "\\data\r\nSystem=" + t + "\\system\r\n";
  if (!older.empty()) {
    const std::string o = TreeDir(trees_, older);
    description += "[Label001]\r\nLabel=" + olderLabel + "\r\nProgram=" + o + "\\program\r\nData=" + o +
                   "\\data\r\nSystem=" + o + "\\system\r\n";
  }
  std::string name = trees_ + "\\chain\\" + kind + "_" + from + "_" + to + (older.empty() ? "" : "_" + older);
  if (!fixture::FileExists(name + ".exe")) {
    fixture::WriteFile(name + ".ini", description);
    EXPECT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\zfixbuild.exe\" build \"" + name + ".ini\" -o \"" + name +
                              ".exe\""))
        << description;
  }
  return name + ".exe";
}

void RevertTest::ExpectTree(const std::string& tree) {
  const std::string mine = TreeDir(trees_, tree);
  const struct {
    const char* sub;
    std::string installed;
  } dirs[] = {{"program", program_},
              {"data", dir_ + "\\product\\DATA1"},
              {"data", dir_ + "\\product\\DATA2"},
              {"system", system_}};
  for (const auto& d : dirs) {
    for (const std::string& f : FilesBelow(mine + "\\" + d.sub)) {
      std::string path = d.installed + "\\" + f;
      EXPECT_TRUE(fixture::FileExists(path)) << "missing: " << path;
      // The base tree's strings library is the product's own, never rewritten by the
      // release-string tool as every installed one is: its release text is compared instead.
      if (tree == "base" && f == "tessra.dll") continue;
      EXPECT_TRUE(fixture::ReadFile(mine + "\\" + d.sub + "\\" + f) == fixture::ReadFile(path))
          << "differs from " << tree << ": " << path;
    }
    for (const char* other : kTrees)
      for (const std::string& f : FilesBelow(TreeDir(trees_, other) + "\\" + d.sub))
        if (!fixture::FileExists(mine + "\\" + d.sub + "\\" + f)) {
          EXPECT_FALSE(fixture::FileExists(d.installed + "\\" + f)) << "left: " << d.installed << "\\" << f;
        }
  }
  // A file of the system directory is never put into the program directory.
  for (const char* other : kTrees)
    for (const std::string& f : FilesBelow(TreeDir(trees_, other) + "\\system"))
      EXPECT_FALSE(fixture::FileExists(program_ + "\\" + f)) << "misplaced: " << program_ << "\\" << f;
}

std::string RevertTest::Release() {
  std::string out = program_ + "\\currver.txt";
  DeleteFileA(out.c_str());
  fixture::Run("\"" + fixture::BinDir() + "\\UpdateVersion.exe\" \"" + program_ + "\" myversion read");
  std::string text = fixture::ReadFile(out);
  DeleteFileA(out.c_str());
  return text;
}

std::string RevertTest::LpKeys() {
  std::string keys;
  for (int i = 1; i <= 2; ++i) {
    std::string ini = dir_ + "\\product\\DATA" + std::to_string(i) + "\\ZOREL.INI";
    for (const char* key : {"CFP_LP_BASE_VERSION", "CFP_LP_CURRENT", "CFP_LP_PREV"}) {
      char value[300];
      GetPrivateProfileStringA("Zorel", key, "(none)", value, sizeof(value), ini.c_str());
      keys += std::string(key) + "=" + value + "\n";
    }
  }
  return keys;
}

std::string RevertTest::Registry() {
  std::string path = program_ + "\\PATCH.INI";
  return fixture::FileExists(path) ? fixture::ReadFile(path) : std::string("(none)");
}

bool RevertTest::BackupDirExists(const std::string& name) {
  DWORD attributes = GetFileAttributesA((program_ + "\\" + name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int RevertTest::Run(const std::string& fix, const std::string& arguments) {
  robot::Program program("\"" + fix + "\" nouser" + (arguments.empty() ? "" : " " + arguments), dir_);
  int code = program.WaitExit(120000);
  if (code == -1 && program.Running()) CloseAnswering(program);
  return code;
}
