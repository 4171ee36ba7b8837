// The component trees that a fix carries whole, as one archive each, and the names that place
// those archives inside their trees ("jvm\\jvm.cab"). The installer's updaters unpack an archive
// into its tree; the builder packs a tree into its archive with the members' paths relative to
// that tree (the script library: relative to its version directory, its templates below
// "template\\").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zfix {

struct ComponentArchive {
  const char* what;     // "JVM", for people
  uint32_t dir;         // DIR_PROGRAM or DIR_DATA
  const char* tree;     // below dir; for a versioned tree the folder that holds "dojo-<version>"
  const char* templates;  // a versioned tree's second folder, whose "dojo-<version>" is packed
                          // below "template\\" (nullptr for the others)
  const char* archive;  // file name of the archive, also what the installer looks for
  bool zip;             // a zip archive (else a cabinet)
};

constexpr const char* kVersionPrefix = "dojo-";

// The five components, script library first.
extern const ComponentArchive kComponents[5];

// The component whose archive an entry name holds, or nullptr.
const ComponentArchive* ComponentOfEntry(const char* name);

// The entry name that places the archive in its tree: "<tree>\\<archive>", or for the script
// library "<tree>\\<version directory>\\<archive>".
std::string ComponentEntryName(const ComponentArchive& c, const std::string& versionDir = std::string());

}  // namespace zfix
