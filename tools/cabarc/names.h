// Member names: what packing stores, and what extraction accepts.
#pragma once

#include <string>
#include <vector>

namespace names {

// Splits a path at '\' and '/' into its non-empty components.
std::vector<std::string> Components(const std::string& path);

// The name stored for a file found at the relative or absolute path `path`: drive, share and root
// are dropped, "." components are skipped and ".." removes the component before it (or nothing),
// so a stored name never leaves the tree it is extracted into.
std::string StoredName(const std::string& path);

// Checks a member name read from a cabinet and gives the relative path to write it to ('\'
// separators; the base name alone when keepPaths is false). Refuses, with a reason, names that are
// absolute, name a drive or a stream, climb with "..", or name a device.
bool ExtractPath(const std::string& stored, bool keepPaths, std::string* relative, std::string* reason);

}  // namespace names
