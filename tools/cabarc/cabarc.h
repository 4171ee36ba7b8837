// cabarc: the cabinet archiver that the installer carries.
#pragma once

#include <string>
#include <vector>

struct PackOptions {
    bool recurse = false;    // -r: also below the pattern's directory
    bool keepPaths = false;  // -p: store paths relative to the current directory
};

struct ExtractOptions {
    bool keepPaths = false;  // -p: recreate stored paths
    bool overwrite = false;  // -o: replace existing files without asking
};

// Packs every file matched by the patterns into a new cabinet (MSZIP). The cabinet is written
// to a temporary file beside it and replaces it only when complete. False (after a message on
// standard error) on any failure, including patterns that match no file.
bool Pack(const std::string& cabinet, const std::vector<std::string>& patterns, const PackOptions& options);

// Extracts the members that match one of the patterns (all when there are none) into destination
// (the current directory when empty). False on any failure or refused member.
bool Extract(const std::string& cabinet, const std::vector<std::string>& patterns, const std::string& destination,
             const ExtractOptions& options);
