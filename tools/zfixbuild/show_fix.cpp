// zfixbuild inspect FIX.exe [--json]: the fix description of a fix executable, read from its
// resources with the executable loaded as a data file.
#include <windows.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "package/fix_format.h"
#include "package/fix_record.h"
#include "tools/zfixbuild/commands.h"
#include "tools/zfixbuild/fix_report.h"
#include "tools/zfixbuild/pe_signature.h"
#include "tools/zfixbuild/string_block.h"
#include "tools/zfixbuild/win_resources.h"

using namespace zfixbuild;

namespace {

ResourceView View(HMODULE module, const char* type, unsigned id) {
  ResourceView v;
  v.present = ReadResource(module, type, id, &v.bytes);
  return v;
}

}  // namespace

int CmdInspect(int argc, char** argv) {
  if (argc < 3 || argc > 4 || (argc == 4 && std::string(argv[3]) != "--json")) {
    fprintf(stderr, "usage: zfixbuild inspect FIX.exe [--json]\n");
    return 2;
  }
  HMODULE module = LoadLibraryExA(argv[2], NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) {
    fprintf(stderr, "zfixbuild: cannot load %s as a data file\n", argv[2]);
    return 1;
  }
  FixView fix;
  fix.version = View(module, zfix::RESTYPE_VERSION, 1);
  zfix::FIXHEADER header;
  if (fix.version.present && zfix::ReadFixHeader(fix.version.bytes.data(), fix.version.bytes.size(), &header)) {
    for (uint32_t n = 1; n <= header.dwFileEntries && n <= 10000; ++n) {
      fix.records[n] = View(module, zfix::RESTYPE_FILEENTRY, n);
      fix.updates[n] = View(module, zfix::RESTYPE_UPDATE, n);
    }
  }
  for (const char* type :
       {zfix::RESTYPE_LICENSEENTRY, zfix::RESTYPE_UPDATE64ENTRY, zfix::RESTYPE_UPDATECABENTRY, zfix::RESTYPE_TOOLENTRY})
    fix.carried[type] = View(module, type, 1);
  for (int id : zfix::FIX_STRING_IDS) {
    std::vector<std::u16string> block;
    if (ReadStringBlock(module, StringBlockId(id), &block)) fix.strings[id] = Narrow(block[id % kStringsPerBlock]);
  }
  FreeLibrary(module);
  PeSignature signature;
  if (ReadPeSignatureOf(argv[2], &signature) && signature.present) {
    fix.signedFile = true;
    fix.signatureOffset = signature.offset;
    fix.signatureSize = signature.size;
  }

  std::string text, why;
  if (!DescribeFix(fix, argc == 4, &text, &why)) {
    fprintf(stderr, "zfixbuild: %s: %s\n", argv[2], why.c_str());
    return 1;
  }
  fputs(text.c_str(), stdout);
  return 0;
}
