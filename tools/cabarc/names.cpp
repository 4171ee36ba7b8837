#include "names.h"

#include <windows.h>

namespace names {

std::vector<std::string> Components(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '\\' || path[i] == '/') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += path[i];
        }
    }
    return parts;
}

static std::string Join(const std::vector<std::string>& parts, size_t first)
{
    std::string out;
    for (size_t i = first; i < parts.size(); ++i) {
        if (!out.empty())
            out += '\\';
        out += parts[i];
    }
    return out;
}

std::string StoredName(const std::string& path)
{
    std::string rest = path;
    if (rest.size() >= 2 && rest[1] == ':')
        rest = rest.substr(2);
    bool unc = rest.size() >= 2 && (rest[0] == '\\' || rest[0] == '/') && (rest[1] == '\\' || rest[1] == '/');
    std::vector<std::string> in = Components(rest);
    std::vector<std::string> out;
    for (size_t i = unc ? 2 : 0; i < in.size(); ++i) {
        if (in[i] == ".")
            continue;
        if (in[i] == "..") {
            if (!out.empty())
                out.pop_back();
            continue;
        }
        out.push_back(in[i]);
    }
    return Join(out, 0);
}

static bool OnlyDotsAndBlanks(const std::string& part)
{
    return part.find_first_not_of(". ") == std::string::npos;
}

static bool IsDeviceName(const std::string& part)
{
    std::string stem = part.substr(0, part.find('.'));
    while (!stem.empty() && stem[stem.size() - 1] == ' ')
        stem.erase(stem.size() - 1);
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (size_t i = 0; i < sizeof kDevices / sizeof kDevices[0]; ++i)
        if (lstrcmpiA(stem.c_str(), kDevices[i]) == 0)
            return true;
    if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9') {
        std::string head = stem.substr(0, 3);
        return lstrcmpiA(head.c_str(), "COM") == 0 || lstrcmpiA(head.c_str(), "LPT") == 0;
    }
    return false;
}

bool ExtractPath(const std::string& stored, bool keepPaths, std::string* relative, std::string* reason)
{
    if (stored.empty()) {
        *reason = "empty name";
        return false;
    }
    if (stored[0] == '\\' || stored[0] == '/') {
        *reason = "absolute path";
        return false;
    }
    if (stored.find(':') != std::string::npos) {
        *reason = "drive or stream name";
        return false;
    }
    std::vector<std::string> parts = Components(stored);
    for (size_t i = 0; i < parts.size(); ++i) {
        if (OnlyDotsAndBlanks(parts[i])) {
            *reason = "\".\" or \"..\" component";
            return false;
        }
        for (size_t j = 0; j < parts[i].size(); ++j) {
            unsigned char c = static_cast<unsigned char>(parts[i][j]);
            if (c < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') {
                *reason = "character not allowed in a file name";
                return false;
            }
        }
        if (IsDeviceName(parts[i])) {
            *reason = "device name";
            return false;
        }
    }
    if (parts.empty()) {
        *reason = "empty name";
        return false;
    }
    *relative = keepPaths ? Join(parts, 0) : parts.back();
    return true;
}

}  // namespace names
