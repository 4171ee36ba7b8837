// The component trees' cabinets on hosts without cabinet.dll: written through libgcab with the
// members that the Windows builder's "cabarc -r -p n CABINET *" takes from the same folder (names
// relative to it, in its walk order, the files' times and read-only attributes), MSZIP-compressed.
// The bytes depend on the files alone: no set id, no clock. The installer unpacks them with the
// carried cabarc.exe, through the system's FDI.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zfixbuild {

struct CabinetMember {
  std::string path;    // the file to pack
  std::string stored;  // its name in the cabinet: Windows-1252, '\\' between folders
  uint32_t time = 0;   // last written, seconds since 1970 (UTC)
};

// A time as the Windows builder's archives carry it: the DOS date (high 16 bits) and time (low
// 16 bits, two-second steps) of the local time; 1980-01-01 00:00 for a time that a DOS date
// cannot hold. Also the zip archive's member times.
uint32_t DosDateTime(uint32_t unixTime);

// The members in the order cabarc's walk of their folder finds them on NTFS: in every folder its
// files first, then its subfolders one after the other, each by name compared in upper case.
void SortInWalkOrder(std::vector<CabinetMember>* members);

// Writes the members into a cabinet at path (written beside it and renamed over it). False, with
// *why, when two members would have the same name, a file cannot be read, the members exceed
// what one cabinet folder holds, or the cabinet cannot be written.
bool WriteCabinet(std::vector<CabinetMember> members, const std::string& path, std::string* why);

}  // namespace zfixbuild
