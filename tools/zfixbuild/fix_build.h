// Building a fix from the base release's trees and the fix's trees: the file entries with their
// payloads, the fix description record (VERSION/1) and the fix's strings. Portable; the Windows
// side (build.cpp) reads the trees and writes the resources.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "package/file_entry.h"
#include "package/fix_record.h"
#include "tools/zfixbuild/description.h"

namespace zfixbuild {

// A file of a tree. Its content is either bytes, or (when path is set) the file at path, of size
// bytes, read only while the fix needs it: a product's trees need not fit in memory together.
struct TreeFile {
  std::string name;  // relative to the directory that dir selects, '\' between folders
  uint32_t dir;      // DIR_PROGRAM, DIR_DATA or DIR_SYSTEM
  std::vector<uint8_t> bytes;
  uint32_t time;     // last-modified, seconds since 1970-01-01 UTC
  std::string path;
  uint64_t size = 0;
};
using Tree = std::vector<TreeFile>;  // the files of all directories of one label

struct BuiltEntry {
  std::string name;
  zfix::FILEENTRY entry;
  std::vector<uint8_t> payload;  // UPDATE/n in compressed form; empty when the entry has none
  size_t streamSize = 0;         // FE_PATCH: the patch stream before compression
  size_t wholeSize = 0;          // changed files: the new file compressed whole
};

struct BuiltFix {
  std::vector<BuiltEntry> entries;        // FILEENTRY/n + UPDATE/n for n = 1.. in order
  std::vector<uint8_t> version;           // VERSION/1
  std::map<unsigned, std::string> strings;  // the fix's strings 0, 1, 2, 42, 43
};

// The file list of a record: one FILELISTRECORD per entry, numbered from 1 in order. The
// names point into entries, which must outlive the record.
void ListFiles(const std::vector<BuiltEntry>& entries, zfix::FIXRECORD* record);

// The compressed resource form of bytes in the literal mode and dictionary size that give the
// smallest stream, checked by decoding it again; false when it does not decode to bytes.
// searchDepth as in zfix::ImplodeOptions (0: the default).
bool Compress(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* payload, unsigned searchDepth = 0);

// Derives the fix. older holds the trees of description.older, in the same order. Notes
// receive warnings that do not stop the build (for instance two entries that a local
// extraction would write to the same file). The files are compared and compressed on up to
// `jobs` threads; the fix does not depend on their number.
bool BuildFix(const Description& description, const Tree& base, const Tree& target, const std::vector<Tree>& older,
              BuiltFix* fix, std::string* why, std::vector<std::string>* notes, unsigned jobs = 1);

// The number of processors, at least 1: the default number of jobs.
unsigned DefaultJobs();

// A name as Windows compares file names: without regard to case, letters of Windows-1252 too,
// and either separator.
std::string WindowsFolded(const std::string& name);

// False, with *why naming both, when two files of the tree are one file on Windows (the fix
// would carry two entries for it, and the tree's index would keep one of them), or when a file
// has the name of another file's folder. which names the tree in the message.
bool OneFileEach(const Tree& tree, const std::string& which, std::string* why);

}  // namespace zfixbuild
