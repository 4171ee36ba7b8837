// A small PE32 image as the linker lays out the installer stub: .text, .rsrc holding one string
// block (RT_STRING/1, language 1033), then .reloc, with a valid checksum. Its fields' offsets
// are given for tests that damage them.
#pragma once

#include <cstdint>
#include <vector>

#include "package/pe_resources.h"

namespace zfix_test {

struct SmallPe {
  static constexpr size_t kPe = 0x40;                     // "PE\0\0"
  static constexpr size_t kOptional = kPe + 24;           // optional header
  static constexpr size_t kDirectories = kOptional + 96;  // data directory
  static constexpr size_t kSections = kOptional + 224;    // section table
  static constexpr uint32_t kRsrcRva = 0x2000, kRsrcRaw = 0x400, kRelocRva = 0x3000, kRelocRaw = 0x600;
  // In the resource section: the root, the type's table, the name's table, the data entry.
  static constexpr size_t kRootEntry = kRsrcRaw + 16, kTypeEntry = kRsrcRaw + 40, kNameEntry = kRsrcRaw + 64,
                          kDataEntry = kRsrcRaw + 72;

  static void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  static void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v);
    Put16(b, at + 2, v >> 16);
  }
  static void Section(std::vector<uint8_t>& b, int i, const char* name, uint32_t vsize, uint32_t rva, uint32_t raw,
                      uint32_t rawAt) {
    size_t h = kSections + 40 * i;
    for (int k = 0; name[k]; ++k) b[h + k] = static_cast<uint8_t>(name[k]);
    Put32(b, h + 8, vsize);
    Put32(b, h + 12, rva);
    Put32(b, h + 16, raw);
    Put32(b, h + 20, rawAt);
    Put32(b, h + 36, 0x40000040);
  }

  static std::vector<uint8_t> Make() {
    std::vector<uint8_t> b(0x800, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 0x3C, kPe);
    Put32(b, kPe, 0x00004550);
    Put16(b, kPe + 4, 0x14C);        // i386
    Put16(b, kPe + 6, 3);            // sections
    Put32(b, kPe + 8, 0x5F000000);   // time stamp
    Put16(b, kPe + 20, 224);         // optional header size
    Put16(b, kPe + 22, 0x0102);      // executable, 32-bit
    Put16(b, kOptional, 0x10B);      // PE32
    Put32(b, kOptional + 8, 0x400);  // initialized data
    Put32(b, kOptional + 28, 0x400000);
    Put32(b, kOptional + 32, 0x1000);  // section alignment
    Put32(b, kOptional + 36, 0x200);   // file alignment
    Put32(b, kOptional + 56, 0x4000);  // image size
    Put32(b, kOptional + 60, 0x200);   // headers
    Put16(b, kOptional + 68, 2);
    Put32(b, kOptional + 92, 16);
    Put32(b, kDirectories + 8 * 2, kRsrcRva);
    Put32(b, kDirectories + 8 * 2 + 4, 0x80);
    Put32(b, kDirectories + 8 * 5, kRelocRva);
    Put32(b, kDirectories + 8 * 5 + 4, 12);
    Section(b, 0, ".text", 0x10, 0x1000, 0x200, 0x200);
    Section(b, 1, ".rsrc", 0x80, kRsrcRva, 0x200, kRsrcRaw);
    Section(b, 2, ".reloc", 12, kRelocRva, 0x200, kRelocRaw);
    b[0x200] = 0xC3;  // ret
    // Root: one id entry, type 6 -> table at 24; type table: id 1 -> table at 48; name table:
    // language 1033 -> data entry at 72; the data: string 0 "Hi", strings 1..15 empty.
    Put16(b, kRsrcRaw + 14, 1);
    Put32(b, kRootEntry, 6);
    Put32(b, kRootEntry + 4, 0x80000000u | 24);
    Put16(b, kRsrcRaw + 24 + 14, 1);
    Put32(b, kTypeEntry, 1);
    Put32(b, kTypeEntry + 4, 0x80000000u | 48);
    Put16(b, kRsrcRaw + 48 + 14, 1);
    Put32(b, kNameEntry, 1033);
    Put32(b, kNameEntry + 4, 72);
    Put32(b, kDataEntry, kRsrcRva + 88);
    Put32(b, kDataEntry + 4, 36);
    Put16(b, kRsrcRaw + 88, 2);
    Put16(b, kRsrcRaw + 90, 'H');
    Put16(b, kRsrcRaw + 92, 'i');
    // One block of base relocations: page 0x1000, one HIGHLOW fix-up at 0x1001.
    Put32(b, kRelocRaw, 0x1000);
    Put32(b, kRelocRaw + 4, 12);
    Put16(b, kRelocRaw + 8, 0x3001);
    Put32(b, kOptional + 64, zfix::PeChecksum(b.data(), b.size(), kOptional + 64));
    return b;
  }

  // The same image with `section` as the resource section's bytes (its data entries address
  // kRsrcRva + offset); the relocations follow it.
  static std::vector<uint8_t> WithResources(std::vector<uint8_t> section) {
    std::vector<uint8_t> b = Make();
    std::vector<uint8_t> reloc(b.begin() + kRelocRaw, b.end());
    uint32_t size = static_cast<uint32_t>(section.size());
    section.resize((section.size() + 0x1FF) / 0x200 * 0x200, 0);
    uint32_t raw = static_cast<uint32_t>(section.size());
    uint32_t relocRva = kRsrcRva + (size + 0xFFF) / 0x1000 * 0x1000;
    b.resize(kRsrcRaw);
    b.insert(b.end(), section.begin(), section.end());
    b.insert(b.end(), reloc.begin(), reloc.end());
    Section(b, 1, ".rsrc", size, kRsrcRva, raw, kRsrcRaw);
    Section(b, 2, ".reloc", 12, relocRva, 0x200, kRsrcRaw + raw);
    Put32(b, kDirectories + 8 * 2 + 4, size);
    Put32(b, kDirectories + 8 * 5, relocRva);
    Put32(b, kOptional + 8, raw + 0x200);
    Put32(b, kOptional + 56, relocRva + 0x1000);
    Put32(b, kOptional + 64, zfix::PeChecksum(b.data(), b.size(), kOptional + 64));
    return b;
  }
};

}  // namespace zfix_test
