#include "tools/zfixbuild/fix_writer.h"

#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/implode.h"

namespace zfixbuild {

bool AddResource(HANDLE hUpdate, const char* type, unsigned id, const std::vector<uint8_t>& bytes) {
  return UpdateResourceA(hUpdate, type, MAKEINTRESOURCEA(id), zfix::RESOURCE_LANGUAGE, (void*)bytes.data(),
                         (DWORD)bytes.size()) != FALSE;
}

bool AddCompressedResource(HANDLE hUpdate, const char* type, const std::vector<uint8_t>& bytes) {
  return AddResource(hUpdate, type, 1, zfix::MakeCompressedResource(bytes.data(), bytes.size()));
}

bool AddFixEntries(HANDLE hUpdate, const BuiltFix& fix, std::string* why) {
  if (!AddResource(hUpdate, zfix::RESTYPE_VERSION, 1, fix.version)) {
    *why = std::string("cannot add ") + zfix::RESTYPE_VERSION;
    return false;
  }
  for (size_t i = 0; i < fix.entries.size(); ++i) {
    const BuiltEntry& e = fix.entries[i];
    unsigned n = (unsigned)(i + 1);
    if (!AddResource(hUpdate, zfix::RESTYPE_FILEENTRY, n, zfix::WriteFileEntry(e.name.c_str(), e.entry)) ||
        (!e.payload.empty() && !AddResource(hUpdate, zfix::RESTYPE_UPDATE, n, e.payload))) {
      *why = "cannot add the resources of " + e.name;
      return false;
    }
  }
  return true;
}

}  // namespace zfixbuild
