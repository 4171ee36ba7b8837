// Names that a fix carries and that become parts of paths on the installed system: file names of
// the file list, the checksum table and the file entries, backup directory names made from
// labels, the release-strings library. Each must stay where it is put: below its directory,
// without a drive, a root, a ".." step, a stream (':') or a device name ("aux.txt" opens the
// serial device). Portable: the builder refuses what the installer would refuse.
//
//   if (!zfix::StaysInside("sig\\nzorel.sf")) -> refuse
//   if (!zfix::IsPlainName(dirName))          -> refuse
#pragma once

#include <cstddef>
#include <string>

namespace zfix {

// One plain name of a file or directory: not empty, not "." or "..", no '\\', '/', ':', no
// character Windows refuses in a name ('*', '?', '"', '<', '>', '|', control characters), no
// trailing '.' or ' ' (Windows drops them, so two names would meet), and no device name.
bool IsPlainName(const char* name);
bool IsPlainName(const char* name, size_t length);

// A device name, whatever follows its first '.': CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$,
// CONOUT$, CLOCK$ (any case, trailing blanks ignored).
bool IsDeviceName(const char* name, size_t length);

// A relative path that stays inside its directory: plain names (IsPlainName) separated by
// single '\\' or '/'; no drive, no leading separator, no empty step.
bool StaysInside(const char* path);

// A member name of a component archive: a path that stays inside (StaysInside), where a
// directory member may end in one separator ("docs/").
bool MemberStaysInside(const char* name);

// A member name as the unzip reader (minizip's unzGetCurrentFileInfo) leaves it in a name buffer
// of size bytes: the first min(storedLength, size) bytes of the stored name, ended by a NUL only
// when the name is shorter than the buffer. True when the whole name is there; a cut name would
// name another file and must be refused. The buffer is ended in every case: a long name is cut to
// size - 1 bytes, so that the line that refuses it reads no further than the buffer.
bool MemberNameWhole(char* buffer, size_t size, unsigned long long storedLength);

// How a name read from an INI value (PATCH.INI's File and BackupName) is joined to the directory
// it belongs to.
enum class JoinResult {
  Joined,   // out holds "dir\name"
  Leaves,   // the name does not stay inside (StaysInside); out is empty
  TooLong,  // "dir\name" does not fit size bytes; out is empty
};
JoinResult JoinInside(const char* dir, const char* name, char* out, size_t size);

// A backup directory name made from a label: a plain name that can also stand in an INI
// section name and a quoted command-line word (no ']' and no '"').
bool IsLabelDirName(const char* name);

// A release label that the fix registry can hold: it stands there as a quoted value and, between
// '[' and ']' with its quotes, as a section name. No ']' and no '"' (either would end it early)
// and no control character (a line break would start a new line of the file).
bool IsRegistryLabel(const char* label);

// Text that stands as one double-quoted word of a command line: it holds no '"' (one would end
// the word and start others).
bool IsQuotableText(const char* text);

// A directory as one double-quoted word of a command line ("dir"). A backslash before a closing
// quote escapes it for the C runtime's parser of a command line (and CommandLineToArgvW), so
// "C:\" would run on into the following words: a directory that ends in one (a drive's root)
// gets a '.' after it, "C:\.", which names the same directory.
std::string QuotedDirectory(const char* dir);

// A drive letter and a colon, nothing else ("C:"): a path that means the drive's current
// directory, not its root.
bool IsBareDrive(const char* path);

}  // namespace zfix
