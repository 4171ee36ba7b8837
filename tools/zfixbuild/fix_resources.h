// A fix's resources in a PE image read and written by package/pe_resources.h (portable): what
// the native builder adds to a copy of the stub and what the native inspect reads back. The
// Windows builder does the same through the resource API (fix_writer.h, win_resources.h).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "package/pe_resources.h"
#include "tools/zfixbuild/fix_build.h"
#include "tools/zfixbuild/fix_report.h"

namespace zfixbuild {

// type/id in language 1033.
void SetResource(zfix::PeImage* image, const char* type, unsigned id, std::vector<uint8_t> bytes);
// VERSION/1, and FILEENTRY/n with UPDATE/n (when the entry has a payload) for n = 1.. in order.
// The payloads move into the image (a release's fix holds hundreds of megabytes of them): the
// fix's entries are left without.
void SetFixEntries(zfix::PeImage* image, BuiltFix* fix);
// The fix's strings merged into the image's string blocks (language 1033): the other strings of
// each block stay as they are. False, with *why, when a block is missing or damaged.
bool SetStrings(zfix::PeImage* image, const std::map<unsigned, std::string>& strings, std::string* why);
// The first resource of a fix's types in the image ("FILEENTRY/2"), empty when it has none:
// a stub that carries one is refused.
std::string FixResourceIn(const zfix::PeImage& image);
// The builders' message for such a stub.
std::string StubIsAFix(const std::string& stub, const std::string& resource);
// What inspect shows of a fix (the signature fields aside).
FixView ViewOf(const zfix::PeImage& image);

// The description's texts are Windows-1252, as the Windows builder reads them on a western
// system; the string table holds UTF-16. Characters that Windows-1252 lacks come back as '?'.
std::u16string WideFrom1252(const std::string& text);
std::string NarrowTo1252(const std::u16string& text);
// Text in UTF-8 as the Windows builder reads it in Windows-1252, the ANSI code page of the
// release systems (file names of the trees, a description marked as UTF-8). False for text that
// is not UTF-8 or has a character that Windows-1252 lacks: it would not be what was written.
bool AnsiFromUtf8(const std::string& utf8, std::string* ansi);

// The listing that build prints: one line per entry (number, operation, directory, old and new
// size, payload size, name).
std::string EntryListing(const BuiltFix& fix);

}  // namespace zfixbuild
