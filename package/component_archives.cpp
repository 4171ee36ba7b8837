#include "package/component_archives.h"

#include <cstring>

#include "package/file_entry.h"

namespace zfix {

const ComponentArchive kComponents[5] = {
    {"script library", DIR_DATA, "halvex\\js", "halvex\\template", "hlv-dojo.cab", false},
    {"OSGi plug-ins", DIR_PROGRAM, "osgi\\shared\\eclipse\\plugins", nullptr, "osgi_plugins.cab", false},
    {"web server", DIR_PROGRAM, "kws", nullptr, "kwswindows.zip", true},
    {"editor", DIR_DATA, "halvex\\html\\ckeditor", nullptr, "ckeditor.cab", false},
    {"JVM", DIR_PROGRAM, "jvm", nullptr, "jvm.cab", false},
};

const ComponentArchive* ComponentOfEntry(const char* name) {
  for (const ComponentArchive& c : kComponents)
    if (std::strstr(name, c.archive)) return &c;
  return nullptr;
}

std::string ComponentEntryName(const ComponentArchive& c, const std::string& versionDir) {
  std::string name = c.tree;
  if (c.templates) name += "\\" + versionDir;
  return name + "\\" + c.archive;
}

}  // namespace zfix
