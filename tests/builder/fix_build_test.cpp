// The fix derived from two trees, read back with the installer's own readers: the record's
// header, checksum table and file list, every file entry, and every payload unpacked and
// applied. Also the description file and the string-table blocks.
#include "tools/zfixbuild/fix_build.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "package/byte_io.h"
#include "package/checksum.h"
#include "package/explode.h"
#include "package/patch_apply.h"
#include "package/patch_find.h"
#include "tools/zfixbuild/description.h"
#include "tools/zfixbuild/string_block.h"

namespace {

using Bytes = std::vector<uint8_t>;
using zfixbuild::TreeFile;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

uint32_t Crc(const Bytes& bytes) { return zfix::Crc32(bytes.data(), bytes.size()); }

TreeFile File(const std::string& name, uint32_t dir, const Bytes& bytes, uint32_t time) {
  TreeFile f;
  f.name = name;
  f.dir = dir;
  f.bytes = bytes;
  f.time = time;
  return f;
}

Bytes Code(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng() % 48);
  return b;
}

const char kDescription[] =
    "; hotfix 21\n"
    "[Fix]\n"
    "Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21\n"
    "Kind=hotfix\n"
    "BaseLabel=Release 14.5.1FP1|May 21, 2026\n"
    "FixLabel=Release 14.5.1FP1 HF21|September 21, 2026\n"
    "StringsLibrary=tessra.dll\n"
    "License=license.txt\n"
    "[Base]\n"
    "Program=base\\program\n"
    "Data=base\\data\n"
    "[Target]\n"
    "Program=fix\\program\n"
    "Data=fix\\data\n"
    "[Label001]\n"
    "Label=Release 14.5.1|January 9, 2026\n"
    "Program=ga\\program\n"
    "[OldFixes]\n"
    "File001=oldhf.dll\n";

zfixbuild::Description Parsed(const std::string& text) {
  zfixbuild::Description d;
  std::string why;
  EXPECT_TRUE(zfixbuild::ParseDescription(text, &d, &why)) << why;
  return d;
}

Bytes Unpack(const Bytes& resource) {
  Bytes out(zfix::GetLe32(resource.data()));
  size_t written = 0;
  EXPECT_EQ(zfix::ExplodeToBuffer(resource.data() + 4, resource.size() - 4, out.data(), out.size(), &written),
            unsigned(zfix::EXPLODE_OK));
  EXPECT_EQ(written, out.size());
  return out;
}

class FixBuild : public ::testing::Test {
 protected:
  void SetUp() override {
    Bytes lib = Code(30000, 1);
    Bytes shifted(lib.begin(), lib.begin() + 9000);
    Bytes inserted = Code(200, 2);
    shifted.insert(shifted.end(), inserted.begin(), inserted.end());
    shifted.insert(shifted.end(), lib.begin() + 9000, lib.end());
    for (size_t i = 12000; i < shifted.size(); i += 80) shifted[i] ^= 0x21;
    Bytes strings = Code(8000, 3), newStrings = strings;
    newStrings[100] ^= 1;
    Bytes tpl = Code(3500, 4), newTpl = tpl;  // a template with two changed fields
    newTpl[700] ^= 3;
    newTpl[2100] ^= 5;
    base_ = {File("pomvi.dll", zfix::DIR_PROGRAM, lib, 1000),
             File("tessra.dll", zfix::DIR_PROGRAM, strings, 1001),
             File("HOSTRK.EXE", zfix::DIR_PROGRAM, Text("server"), 1002),
             File("same.txt", zfix::DIR_PROGRAM, Text("unchanged"), 1003),
             File("zorel.tpl", zfix::DIR_DATA, tpl, 1004),
             File("ZOREL.INI", zfix::DIR_PROGRAM, Text("[Zorel]\nA=1\n"), 1005)};
    target_ = {File("pomvi.dll", zfix::DIR_PROGRAM, shifted, 2000),
               File("tessra.dll", zfix::DIR_PROGRAM, newStrings, 2001),
               File("sig\\pomvi.sf", zfix::DIR_PROGRAM, Text("signature"), 2002),
               File("same.txt", zfix::DIR_PROGRAM, Text("unchanged"), 2003),
               File("zorel.tpl", zfix::DIR_DATA, newTpl, 2004),
               File("ZOREL.INI", zfix::DIR_PROGRAM, Code(3000, 9), 2005)};  // rewritten: whole is smaller
    older_ = {{File("pomvi.dll", zfix::DIR_PROGRAM, Text("ga library"), 500)}};
  }

  zfixbuild::Tree base_, target_;
  std::vector<zfixbuild::Tree> older_;
};

TEST_F(FixBuild, InstallerReadersGetBackWhatTheTreesSay) {
  zfixbuild::Description d = Parsed(kDescription);
  zfixbuild::BuiltFix fix;
  std::string why;
  std::vector<std::string> notes;
  ASSERT_TRUE(zfixbuild::BuildFix(d, base_, target_, older_, &fix, &why, &notes)) << why;

  // Entries: changed and new files in directory and name order, then removed, then old fixes.
  struct Expected {
    const char* name;
    uint32_t operation, dir;
    const TreeFile* before;
    const TreeFile* after;
  } expected[] = {
      {"pomvi.dll", zfix::FE_PATCH, zfix::DIR_PROGRAM, &base_[0], &target_[0]},
      {"sig\\pomvi.sf", zfix::FE_REPLACE, zfix::DIR_PROGRAM, nullptr, &target_[2]},
      {"tessra.dll", zfix::FE_REPLACE, zfix::DIR_PROGRAM, &base_[1], &target_[1]},  // never patched
      {"ZOREL.INI", zfix::FE_REPLACE, zfix::DIR_PROGRAM, &base_[5], &target_[5]},
      {"zorel.tpl", zfix::FE_PATCH, zfix::DIR_DATA, &base_[4], &target_[4]},
      {"HOSTRK.EXE", zfix::FE_REMOVE, zfix::DIR_PROGRAM, &base_[2], nullptr},
      {"oldhf.dll", zfix::FE_OLDFIX, zfix::DIR_PROGRAM, nullptr, nullptr},
  };
  const size_t n = sizeof expected / sizeof expected[0];
  ASSERT_EQ(fix.entries.size(), n);

  zfix::FIXRECORD rec;
  ASSERT_TRUE(zfix::ReadFixRecord(fix.version.data(), fix.version.size(), &rec, &why)) << why;
  EXPECT_EQ(rec.cbUsed, fix.version.size());
  EXPECT_TRUE(zfix::WriteFixRecord(rec) == fix.version);
  const zfix::FIXHEADER& h = rec.header;
  char oldLabel[zfix::LABEL_SIZE + 1], newLabel[zfix::LABEL_SIZE + 1];
  std::memcpy(oldLabel, h.canOldLabel, sizeof oldLabel);
  std::memcpy(newLabel, h.canNewLabel, sizeof newLabel);
  EXPECT_EQ(oldLabel[99], '\0');
  EXPECT_EQ(oldLabel[98], '|');
  zfix::TrimLabel(oldLabel);
  zfix::TrimLabel(newLabel);
  EXPECT_STREQ(oldLabel, "Release 14.5.1FP1|May 21, 2026");
  EXPECT_STREQ(newLabel, "Release 14.5.1FP1 HF21|September 21, 2026");
  EXPECT_EQ(h.dwSpare, 0u);
  EXPECT_EQ(h.dwUpgradeType, 1u);
  EXPECT_EQ(h.dwFileEntries, n);
  EXPECT_EQ(h.dwListedFiles, n);
  EXPECT_EQ(h.dwStringsChecksum, Crc(target_[1].bytes));
  EXPECT_EQ(h.dwDataDirSpace, 4u);  // 3500 bytes
  uint32_t written = 0;
  for (const TreeFile& f : target_)
    if (f.name != "same.txt") written += static_cast<uint32_t>(f.bytes.size());
  // Temporary files, and the backup copies of the patched pomvi.dll and zorel.tpl and of nothing
  // else in the program directory (the rest are moved there).
  uint32_t copied = static_cast<uint32_t>(base_[0].bytes.size() + base_[4].bytes.size());
  EXPECT_EQ(h.dwProgramSpace, (written + copied + 1023) / 1024);

  // Checksum table: the strings library under the base label, then every file under the fix
  // label, the base label and the older label.
  ASSERT_EQ(h.gdwChecksums, 1 + 3 * n);
  EXPECT_STREQ(rec.checksums[0].lpFile, "tessra.dll");
  EXPECT_EQ(rec.checksums[0].dwChecksum, Crc(base_[1].bytes));
  const char* labels[] = {"Release 14.5.1FP1 HF21|September 21, 2026", "Release 14.5.1FP1|May 21, 2026",
                          "Release 14.5.1|January 9, 2026"};
  for (size_t group = 0; group < 3; ++group)
    for (size_t k = 0; k < n; ++k) {
      const zfix::CHECKSUMRECORD& c = rec.checksums[1 + group * n + k];
      char label[zfix::LABEL_SIZE + 1];
      std::memcpy(label, c.canLabel, sizeof label);
      zfix::TrimLabel(label);
      EXPECT_STREQ(label, labels[group]);
      EXPECT_STREQ(c.lpFile, expected[k].name);
      const TreeFile* f = group == 0 ? expected[k].after : group == 1 ? expected[k].before
                                                         : (k == 0 ? &older_[0][0] : nullptr);
      EXPECT_EQ(c.dwChecksum, f ? Crc(f->bytes) : 0u) << group << " " << c.lpFile;
    }

  for (size_t k = 0; k < n; ++k) {
    const Expected& x = expected[k];
    const zfix::FILELISTRECORD& l = rec.files[k];
    EXPECT_STREQ(l.lpFile, x.name);
    EXPECT_EQ(l.dwNameLength, std::strlen(x.name));
    EXPECT_EQ(l.dwOperation, x.operation) << x.name;
    EXPECT_EQ(l.dwDir, x.dir);
    EXPECT_EQ(l.dwFileEntry, k + 1);
    EXPECT_EQ(l.dwOldChecksum, x.before ? Crc(x.before->bytes) : 0u);
    EXPECT_EQ(l.dwNewChecksum, x.after ? Crc(x.after->bytes) : 0u);

    // The FILEENTRY resource as the engine reads it.
    const zfixbuild::BuiltEntry& b = fix.entries[k];
    Bytes res = zfix::WriteFileEntry(b.name.c_str(), b.entry);
    char name[zfix::MAX_ENTRY_NAME + 1];
    zfix::FILEENTRY e;
    ASSERT_TRUE(zfix::ReadFileEntry(res.data(), res.size(), name, sizeof name, &e));
    EXPECT_STREQ(name, x.name);
    EXPECT_EQ(e.dwOperation, x.operation);
    EXPECT_EQ(e.dwDir, x.dir);
    EXPECT_EQ(e.dwOldSize, x.before ? x.before->bytes.size() : 0u);
    EXPECT_EQ(e.dwNewSize, x.after ? x.after->bytes.size() : 0u);
    EXPECT_EQ(e.dwOldChecksum, l.dwOldChecksum);
    EXPECT_EQ(e.dwNewChecksum, l.dwNewChecksum);
    EXPECT_EQ(e.dwOldTime, x.before ? x.before->time : 0u);
    EXPECT_EQ(e.dwNewTime, x.after ? x.after->time : 0u);

    // The payload: none for removed and old-fix files; a whole file or a patch both ways.
    if (!x.after) {
      EXPECT_TRUE(b.payload.empty()) << x.name;
      continue;
    }
    Bytes payload = Unpack(b.payload);
    if (x.operation == zfix::FE_REPLACE) {
      EXPECT_EQ(e.dwPatchCount, 0u);
      EXPECT_TRUE(payload == x.after->bytes) << x.name;
      continue;
    }
    EXPECT_GT(e.dwPatchCount, 0u);
    EXPECT_LT(b.payload.size(), b.wholeSize);
    Bytes up, back;
    zfix::ApplyFileUpdate(e, false, payload.data(), payload.size(), x.before->bytes.data(), x.before->bytes.size(), &up);
    zfix::ApplyFileUpdate(e, true, payload.data(), payload.size(), x.after->bytes.data(), x.after->bytes.size(), &back);
    EXPECT_TRUE(up == x.after->bytes);
    EXPECT_TRUE(back == x.before->bytes);
  }

  std::map<unsigned, std::string> strings = {{0, "Release 14.5.1FP1 -> Release 14.5.1FP1 HF21"},
                                             {1, "tessra.dll"},
                                             {2, "Release 14.5.1FP1 HF21|September 21, 2026"},
                                             {42, "Release 14.5.1FP1 HF21|September 21, 2026"},
                                             {43, "Release 14.5.1FP1 HF21|September 21, 2026"}};
  EXPECT_EQ(fix.strings, strings);
}

TEST_F(FixBuild, RefusesWhatTheInstallerCouldNotUse) {
  struct Case {
    const char* what;
    std::string description;
    zfixbuild::Tree base, target;
    const char* because;
  } cases[] = {
      {"nothing changed", std::string(kDescription).substr(0, std::string(kDescription).find("[OldFixes]")), target_, target_,
       "nothing to fix"},
      {"labels sharing a backup directory",
       std::string(kDescription) + "[Label002]\nLabel=Release 14.5.1 FP1|May 1, 2026\nProgram=x\n", base_, target_,
       "share the backup directory"},
      {"older label naming a drive's directory",
       std::string(kDescription) + "[Label002]\nLabel=C:\\windows|May 1, 2020\nProgram=x\n", base_, target_,
       "no plain directory name"},
      {"base label naming another directory",
       [] {
         std::string t = kDescription;
         t.replace(t.find("BaseLabel=Release 14.5.1FP1|May 21, 2026"), 40, "BaseLabel=..\\..\\elsewhere|May 21, 2026");
         return t;
       }(),
       base_, target_, "no plain directory name"},
      {"label that is a step up", std::string(kDescription) + "[Label002]\nLabel=..|May 1, 2020\nProgram=x\n", base_,
       target_, "no plain directory name"},
      {"label that is a device", std::string(kDescription) + "[Label002]\nLabel=NUL|May 1, 2020\nProgram=x\n", base_,
       target_, "no plain directory name"},
      {"label with a bracket", std::string(kDescription) + "[Label002]\nLabel=Release]1|May 1, 2020\nProgram=x\n", base_,
       target_, "no plain directory name"},
      {"label with a quote", std::string(kDescription) + "[Label002]\nLabel=Rel\"ease|May 1, 2020\nProgram=x\n", base_,
       target_, "no plain directory name"},
      // Past the '|' a label names no directory, but it is still a value and a section name of PATCH.INI.
      {"label with a bracket in its date", std::string(kDescription) + "[Label002]\nLabel=Release 1|May] 1, 2020\nProgram=x\n",
       base_, target_, "cannot be recorded in PATCH.INI"},
      {"label with a line break in its date", std::string(kDescription) + "[Label002]\nLabel=Release 1|May\r1, 2020\nProgram=x\n",
       base_, target_, "cannot be recorded in PATCH.INI"},
      // A label is a quoted word of the release-string tool's command line too.
      {"label with a quote in its date", std::string(kDescription) + "[Label002]\nLabel=Release 1|May\" 1, 2020\nProgram=x\n",
       base_, target_, "no '\"'"},
      {"device name in the fix tree", kDescription, base_,
       [&] {
         auto t = target_;
         t.push_back(File("aux.txt", zfix::DIR_PROGRAM, Text("x"), 0));
         return t;
       }(),
       "device name"},
      {"device directory in the base tree",
       kDescription,
       [&] {
         auto t = base_;
         t.push_back(File("sig\\CON\\x.sf", zfix::DIR_PROGRAM, Text("x"), 0));
         return t;
       }(),
       target_, "device name"},
      {"device name in the data tree", kDescription, base_,
       [&] {
         auto t = target_;
         t.push_back(File("templates\\COM1.tpl", zfix::DIR_DATA, Text("x"), 0));
         return t;
       }(),
       "device name"},
      {"name with a stream", kDescription, base_,
       [&] {
         auto t = target_;
         t.push_back(File("tessra.dll:evil", zfix::DIR_PROGRAM, Text("x"), 0));
         return t;
       }(),
       "stay below"},
      {"name too long", kDescription, base_,
       [&] {
         auto t = target_;
         t.push_back(File(std::string(300, 'n'), zfix::DIR_PROGRAM, Text("x"), 0));
         return t;
       }(),
       "a name must have"},
  };
  for (const Case& c : cases) {
    zfixbuild::Description d = Parsed(c.description);
    std::vector<zfixbuild::Tree> older(d.older.size());
    zfixbuild::BuiltFix fix;
    std::string why;
    std::vector<std::string> notes;
    EXPECT_FALSE(zfixbuild::BuildFix(d, c.base, c.target, older, &fix, &why, &notes)) << c.what;
    EXPECT_NE(why.find(c.because), std::string::npos) << c.what << ": " << why;
  }
}

// Names that are one file on Windows (its file names ignore case) are refused in every tree, named
// both: the fix would carry two entries for one file, and an index of the tree would keep one.
TEST_F(FixBuild, RefusesTwoFilesThatAreOneOnWindows) {
  auto plus = [](zfixbuild::Tree t, const TreeFile& f) {
    t.push_back(f);
    return t;
  };
  struct Case {
    const char* what;
    zfixbuild::Tree base, target, older;
    const char* first;
    const char* second;
  } cases[] = {
      {"target", base_, plus(target_, File("zorel.ini", zfix::DIR_PROGRAM, Text("x"), 0)), older_[0], "ZOREL.INI",
       "zorel.ini"},
      {"base", plus(base_, File("Same.TXT", zfix::DIR_PROGRAM, Text("x"), 0)), target_, older_[0], "same.txt",
       "Same.TXT"},
      {"older label", base_, target_, plus(older_[0], File("POMVI.DLL", zfix::DIR_PROGRAM, Text("x"), 0)), "pomvi.dll",
       "POMVI.DLL"},
      {"Windows-1252 letters", base_,
       plus(plus(target_, File("caf\xE9.txt", zfix::DIR_DATA, Text("x"), 0)),
            File("CAF\xC9.TXT", zfix::DIR_DATA, Text("y"), 0)),
       older_[0], "caf\xE9.txt", "CAF\xC9.TXT"},
  };
  zfixbuild::Description d = Parsed(kDescription);
  for (const Case& c : cases) {
    zfixbuild::BuiltFix fix;
    std::string why;
    std::vector<std::string> notes;
    EXPECT_FALSE(zfixbuild::BuildFix(d, c.base, c.target, {c.older}, &fix, &why, &notes)) << c.what;
    EXPECT_NE(why.find(std::string("\"") + c.first + "\""), std::string::npos) << c.what << ": " << why;
    EXPECT_NE(why.find(std::string("\"") + c.second + "\""), std::string::npos) << c.what << ": " << why;
    EXPECT_NE(why.find("the same file on Windows"), std::string::npos) << c.what << ": " << why;
  }
  // One name in two directories is two files.
  zfixbuild::BuiltFix fix;
  std::string why;
  std::vector<std::string> notes;
  EXPECT_TRUE(zfixbuild::BuildFix(d, base_, plus(target_, File("zorel.ini", zfix::DIR_DATA, Text("x"), 0)), older_,
                                  &fix, &why, &notes))
      << why;
}

// Trees read from disk only while the fix needs them give the same fix; a file that cannot be
// read any more stops the build.
TEST_F(FixBuild, FilesOnDiskAreReadWhenNeeded) {
  zfixbuild::Description d = Parsed(kDescription);
  zfixbuild::BuiltFix inMemory, onDisk;
  std::string why;
  std::vector<std::string> notes;
  ASSERT_TRUE(zfixbuild::BuildFix(d, base_, target_, older_, &inMemory, &why, &notes)) << why;

  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("fix_build_test_" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(dir);
  auto onDiskTree = [&](const zfixbuild::Tree& tree, const std::string& prefix) {
    zfixbuild::Tree t = tree;
    for (size_t k = 0; k < t.size(); ++k) {
      std::string path = (dir / (prefix + std::to_string(k))).string();
      FILE* f = std::fopen(path.c_str(), "wb");
      std::fwrite(t[k].bytes.data(), 1, t[k].bytes.size(), f);
      std::fclose(f);
      t[k].path = path;
      t[k].size = t[k].bytes.size();
      t[k].bytes.clear();
    }
    return t;
  };
  zfixbuild::Tree base = onDiskTree(base_, "base"), target = onDiskTree(target_, "target");
  ASSERT_TRUE(zfixbuild::BuildFix(d, base, target, older_, &onDisk, &why, &notes)) << why;
  EXPECT_TRUE(onDisk.version == inMemory.version);
  ASSERT_EQ(onDisk.entries.size(), inMemory.entries.size());
  for (size_t k = 0; k < onDisk.entries.size(); ++k)
    EXPECT_TRUE(onDisk.entries[k].payload == inMemory.entries[k].payload) << onDisk.entries[k].name;

  std::filesystem::remove(target[0].path);
  EXPECT_FALSE(zfixbuild::BuildFix(d, base, target, older_, &onDisk, &why, &notes));
  EXPECT_NE(why.find("cannot read"), std::string::npos) << why;
  std::filesystem::remove_all(dir);
}

// A library with 8 KB of it replaced by unrelated bytes: aligned byte by byte within the band,
// the gap's chance matches cost records that save nothing, and on the diagonals of its matches
// (band 0) the patch is smaller. The builder keeps the smallest of all alignments it may take.
TEST_F(FixBuild, KeepsTheSmallestPatchOfTheAlignments) {
  Bytes before = Code(65536, 60), after = before, block = Code(8192, 61);
  std::copy(block.begin(), block.end(), after.begin() + 30000);
  base_.push_back(File("gap.dll", zfix::DIR_PROGRAM, before, 3000));
  target_.push_back(File("gap.dll", zfix::DIR_PROGRAM, after, 4000));
  zfixbuild::Description d = Parsed(kDescription);
  std::string why;
  std::vector<std::string> notes;
  zfixbuild::BuiltFix fix;
  ASSERT_TRUE(zfixbuild::BuildFix(d, base_, target_, older_, &fix, &why, &notes)) << why;
  const zfixbuild::BuiltEntry* built = nullptr;
  for (const zfixbuild::BuiltEntry& e : fix.entries)
    if (e.name == "gap.dll") built = &e;
  ASSERT_TRUE(built != nullptr);
  ASSERT_EQ(built->entry.dwOperation, uint32_t(zfix::FE_PATCH));

  std::vector<zfix::PatchFindOptions> alignments = zfix::PatchAlignments();
  for (uint32_t band : {0u, 64u}) {
    alignments.push_back(zfix::PatchFindOptions());
    alignments.back().band = band;
  }
  std::map<size_t, uint32_t> sizes;  // compressed size -> band
  for (const zfix::PatchFindOptions& options : alignments) {
    Bytes stream, patch;
    uint32_t count = 0;
    ASSERT_TRUE(zfix::FindPatch(before.data(), before.size(), after.data(), after.size(), &stream, &count, options));
    ASSERT_TRUE(zfixbuild::Compress(stream, &patch, zfix::kPatchSearchDepth));
    sizes.emplace(patch.size(), options.band);
  }
  ASSERT_GT(sizes.size(), 1u) << "the alignments agree: nothing to choose";
  EXPECT_EQ(built->payload.size(), sizes.begin()->first) << "the smallest is that of band " << sizes.begin()->second
                                                         << "; the largest " << sizes.rbegin()->first;
}

TEST_F(FixBuild, AnyNumberOfJobsGivesTheSameFix) {
  // Forty more changed and new files of mixed sizes, so that the workers finish out of order.
  for (unsigned k = 0; k < 40; ++k) {
    Bytes before = Code(500 + 997 * (k % 7), 100 + k), after = before;
    for (size_t i = k; i < after.size(); i += 300 + k) after[i] ^= 0x11;
    std::string name = "lib" + std::to_string(k) + ".dll";
    if (k % 5) base_.push_back(File(name, zfix::DIR_PROGRAM, before, 3000 + k));
    target_.push_back(File(name, zfix::DIR_PROGRAM, after, 4000 + k));
  }
  zfixbuild::Description d = Parsed(kDescription);
  std::string why;
  std::vector<std::string> notes;
  zfixbuild::BuiltFix one;
  ASSERT_TRUE(zfixbuild::BuildFix(d, base_, target_, older_, &one, &why, &notes, 1)) << why;
  for (unsigned jobs : {2u, 3u, 8u}) {
    zfixbuild::BuiltFix many;
    ASSERT_TRUE(zfixbuild::BuildFix(d, base_, target_, older_, &many, &why, &notes, jobs)) << why;
    EXPECT_TRUE(many.version == one.version) << jobs << " jobs";
    ASSERT_EQ(many.entries.size(), one.entries.size()) << jobs << " jobs";
    for (size_t k = 0; k < one.entries.size(); ++k) {
      EXPECT_EQ(many.entries[k].name, one.entries[k].name) << jobs << " jobs";
      EXPECT_TRUE(many.entries[k].payload == one.entries[k].payload) << jobs << " jobs, " << one.entries[k].name;
      EXPECT_EQ(std::memcmp(&many.entries[k].entry, &one.entries[k].entry, sizeof one.entries[k].entry), 0);
    }
  }

  // Files that cannot be read: the first of them in entry order is named, whatever the workers.
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("fix_jobs_test_" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(dir);
  zfixbuild::Tree target = target_;
  for (size_t k = 0; k < target.size(); ++k) {
    target[k].path = (dir / ("missing" + std::to_string(k))).string();
    target[k].size = target[k].bytes.size();
    target[k].bytes.clear();
  }
  std::string first;
  for (unsigned jobs : {1u, 4u}) {
    zfixbuild::BuiltFix fix;
    EXPECT_FALSE(zfixbuild::BuildFix(d, base_, target, older_, &fix, &why, &notes, jobs));
    EXPECT_NE(why.find("cannot read"), std::string::npos) << why;
    if (first.empty()) first = why;
    EXPECT_EQ(why, first) << jobs << " jobs";
  }
  std::filesystem::remove_all(dir);
}

TEST(Description, OptionalKeysAndTheirDefaults) {
  zfixbuild::Description d = Parsed(kDescription);
  EXPECT_EQ(d.upgradeType, 1u);
  EXPECT_EQ(d.base.program, "base\\program");
  EXPECT_EQ(d.target.data, "fix\\data");
  EXPECT_EQ(d.target.system, "");
  EXPECT_EQ(d.releaseText, d.fixLabel);
  EXPECT_EQ(d.fixKind, d.fixLabel);
  EXPECT_EQ(d.lpValue, d.fixLabel);
  ASSERT_EQ(d.older.size(), 1u);
  EXPECT_EQ(d.older[0].label, "Release 14.5.1|January 9, 2026");
  ASSERT_EQ(d.oldFixes.size(), 1u);
  EXPECT_EQ(d.oldFixes[0].dir, zfix::DIR_PROGRAM);

  zfixbuild::Description custom = Parsed(
      "\xEF\xBB\xBF[fix]\ntitle = Custom: 9,0,1.7\nkind=FIXPACK\nbaselabel=\"Release 9|x\"\nfixlabel=Release 9 CF\n"
      "stringslibrary=nzorel.dll\nlicense=l.txt\nFixKind=Custom Fix\nLP=SKIP\nReleaseText=Maximum:9.0.2\n"
      "[base]\nprogram=a\n[target]\nprogram=b\nsystem=c\n[OldFixes]\nFile001=t.tpl\nDir001=data\n");
  EXPECT_EQ(custom.upgradeType, 2u);
  EXPECT_EQ(custom.baseLabel, "Release 9|x");
  EXPECT_EQ(custom.fixKind, "Custom Fix");
  EXPECT_EQ(custom.lpValue, "SKIP");
  EXPECT_EQ(custom.releaseText, "Maximum:9.0.2");
  EXPECT_EQ(custom.stringsLibrary, "nzorel.dll");
  EXPECT_EQ(custom.target.system, "c");
  ASSERT_EQ(custom.oldFixes.size(), 1u);
  EXPECT_EQ(custom.oldFixes[0].dir, zfix::DIR_DATA);
}

TEST(Description, MistakesAreNamed) {
  std::string good = kDescription;
  auto edit = [](std::string s, const std::string& from, const std::string& to) {
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  auto with = [&](const std::string& from, const std::string& to) { return edit(good, from, to); };
  struct Case {
    std::string text;
    const char* because;
  } cases[] = {
      {"[Base]\nProgram=a\n", "no [Fix] section"},
      {with("Kind=hotfix", "Kind=servicepack"), "Kind must be"},
      {with("Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21\n", ""), "Title is missing"},
      {with("BaseLabel=Release 14.5.1FP1|May 21, 2026", "BaseLabel=Release|May|21"), "BaseLabel"},
      {with("BaseLabel=Release 14.5.1FP1|May 21, 2026", "BaseLabel=" + std::string(120, 'R')), "longer than"},
      {with("License=license.txt\n", "License=license.txt\nFixKind=Hotfix\n"), "FixKind must be"},
      {with("Kind=hotfix", "Kind=plain"), "[OldFixes] needs a fix with labels"},
      {with("Program=fix\\program\n", ""), "[Target] each need Program"},
      {good + "Dir001=floppy\n", "Dir001 must be"},
      {with("File001=oldhf.dll", "File001=sig\\..\\..\\oldhf.dll"), "below its directory"},
      {with("File001=oldhf.dll", "File001=C:oldhf.dll"), "below its directory"},
      {with("File001=oldhf.dll", "File001=sig\\aux.txt"), "below its directory"},
      {with("StringsLibrary=tessra.dll", "StringsLibrary=..\\..\\evil.dll"), "StringsLibrary"},
      {with("StringsLibrary=tessra.dll", "StringsLibrary=C:\\windows\\evil.dll"), "StringsLibrary"},
      {with("StringsLibrary=tessra.dll", "StringsLibrary=\\evil.dll"), "StringsLibrary"},
      {with("StringsLibrary=tessra.dll", "StringsLibrary=sig\\tessra.dll"), "StringsLibrary"},
      {with("StringsLibrary=tessra.dll", "StringsLibrary=NUL"), "StringsLibrary"},
      {with("License=license.txt\n", "License=license.txt\nFixKind=TDX\n"), "four-part version"},
      {edit(with("Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21", "Title=Custom: 9.0"), "License=license.txt\n",
            "License=license.txt\nFixKind=Custom Fix\n"),
       "four-part version"},
      // Marked as UTF-8 by its byte-order mark: a character that Windows-1252 lacks, bytes that are not UTF-8.
      {"\xEF\xBB\xBF" + with("HF21\n", "HF21 \xE5\x90\x8D\n"), "Windows-1252"},
      {"\xEF\xBB\xBF" + with("HF21\n", "HF21 \xE9\n"), "not UTF-8"},
  };
  for (const Case& c : cases) {
    zfixbuild::Description d;
    std::string why;
    EXPECT_FALSE(zfixbuild::ParseDescription(c.text, &d, &why)) << c.because;
    EXPECT_NE(why.find(c.because), std::string::npos) << why;
  }
}

// A description with a UTF-8 byte-order mark is UTF-8; without one it is Windows-1252, as the
// Windows builder reads it on the release systems.
TEST(Description, ByteOrderMarkMeansUtf8) {
  std::string utf8 = "\xEF\xBB\xBF" + std::string(kDescription);
  utf8.replace(utf8.find("HF21\n"), 5, "HF21 Caf\xC3\xA9\n");
  EXPECT_EQ(Parsed(utf8).title, "Release 14.5.1FP1 -> Release 14.5.1FP1 HF21 Caf\xE9");
  std::string ansi = kDescription;
  ansi.replace(ansi.find("HF21\n"), 5, "HF21 Caf\xE9\n");
  EXPECT_EQ(Parsed(ansi).title, "Release 14.5.1FP1 -> Release 14.5.1FP1 HF21 Caf\xE9");
}

TEST(StringBlock, SixteenCountedStringsRoundTrip) {
  std::vector<std::u16string> strings(16);
  strings[0] = u"Release 14.5.1FP1 -> Release 14.5.1FP1 HF21";
  strings[10] = u"\u00e9t\u00e9";
  Bytes block = zfixbuild::WriteStringBlock(strings);
  std::vector<std::u16string> back;
  ASSERT_TRUE(zfixbuild::ParseStringBlock(block.data(), block.size(), &back));
  EXPECT_EQ(back, strings);
  EXPECT_FALSE(zfixbuild::ParseStringBlock(block.data(), block.size() - 1, &back));
}

}  // namespace
