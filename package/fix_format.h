// The vocabulary of a fix executable: the resource kinds it carries, the ids of the fix's own
// strings and the limits of the format. The installer, the package builder, `inspect` and the
// tests all name these through this header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zfix {

// Resource types of a fix, all in language 1033 (English, United States).
constexpr char RESTYPE_VERSION[] = "VERSION";                // the fix description record, id 1
constexpr char RESTYPE_FILEENTRY[] = "FILEENTRY";            // FILEENTRY/n, n = 1..dwFileEntries
constexpr char RESTYPE_UPDATE[] = "UPDATE";                  // the compressed payload of entry n
constexpr char RESTYPE_LICENSEENTRY[] = "LICENSEENTRY";      // the licence text, id 1
constexpr char RESTYPE_UPDATE64ENTRY[] = "UPDATE64ENTRY";    // UpdateVersion.exe, id 1
constexpr char RESTYPE_UPDATECABENTRY[] = "UPDATECABENTRY";  // cabarc.exe, id 1
constexpr char RESTYPE_TOOLENTRY[] = "TOOLENTRY";            // an optional jar carried as is, id 1
constexpr uint16_t RESOURCE_LANGUAGE = 1033;
// Every type above: a stub that carries one of them is already a fix (or part of one), and a
// new fix built from it would keep what the new one does not replace.
constexpr const char* FIX_RESOURCE_TYPES[] = {RESTYPE_VERSION,       RESTYPE_FILEENTRY,      RESTYPE_UPDATE,
                                              RESTYPE_LICENSEENTRY,  RESTYPE_UPDATE64ENTRY,  RESTYPE_UPDATECABENTRY,
                                              RESTYPE_TOOLENTRY};

// The fix's own strings in the string table; the stub carries every other id.
constexpr int STR_TITLE = 0;        // the fix title; "...: 9.0.1.7" for a versioned fix
constexpr int STR_STRINGS_LIB = 1;  // the release-strings library
constexpr int STR_RELEASE_TEXT = 2;
constexpr int STRR_HOTFIX = 42;  // the kind of fix: "Custom Fix", "RQA", "TDX" or the fix label
constexpr int STR_LP = 43;
constexpr int FIX_STRING_IDS[] = {STR_TITLE, STR_STRINGS_LIB, STR_RELEASE_TEXT, STRR_HOTFIX, STR_LP};

// The kinds of fix that string STRR_HOTFIX names; any other text is an ordinary fix.
constexpr char FIXKIND_CUSTOM[] = "Custom Fix";  // versioned: the title ends in the fix's version
constexpr char FIXKIND_RQA[] = "RQA";            // the web-access add-on
constexpr char FIXKIND_TDX[] = "TDX";            // the diagnostics tool, versioned like a custom fix

// Limits of the format.
constexpr size_t MAX_FILE_ENTRIES = 9999;   // backup copies carry the entry number in four digits
constexpr size_t MAX_LISTED_ENTRIES = 999;  // the contents listing refuses a fix with more
constexpr size_t MAX_STRING_LENGTH = 519;   // the installer loads each string into 520 bytes

}  // namespace zfix
