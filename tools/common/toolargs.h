// Command-line splitting shared by the carried tools.
//
// The installer quotes paths that may end with a backslash ("DEST\"). The C runtime's argv rules
// read backslash-quote as an escaped quote and would swallow the rest of the line into that
// argument, so the tools split GetCommandLineA() themselves: a double quote opens or closes a
// quoted stretch, blanks and tabs outside quotes separate arguments, and backslashes are plain
// characters.
#pragma once

#include <string>
#include <vector>

namespace toolargs {

// Splits the arguments that follow the program name. The program name ends at its closing quote
// when it starts with one, else at the first blank.
inline std::vector<std::string> Split(const char* line)
{
    std::vector<std::string> args;
    if (!line)
        return args;
    const char* p = line;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p)
            ++p;
    }
    while (*p && *p != ' ' && *p != '\t')
        ++p;
    for (;;) {
        while (*p == ' ' || *p == '\t')
            ++p;
        if (!*p)
            break;
        std::string arg;
        bool quoted = false;
        while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '"')
                quoted = !quoted;
            else
                arg += *p;
            ++p;
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace toolargs
