// cabarc.exe: packs directory trees into Microsoft cabinets (MSZIP) and extracts them.
//
//   cabarc [-r] [-p] n CABINET PATTERN...      new cabinet from the files matching the patterns
//                                              (-r: also in subdirectories, -p: with their paths
//                                              relative to the current directory)
//   cabarc [-p] [-o] x CABINET [PATTERN...] [DEST\]
//                                              extract the members matching the patterns (all when
//                                              none are given; "*" is all) into DEST (a last
//                                              argument ending in '\'), else into the current
//                                              directory (-p: with their stored paths,
//                                              -o: overwrite existing files)
//
// Exit code 0 on success, 1 on any failure, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "cabarc.h"
#include "toolargs.h"

namespace {

int Usage()
{
    std::fputs("usage: cabarc [-r] [-p] n CABINET PATTERN...\n"
               "       cabarc [-p] [-o] x CABINET [PATTERN...] [DEST\\]\n", stderr);
    return 2;
}

}  // namespace

int main()
{
    // The installer quotes a destination as "DEST\": split the raw command line ourselves.
    std::vector<std::string> args = toolargs::Split(GetCommandLineA());
    PackOptions pack;
    ExtractOptions extract;
    size_t i = 0;
    for (; i < args.size() && args[i].size() >= 2 && args[i][0] == '-'; ++i) {
        for (size_t j = 1; j < args[i].size(); ++j) {
            switch (args[i][j]) {
            case 'r': case 'R': pack.recurse = true; break;
            case 'p': case 'P': pack.keepPaths = extract.keepPaths = true; break;
            case 'o': case 'O': extract.overwrite = true; break;
            default:
                std::fprintf(stderr, "cabarc: unknown option -%c\n", args[i][j]);
                return Usage();
            }
        }
    }
    if (args.size() < i + 2)
        return Usage();
    const std::string& command = args[i];
    const std::string& cabinet = args[i + 1];
    std::vector<std::string> rest(args.begin() + i + 2, args.end());

    if (lstrcmpiA(command.c_str(), "n") == 0)
        return Pack(cabinet, rest, pack) ? 0 : 1;
    if (lstrcmpiA(command.c_str(), "x") == 0) {
        std::string destination;
        if (!rest.empty()) {
            const std::string& last = rest.back();
            if (!last.empty() && (last[last.size() - 1] == '\\' || last[last.size() - 1] == '/')) {
                destination = last;
                rest.pop_back();
            }
        }
        return Extract(cabinet, rest, destination, extract) ? 0 : 1;
    }
    std::fprintf(stderr, "cabarc: unknown command %s\n", command.c_str());
    return Usage();
}
