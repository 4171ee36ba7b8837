// A directory handed to a carried tool is one word of its command line, read back as the same
// directory by the usual parser of a command line (CommandLineToArgvW, the rules of the C
// runtime) and by the carried tools' own (toolargs::Split); a drive's root too, whose trailing
// backslash would otherwise escape the closing quote.
#include "package/names.h"
#include "tools/common/toolargs.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> SystemSplit(const std::string& line)
{
    std::wstring wide(line.begin(), line.end());
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(wide.c_str(), &argc);
    std::vector<std::string> args;
    for (int i = 1; argv && i < argc; ++i) {
        std::wstring w = argv[i];
        args.push_back(std::string(w.begin(), w.end()));
    }
    LocalFree(argv);
    return args;
}

std::string FullPath(const std::string& path)
{
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(path.c_str(), sizeof(full), full, NULL);
    return n > 0 && n < sizeof(full) ? std::string(full) : std::string();
}

TEST(CarriedTool, ADirectoryIsOneQuotedWord)
{
    for (const char* dir : {"C:\\", "q:\\", "C:\\ZOREL\\PROGRAM", "C:\\PROGRAM FILES\\ZOREL HALVEX", "\\\\server\\share\\"}) {
        SCOPED_TRACE(dir);
        const std::string line = "C:\\TEMP\\UpdateVersion.exe " + zfix::QuotedDirectory(dir) +
                                 " \"Release 14.5.1FP1 HF21|September 21, 2026\" write ";
        for (const std::vector<std::string>& args : {SystemSplit(line), toolargs::Split(line.c_str())}) {
            ASSERT_EQ(3u, args.size()) << line;
            EXPECT_EQ(FullPath(dir), FullPath(args[0])) << args[0];
            EXPECT_EQ("Release 14.5.1FP1 HF21|September 21, 2026", args[1]);
            EXPECT_EQ("write", args[2]);
        }
    }
}

}  // namespace
