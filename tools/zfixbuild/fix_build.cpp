#include "tools/zfixbuild/fix_build.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>

#include "package/byte_io.h"
#include "package/checksum.h"
#include "package/explode.h"
#include "package/fix_format.h"
#include "package/implode.h"
#include "package/patch_apply.h"
#include "package/names.h"
#include "package/patch_find.h"

namespace zfixbuild {

namespace {

constexpr uint64_t kMaxFileSize = zfix::kMaxImplodeInput;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Key(uint32_t dir, const std::string& name) { return std::to_string(zfix::EffectiveDir(dir)) + "|" + Upper(name); }

std::string ShortName(const std::string& name) {
  size_t slash = name.find_last_of('\\');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

const char* DirWord(uint32_t dir) {
  switch (zfix::EffectiveDir(dir)) {
    case zfix::DIR_DATA: return "data";
    case zfix::DIR_SYSTEM: return "system";
    default: return "program";
  }
}

}  // namespace

std::string WindowsFolded(const std::string& name) {
  std::string out = name;
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z')
      u = static_cast<unsigned char>(u - 'a' + 'A');
    else if (u >= 0xE0 && u <= 0xFE && u != 0xF7)
      u = static_cast<unsigned char>(u - 0x20);  // à..þ
    else if (u == 0x9A || u == 0x9C || u == 0x9E)
      u = static_cast<unsigned char>(u - 0x10);  // š œ ž
    else if (u == 0xFF)
      u = 0x9F;  // ÿ
    else if (u == '/')
      u = '\\';
    c = static_cast<char>(u);
  }
  return out;
}

bool OneFileEach(const Tree& tree, const std::string& which, std::string* why) {
  std::map<std::string, const TreeFile*> seen;
  for (const TreeFile& f : tree) {
    auto it = seen.emplace(std::to_string(zfix::EffectiveDir(f.dir)) + "|" + WindowsFolded(f.name), &f);
    if (!it.second) {
      *why = std::string(DirWord(f.dir)) + " files \"" + it.first->second->name + "\" and \"" + f.name + "\" of the " +
             which + " are the same file on Windows (its file names ignore case)";
      return false;
    }
  }
  // A file of the name of another file's folder: Windows cannot hold both.
  for (const TreeFile& f : tree) {
    std::string key = std::to_string(zfix::EffectiveDir(f.dir)) + "|" + WindowsFolded(f.name);
    size_t start = key.find('|') + 1;
    for (size_t slash = key.find('\\', start); slash != std::string::npos; slash = key.find('\\', slash + 1)) {
      auto it = seen.find(key.substr(0, slash));
      if (it == seen.end()) continue;
      *why = std::string(DirWord(f.dir)) + " file \"" + it->second->name + "\" and folder \"" +
             f.name.substr(0, slash - start + 1) + "\" of the " + which +
             " are a file and a folder of one name on Windows (its file names ignore case)";
      return false;
    }
  }
  return true;
}

namespace {

std::map<std::string, const TreeFile*> Index(const Tree& tree) {
  std::map<std::string, const TreeFile*> index;
  for (const TreeFile& f : tree) index[Key(f.dir, f.name)] = &f;
  return index;
}

const TreeFile* Find(const std::map<std::string, const TreeFile*>& index, uint32_t dir, const std::string& name) {
  auto it = index.find(Key(dir, name));
  return it == index.end() ? nullptr : it->second;
}

uint64_t SizeOf(const TreeFile& f) { return f.path.empty() ? f.bytes.size() : f.size; }

// Reads the content of tree files that name a path, one or two at a time, and remembers their
// checksums. The first failure to read is kept and ends the build.
class Reader {
 public:
  // The file's bytes: its own, or read from its path into *room.
  const std::vector<uint8_t>* Load(const TreeFile& f, std::vector<uint8_t>* room) {
    if (f.path.empty()) return &f.bytes;
    room->clear();
    FILE* fp = std::fopen(f.path.c_str(), "rb");
    bool ok = fp != nullptr;
    if (ok) {
      // Unbuffered, the file comes in one read straight into room; through the stream's buffer
      // it comes in buffer-sized pieces, a system call each, and under Wine those made reading
      // the trees a third of a fixpack's build.
      std::setvbuf(fp, nullptr, _IONBF, 0);
      room->resize(static_cast<size_t>(f.size));
      ok = std::fread(room->data(), 1, room->size(), fp) == room->size() && std::fgetc(fp) == EOF;
      std::fclose(fp);
    }
    if (!ok && failure.empty()) failure = "cannot read " + f.path + " (or it changed while the fix was built)";
    return room;
  }
  uint32_t ChecksumOf(const TreeFile* f, const std::vector<uint8_t>* loaded = nullptr) {
    if (!f) return 0;
    auto known = checksums_.find(f);
    if (known != checksums_.end()) return known->second;
    std::vector<uint8_t> room;
    const std::vector<uint8_t>& bytes = loaded ? *loaded : *Load(*f, &room);
    uint32_t c = zfix::Crc32(bytes.data(), bytes.size());
    checksums_[f] = c;
    return c;
  }
  uint32_t ChecksumIn(const std::map<std::string, const TreeFile*>& index, uint32_t dir, const std::string& name) {
    return ChecksumOf(Find(index, dir, name));
  }
  // Takes over what another reader learnt: its checksums, and its failure unless one is kept.
  void Absorb(Reader& other) {
    checksums_.insert(other.checksums_.begin(), other.checksums_.end());
    if (failure.empty()) failure = other.failure;
  }

  std::string failure;

 private:
  std::map<const TreeFile*, uint32_t> checksums_;
};

}  // namespace

// The smallest stream over the literal modes and dictionary sizes, checked by decoding it again
// with the installer's decoder.
bool Compress(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* payload, unsigned searchDepth) {
  *payload = zfix::MakeSmallestResource(bytes.data(), bytes.size(), nullptr, searchDepth);
  std::vector<uint8_t> back(bytes.size());
  size_t written = 0;
  unsigned status = zfix::ExplodeToBuffer(payload->data() + 4, payload->size() - 4, back.data(), back.size(), &written);
  return status == zfix::EXPLODE_OK && written == bytes.size() && back == bytes;
}

namespace {

// The entry of a new or changed file; *same says that the file is unchanged (no entry). Each
// file is read once.
bool MakeChangedEntry(Reader& reader, const TreeFile* before, const TreeFile& after, bool wholeOnly, BuiltEntry* out,
                      bool* same, std::string* why) {
  *same = false;
  std::vector<uint8_t> oldRoom, newRoom;
  const std::vector<uint8_t>& newBytes = *reader.Load(after, &newRoom);
  const std::vector<uint8_t>& oldBytes = before ? *reader.Load(*before, &oldRoom) : oldRoom;
  if (before && oldBytes == newBytes && SizeOf(*before) == SizeOf(after)) {
    *same = true;
    return true;
  }
  zfix::FILEENTRY& e = out->entry;
  e = zfix::FILEENTRY();
  e.dwDir = after.dir;
  e.dwNewSize = static_cast<uint32_t>(newBytes.size());
  e.dwNewChecksum = reader.ChecksumOf(&after, &newBytes);
  e.dwNewTime = after.time;
  if (before) {
    e.dwOldSize = static_cast<uint32_t>(oldBytes.size());
    e.dwOldChecksum = reader.ChecksumOf(before, &oldBytes);
    e.dwOldTime = before->time;
  }
  e.dwOperation = zfix::FE_REPLACE;
  if (!Compress(newBytes, &out->payload)) {
    *why = after.name + ": the compressed file does not decode to the file";
    return false;
  }
  if (!before) return true;
  out->wholeSize = out->payload.size();
  if (wholeOnly) return true;
  // The alignment whose patch stream compresses smallest. Alignments often agree: a stream
  // equal to the best so far is not compressed again.
  std::vector<uint8_t> stream, patch;
  uint32_t count = 0;
  for (const zfix::PatchFindOptions& options : zfix::PatchAlignments()) {
    std::vector<uint8_t> s, p;
    uint32_t n = 0;
    if (!zfix::FindPatch(oldBytes.data(), oldBytes.size(), newBytes.data(), newBytes.size(), &s, &n, options)) break;
    if (!patch.empty() && s == stream) continue;
    if (!Compress(s, &p, zfix::kPatchSearchDepth)) {
      *why = after.name + ": the compressed patch stream does not decode to the stream";
      return false;
    }
    if (patch.empty() || p.size() < patch.size()) {
      stream.swap(s);
      patch.swap(p);
      count = n;
    }
  }
  if (patch.empty() || patch.size() >= out->payload.size()) return true;
  zfix::FILEENTRY p = e;
  p.dwOperation = zfix::FE_PATCH;
  p.dwPatchCount = count;
  if (!zfix::PatchWorksBothWays(p, stream, oldBytes, newBytes)) return true;  // whole file instead
  e = p;
  out->payload.swap(patch);
  out->streamSize = stream.size();
  return true;
}

struct ChangedFile {
  Reader reader;
  bool differs = false;  // the file is new or changed: entry holds it
  bool made = false;     // false with why when the payload did not decode to the file
  BuiltEntry entry;
  std::string why;
};

// Runs work(0..count) on up to `jobs` threads, the largest tasks (by cost(k), bytes) first so
// that no large one is left for the end, as far as the memory budget lets: a task may start while
// the estimates of the running ones stay within kWorkBudget, or alone. The 32-bit builder has
// 4 GB; two large files side by side would not fit.
void ForEachTask(size_t count, unsigned jobs, const std::function<uint64_t(size_t)>& cost,
                 const std::function<void(size_t)>& work) {
  constexpr uint64_t kWorkBudget = uint64_t{1} << 30;
  if (jobs <= 1 || count <= 1) {
    for (size_t k = 0; k < count; ++k) work(k);
    return;
  }
  std::vector<std::pair<uint64_t, size_t>> order(count);
  for (size_t k = 0; k < count; ++k) order[k] = {cost(k), k};
  std::stable_sort(order.begin(), order.end(),
                   [](const std::pair<uint64_t, size_t>& a, const std::pair<uint64_t, size_t>& b) { return a.first > b.first; });
  std::mutex lock;
  std::condition_variable freed;
  size_t next = 0;
  uint64_t inUse = 0;
  auto worker = [&] {
    for (;;) {
      size_t k;
      uint64_t need;
      {
        std::unique_lock<std::mutex> hold(lock);
        if (next == count) return;
        need = order[next].first;
        k = order[next++].second;
        freed.wait(hold, [&] { return inUse == 0 || inUse + need <= kWorkBudget; });
        inUse += need;
      }
      work(k);
      {
        std::lock_guard<std::mutex> hold(lock);
        inUse -= need;
      }
      freed.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < jobs && t < count; ++t)
    threads.emplace_back([&] {
      worker();
      zfix::ReleaseImplodeWorkspace();
    });
  worker();
  for (std::thread& t : threads) t.join();
}

bool CheckFile(const TreeFile& f, std::string* why) {
  if (f.name.empty() || f.name.size() > zfix::MAX_ENTRY_NAME) {
    *why = std::string(DirWord(f.dir)) + " file \"" + f.name + "\": a name must have 1 to " +
           std::to_string(zfix::MAX_ENTRY_NAME) + " characters";
    return false;
  }
  if (!zfix::StaysInside(f.name.c_str())) {
    *why = std::string(DirWord(f.dir)) + " file \"" + f.name +
           "\": a name must stay below its directory and hold no device name (CON, NUL, AUX, COM1, ...)";
    return false;
  }
  if (SizeOf(f) > kMaxFileSize) {
    *why = f.name + " is 2 GB or larger";
    return false;
  }
  return true;
}

}  // namespace

unsigned DefaultJobs() {
  unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

void ListFiles(const std::vector<BuiltEntry>& entries, zfix::FIXRECORD* record) {
  uint32_t n = 0;
  for (const BuiltEntry& e : entries) {
    zfix::FILELISTRECORD f = {};
    f.dwNameLength = static_cast<uint32_t>(e.name.size());
    f.dwOperation = e.entry.dwOperation;
    f.dwDir = e.entry.dwDir;
    f.dwOldChecksum = e.entry.dwOldChecksum;
    f.dwNewChecksum = e.entry.dwNewChecksum;
    f.dwFileEntry = ++n;
    f.lpFile = e.name.c_str();
    record->files.push_back(f);
  }
}

bool BuildFix(const Description& d, const Tree& base, const Tree& target, const std::vector<Tree>& older,
              BuiltFix* fix, std::string* why, std::vector<std::string>* notes, unsigned jobs) {
  *fix = BuiltFix();
  for (const Tree* t : {&base, &target})
    for (const TreeFile& f : *t)
      if (!CheckFile(f, why)) return false;
  for (const Tree& t : older)
    for (const TreeFile& f : t)
      if (!CheckFile(f, why)) return false;
  if (!OneFileEach(base, "base tree", why) || !OneFileEach(target, "target tree", why)) return false;
  for (size_t k = 0; k < older.size(); ++k)
    if (!OneFileEach(older[k], k < d.older.size() ? "tree of \"" + d.older[k].label + "\"" : "older tree", why))
      return false;

  // Labels whose backup directories coincide would mix their backup copies.
  std::vector<std::string> labels = {d.fixLabel, d.baseLabel};
  for (const OlderLabel& o : d.older) labels.push_back(o.label);
  std::map<std::string, std::string> dirNames;
  for (const std::string& label : labels) {
    char dir[zfix::LABEL_DIR_MAX + 1];
    zfix::LabelDirName(label.c_str(), dir, d.fixKind.c_str());
    if (!zfix::IsLabelDirName(dir)) {
      *why = "the label \"" + label + "\" gives the backup directory name \"" + dir +
             "\", which is no plain directory name (no drive, separator, \"..\", device name, ']' or '\"')";
      return false;
    }
    // The installer records the label as a quoted value and a section name of PATCH.INI.
    if (!zfix::IsRegistryLabel(label.c_str())) {
      *why = "the label \"" + label + "\" cannot be recorded in PATCH.INI: a label holds no ']', no '\"' and no line break";
      return false;
    }
    auto seen = dirNames.emplace(Upper(dir), label);
    if (!seen.second) {
      *why = "the labels \"" + seen.first->second + "\" and \"" + label + "\" share the backup directory " + dir;
      return false;
    }
  }

  Reader reader;
  auto baseIndex = Index(base), targetIndex = Index(target);
  std::vector<const TreeFile*> sortedTarget, sortedBase;
  for (const TreeFile& f : target) sortedTarget.push_back(&f);
  for (const TreeFile& f : base) sortedBase.push_back(&f);
  auto order = [](const TreeFile* a, const TreeFile* b) { return Key(a->dir, a->name) < Key(b->dir, b->name); };
  std::sort(sortedTarget.begin(), sortedTarget.end(), order);
  std::sort(sortedBase.begin(), sortedBase.end(), order);

  // Changed and new files first, then removed files and old-fix files, which carry no payload:
  // a local extraction stops at the first entry without one.
  // Every target file is compared and compressed on its own, on as many workers as asked; the
  // results are taken in order, so the fix is the same for any number of workers.
  std::string library = Upper(d.stringsLibrary);
  std::vector<ChangedFile> changed(sortedTarget.size());
  ForEachTask(
      sortedTarget.size(), jobs,
      [&](size_t k) {
        const TreeFile* after = sortedTarget[k];
        const TreeFile* before = Find(baseIndex, after->dir, after->name);
        return (before ? SizeOf(*before) : 0) * (before ? 6 : 1) + SizeOf(*after) * 3;
      },
      [&](size_t k) {
        ChangedFile& c = changed[k];
        const TreeFile* after = sortedTarget[k];
        const TreeFile* before = Find(baseIndex, after->dir, after->name);
        c.entry.name = after->name;
        // The release-string tool rewrites the strings library after every install, so an
        // installed copy never has the checksum that a patch expects: it always travels whole.
        bool wholeOnly = zfix::EffectiveDir(after->dir) == zfix::DIR_PROGRAM && Upper(after->name) == library;
        bool same = false;
        c.made = MakeChangedEntry(c.reader, before, *after, wholeOnly, &c.entry, &same, &c.why);
        c.differs = !same;
      });
  for (ChangedFile& c : changed) {
    reader.Absorb(c.reader);
    if (!reader.failure.empty()) break;
    if (!c.differs) continue;
    if (!c.made) {
      *why = c.why;
      return false;
    }
    fix->entries.push_back(std::move(c.entry));
  }
  for (const TreeFile* before : sortedBase) {
    if (Find(targetIndex, before->dir, before->name)) continue;
    BuiltEntry entry;
    entry.name = before->name;
    entry.entry = zfix::FILEENTRY();
    entry.entry.dwOperation = zfix::FE_REMOVE;
    entry.entry.dwDir = before->dir;
    entry.entry.dwOldSize = static_cast<uint32_t>(SizeOf(*before));
    entry.entry.dwOldChecksum = reader.ChecksumOf(before);
    entry.entry.dwOldTime = before->time;
    fix->entries.push_back(std::move(entry));
  }
  for (const OldFixFile& f : d.oldFixes) {
    if (f.name.empty() || f.name.size() > zfix::MAX_ENTRY_NAME) {
      *why = "[OldFixes] file \"" + f.name + "\": a name must have 1 to " + std::to_string(zfix::MAX_ENTRY_NAME) + " characters";
      return false;
    }
    BuiltEntry entry;
    entry.name = f.name;
    entry.entry = zfix::FILEENTRY();
    entry.entry.dwOperation = zfix::FE_OLDFIX;
    entry.entry.dwDir = f.dir;
    entry.entry.dwOldChecksum = reader.ChecksumIn(baseIndex, f.dir, f.name);
    entry.entry.dwNewChecksum = reader.ChecksumIn(targetIndex, f.dir, f.name);
    fix->entries.push_back(std::move(entry));
  }
  if (fix->entries.empty()) {
    *why = "the base and target trees hold the same files: there is nothing to fix";
    return false;
  }
  if (fix->entries.size() > zfix::MAX_FILE_ENTRIES) {
    *why = std::to_string(fix->entries.size()) + " files: a fix holds at most " + std::to_string(zfix::MAX_FILE_ENTRIES);
    return false;
  }
  if (fix->entries.size() > zfix::MAX_LISTED_ENTRIES)
    notes->push_back("the fix has 1000 files or more: its contents listing will refuse to show them");
  std::map<std::string, std::string> shortNames;
  for (const BuiltEntry& e : fix->entries) {
    if (e.payload.empty()) continue;
    auto seen = shortNames.emplace(Upper(ShortName(e.name)), e.name);
    if (!seen.second)
      notes->push_back(seen.first->second + " and " + e.name + " are extracted to the same file by a local extraction");
  }

  // The record: header, checksum table, file list.
  zfix::FIXRECORD record = {};
  zfix::FIXHEADER& h = record.header;
  zfix::MakeLabelField(d.baseLabel.c_str(), h.canOldLabel);
  zfix::MakeLabelField(d.fixLabel.c_str(), h.canNewLabel);
  h.dwUpgradeType = d.upgradeType;
  h.dwFileEntries = static_cast<uint32_t>(fix->entries.size());
  h.dwListedFiles = h.dwFileEntries;
  h.dwStringsChecksum = reader.ChecksumIn(targetIndex, zfix::DIR_PROGRAM, d.stringsLibrary);

  uint64_t programBytes = 0, dataBytes = 0;
  for (const BuiltEntry& e : fix->entries) {
    // Temporary files are written in the program directory; backups of data files go to the
    // label's backup directory there too (fixes with labels), and so do the copies of patched
    // files, which stay in place until the commit.
    bool writes = e.entry.dwOperation == zfix::FE_PATCH || e.entry.dwOperation == zfix::FE_REPLACE;
    bool data = zfix::EffectiveDir(e.entry.dwDir) == zfix::DIR_DATA;
    if (writes) programBytes += e.entry.dwNewSize;
    if (writes && data) dataBytes += e.entry.dwNewSize;
    if (data && d.upgradeType > 0 && (e.entry.dwOperation == zfix::FE_REPLACE || e.entry.dwOperation == zfix::FE_REMOVE))
      programBytes += e.entry.dwOldSize;
    if (d.upgradeType > 0 && e.entry.dwOperation == zfix::FE_PATCH) programBytes += e.entry.dwOldSize;
  }
  h.dwProgramSpace = static_cast<uint32_t>(std::min<uint64_t>((programBytes + 1023) / 1024, 0xFFFFFFFFu));
  h.dwDataDirSpace = static_cast<uint32_t>(std::min<uint64_t>((dataBytes + 1023) / 1024, 0xFFFFFFFFu));

  auto addChecksum = [&](uint32_t checksum, const std::string& label, const std::string& name) {
    zfix::CHECKSUMRECORD c = {};
    c.dwChecksum = checksum;
    zfix::MakeLabelField(label.c_str(), c.canLabel);
    c.lpFile = name.c_str();
    record.checksums.push_back(c);
  };
  addChecksum(reader.ChecksumIn(baseIndex, zfix::DIR_PROGRAM, d.stringsLibrary), d.baseLabel, d.stringsLibrary);
  // A fix without labels recognises its base by the strings library's checksum anywhere in the
  // table, so the table holds only the states before the fix: with the fix label's records an
  // installation that already has the fix would be taken for its base.
  if (d.upgradeType > 0)
    for (const BuiltEntry& e : fix->entries) addChecksum(e.entry.dwNewChecksum, d.fixLabel, e.name);
  for (const BuiltEntry& e : fix->entries) addChecksum(e.entry.dwOldChecksum, d.baseLabel, e.name);
  for (size_t k = 0; k < d.older.size() && k < older.size(); ++k) {
    auto index = Index(older[k]);
    for (const BuiltEntry& e : fix->entries)
      addChecksum(reader.ChecksumIn(index, e.entry.dwDir, e.name), d.older[k].label, e.name);
  }
  if (!reader.failure.empty()) {
    *why = reader.failure;
    return false;
  }
  if (record.checksums.size() > zfix::MAX_CHECKFILES) {
    *why = "the checksum table has " + std::to_string(record.checksums.size()) + " records; the installer takes at most " +
           std::to_string(zfix::MAX_CHECKFILES);
    return false;
  }
  h.gdwChecksums = static_cast<uint32_t>(record.checksums.size());
  ListFiles(fix->entries, &record);
  fix->version = zfix::WriteFixRecord(record);

  fix->strings = {{zfix::STR_TITLE, d.title},
                  {zfix::STR_STRINGS_LIB, d.stringsLibrary},
                  {zfix::STR_RELEASE_TEXT, d.releaseText},
                  {zfix::STRR_HOTFIX, d.fixKind},
                  {zfix::STR_LP, d.lpValue}};
  for (const auto& s : fix->strings)
    if (s.second.empty() || s.second.size() > zfix::MAX_STRING_LENGTH) {
      *why = "string " + std::to_string(s.first) + " must have 1 to " + std::to_string(zfix::MAX_STRING_LENGTH) +
             " characters";
      return false;
    }
  return true;
}

}  // namespace zfixbuild
