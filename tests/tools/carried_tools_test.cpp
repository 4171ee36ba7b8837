// The two programs the installer carries, run as the installer runs them: copies of the real
// UpdateVersion.exe and cabarc.exe in a tools directory, started with CreateProcessA on the exact
// command lines the installer builds, working on real files in a scratch directory.
#include <windows.h>

#include <gtest/gtest.h>

#include "fixture.h"

#include <cstdarg>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

using fixture::FileExists;
using fixture::ReadFile;
using fixture::RemoveTree;

void WriteAll(const std::string& path, const std::string& data)
{
    EXPECT_TRUE(fixture::WriteFile(path, data)) << path;
}

void MakeDirs(const std::string& dir)
{
    size_t slash = dir.find_last_of('\\');
    if (slash != std::string::npos && slash > 2 && !FileExists(dir.substr(0, slash)))
        MakeDirs(dir.substr(0, slash));
    CreateDirectoryA(dir.c_str(), NULL);
}

void WriteTreeFile(const std::string& root, const std::string& rel, const std::string& data)
{
    std::string path = root + "\\" + rel;
    MakeDirs(path.substr(0, path.find_last_of('\\')));
    WriteAll(path, data);
}

// Relative path -> content of every file below dir.
void ListTree(const std::string& dir, const std::string& rel, std::map<std::string, std::string>* out)
{
    fixture::ForEachEntry(dir, [&](const std::string& name, bool isDir) {
        std::string r = rel.empty() ? name : rel + "\\" + name;
        if (isDir)
            ListTree(dir + "\\" + name, r, out);
        else
            (*out)[r] = ReadFile(dir + "\\" + name);
    });
}

std::map<std::string, std::string> Tree(const std::string& dir)
{
    std::map<std::string, std::string> files;
    ListTree(dir, "", &files);
    return files;
}

std::vector<std::string> Names(const std::map<std::string, std::string>& tree)
{
    std::vector<std::string> names;
    for (std::map<std::string, std::string>::const_iterator it = tree.begin(); it != tree.end(); ++it)
        names.push_back(it->first);
    return names;
}

// Bytes that do not compress, from a fixed seed.
std::string NoiseBytes(size_t size, unsigned seed)
{
    std::string s(size, '\0');
    unsigned x = seed | 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        s[i] = static_cast<char>(x >> 24);
    }
    return s;
}

std::string Format(const char* format, ...)
{
    char buf[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buf, sizeof buf, format, args);
    va_end(args);
    return buf;
}

struct RunResult {
    DWORD exitCode;
    std::string output;  // standard output and error
};

// Starts a command line as the installer does (no window, no separate application name) and waits.
RunResult Run(const std::string& commandLine, const std::string& currentDir, const std::string& scratch)
{
    RunResult result = {~0u, std::string()};
    // A new file per run: Wine may hold the previous child's standard handles a little longer.
    static int runs = 0;
    std::string outPath = Format("%s\\output%d.txt", scratch.c_str(), ++runs);
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
    EXPECT_NE(out, INVALID_HANDLE_VALUE) << outPath << " error " << GetLastError();
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    BOOL started = CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL,
                                  currentDir.empty() ? NULL : currentDir.c_str(), &si, &pi);
    EXPECT_TRUE(started) << commandLine << " error " << GetLastError();
    if (started) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &result.exitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(out);
    result.output = ReadFile(outPath);
    DeleteFileA(outPath.c_str());
    return result;
}

// A scratch area per test: the installer's temporary directory with the tool copies, and a
// program directory with blanks in its path.
class CarriedToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int counter = 0;
        root_ = fixture::ScratchDir(Format("carried tools %d", ++counter));
        tools_ = root_ + "\\Temp dir";
        prog_ = root_ + "\\Zorel Halvex\\prog";
        MakeDirs(tools_);
        MakeDirs(prog_);
        std::string bin = fixture::BinDir();
        updateVersion_ = tools_ + "\\UpdateVersion.exe";
        cabarc_ = tools_ + "\\cabarc.exe";
        ASSERT_TRUE(CopyFileA((bin + "\\UpdateVersion.exe").c_str(), updateVersion_.c_str(), FALSE));
        ASSERT_TRUE(CopyFileA((bin + "\\cabarc.exe").c_str(), cabarc_.c_str(), FALSE));
        sampleDll_ = bin + "\\..\\product\\tessra.dll";
        ASSERT_TRUE(FileExists(sampleDll_)) << sampleDll_;
    }

    void TearDown() override { RemoveTree(root_); }

    RunResult Run(const std::string& commandLine, const std::string& currentDir = std::string())
    {
        return ::Run(commandLine, currentDir, root_);
    }

    std::string root_, tools_, prog_, updateVersion_, cabarc_, sampleDll_;
};

// ---------------------------------------------------------------------------------------------
// UpdateVersion.exe

typedef DWORD(__cdecl* ReleaseTextFn)(char*, DWORD);

class UpdateVersionTest : public CarriedToolTest {
protected:
    void SetUp() override
    {
        CarriedToolTest::SetUp();
        dll_ = prog_ + "\\tessra.dll";
        currver_ = prog_ + "\\currver.txt";
    }

    // The read command of the release identification: tool path unquoted, directory quoted, one
    // trailing blank.
    RunResult Read() { return Run(Format("%s \"%s\" myversion read ", updateVersion_.c_str(), prog_.c_str())); }

    // The write command of the release string update, built piece by piece as the installer does.
    RunResult Write(const std::string& label)
    {
        std::string line = Format("%s \"", updateVersion_.c_str());
        line += prog_;
        line += "\" \"";
        line += label;
        line += "\"";
        line += " write ";
        return Run(line);
    }

    // The text the library reports about itself once loaded as a DLL.
    std::string LoadedReleaseText()
    {
        HMODULE module = LoadLibraryA(dll_.c_str());
        if (!module)
            return Format("<LoadLibrary failed: %lu>", GetLastError());
        ReleaseTextFn fn = reinterpret_cast<ReleaseTextFn>(reinterpret_cast<void*>(GetProcAddress(module, "TessraReleaseText")));
        std::string text = "<no TessraReleaseText>";
        if (fn) {
            char buf[512];
            DWORD len = fn(buf, sizeof buf);
            text.assign(buf, len < sizeof buf ? len : sizeof buf - 1);
        }
        FreeLibrary(module);
        return text;
    }

    std::string FileVersion()
    {
        DWORD handle = 0;
        DWORD size = GetFileVersionInfoSizeA(dll_.c_str(), &handle);
        if (!size)
            return "<no version info>";
        std::vector<char> info(size);
        char* value = NULL;
        UINT len = 0;
        if (!GetFileVersionInfoA(dll_.c_str(), 0, size, &info[0]) ||
            !VerQueryValueA(&info[0], "\\StringFileInfo\\040904b0\\FileVersion", reinterpret_cast<void**>(&value), &len))
            return "<no FileVersion>";
        return value;
    }

    std::string dll_, currver_;
};

TEST_F(UpdateVersionTest, ReadWritesTheLibrarysReleaseTextToCurrver)
{
    ASSERT_TRUE(CopyFileA(sampleDll_.c_str(), dll_.c_str(), FALSE));
    WriteAll(currver_, "stale text from an earlier run that is longer than the label");
    RunResult r = Read();
    EXPECT_EQ(0u, r.exitCode) << r.output;
    EXPECT_EQ(SAMPLE_RELEASE_TEXT, ReadFile(currver_));
}

TEST_F(UpdateVersionTest, WrittenLabelsReadBackAndTheLibraryStillLoads)
{
    ASSERT_TRUE(CopyFileA(sampleDll_.c_str(), dll_.c_str(), FALSE));
    const char* const labels[] = {
        "Release 14.5.1FP2|June 30, 2026",
        "Release 14.5.1FP1 HF21|September 21, 2026",  // blanks: one quoted argument
        "R 15|1",                                       // shorter than the text it replaces
        "Release 14.5.1FP1 Custom Fix for the web-access add-on, build 20261231-2359 (final)|December 31, 2026",
        "Release 14.5.1FP1|May 21, 2026",               // back to the sample's own text
    };
    for (size_t i = 0; i < sizeof labels / sizeof labels[0]; ++i) {
        SCOPED_TRACE(labels[i]);
        RunResult w = Write(labels[i]);
        EXPECT_EQ(0u, w.exitCode) << w.output;
        RunResult r = Read();
        EXPECT_EQ(0u, r.exitCode) << r.output;
        EXPECT_EQ(labels[i], ReadFile(currver_));
        EXPECT_EQ(labels[i], LoadedReleaseText());
        EXPECT_EQ(SAMPLE_FILE_VERSION, FileVersion());
        // Nothing but the library and the answer is left in the program directory.
        std::vector<std::string> expected;
        expected.push_back("currver.txt");
        expected.push_back("tessra.dll");
        EXPECT_EQ(expected, Names(Tree(prog_)));
    }
}

// Writing the label the library carries leaves it byte for byte (the sample's own library, and
// one the tool rewrote before): a revert puts the base release's library back from its copy and
// then writes the base label, and the library must stay the one that release shipped.
TEST_F(UpdateVersionTest, TheLabelTheLibraryCarriesLeavesItByteForByte)
{
    ASSERT_TRUE(CopyFileA(sampleDll_.c_str(), dll_.c_str(), FALSE));
    const std::string sample = ReadFile(dll_);
    RunResult w = Write(SAMPLE_RELEASE_TEXT);
    EXPECT_EQ(0u, w.exitCode) << w.output;
    EXPECT_TRUE(sample == ReadFile(dll_)) << "the sample's library was rewritten";

    w = Write("Release 14.5.1FP1 HF21|September 21, 2026");
    EXPECT_EQ(0u, w.exitCode) << w.output;
    const std::string rewritten = ReadFile(dll_);
    EXPECT_FALSE(sample == rewritten);
    w = Write("Release 14.5.1FP1 HF21|September 21, 2026");
    EXPECT_EQ(0u, w.exitCode) << w.output;
    EXPECT_TRUE(rewritten == ReadFile(dll_)) << "the rewritten library was rewritten again";
    EXPECT_EQ("Release 14.5.1FP1 HF21|September 21, 2026", LoadedReleaseText());
}

TEST_F(UpdateVersionTest, WorksFromAToolDirectoryWithBlanksInItsUnquotedPath)
{
    ASSERT_TRUE(CopyFileA(sampleDll_.c_str(), dll_.c_str(), FALSE));
    RunResult w = Write("Release 14.5.1FP3|July 1, 2026");
    EXPECT_EQ(0u, w.exitCode) << w.output;
    RunResult r = Read();
    EXPECT_EQ(0u, r.exitCode) << r.output;
    EXPECT_EQ("Release 14.5.1FP3|July 1, 2026", ReadFile(currver_));
}

// Each failure exits nonzero with a message, leaves the library byte for byte as it was, and
// leaves no currver.txt (a stale one would pass for the installed release).
TEST_F(UpdateVersionTest, FailuresLeaveTheLibraryAndNoAnswer)
{
    enum Setup { kNoLibrary, kNoReleaseText, kNotALibrary, kReadOnly, kHeldOpen, kNoProgramDir };
    struct Case {
        const char* name;
        Setup setup;
        bool write;
    } const cases[] = {
        {"read, no library", kNoLibrary, false},
        {"write, no library", kNoLibrary, true},
        {"read, library without a release text", kNoReleaseText, false},
        {"write, library without a release text", kNoReleaseText, true},
        {"read, file that is no library", kNotALibrary, false},
        {"write, file that is no library", kNotALibrary, true},
        {"write, read-only library", kReadOnly, true},
        {"write, library held open without sharing", kHeldOpen, true},
        {"read, missing program directory", kNoProgramDir, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        RemoveTree(prog_);
        MakeDirs(prog_);
        HANDLE held = INVALID_HANDLE_VALUE;
        switch (c.setup) {
        case kNoLibrary: break;
        case kNoReleaseText: ASSERT_TRUE(CopyFileA(cabarc_.c_str(), dll_.c_str(), FALSE)); break;
        case kNotALibrary: WriteAll(dll_, "MZ this is not a library\r\n"); break;
        case kReadOnly:
            ASSERT_TRUE(CopyFileA(sampleDll_.c_str(), dll_.c_str(), FALSE));
            SetFileAttributesA(dll_.c_str(), FILE_ATTRIBUTE_READONLY);
            break;
        case kHeldOpen: ASSERT_TRUE(CopyFileA(sampleDll_.c_str(), dll_.c_str(), FALSE)); break;
        case kNoProgramDir: RemoveTree(prog_); break;
        }
        if (c.setup != kNoProgramDir)
            WriteAll(currver_, "Release 1.0|stale");
        std::string before = ReadFile(dll_);
        if (c.setup == kHeldOpen) {
            held = CreateFileA(dll_.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        }
        RunResult r = c.write ? Write("Release 14.5.1FP2|June 30, 2026") : Read();
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_NE(0u, r.exitCode);
        EXPECT_NE(std::string::npos, r.output.find("UpdateVersion: ")) << r.output;
        EXPECT_TRUE(before == ReadFile(dll_)) << "the library changed";
        if (!c.write) {
            EXPECT_FALSE(FileExists(currver_));
        }
        std::vector<std::string> left = Names(Tree(prog_));
        for (size_t j = 0; j < left.size(); ++j)
            EXPECT_TRUE(left[j] == "tessra.dll" || left[j] == "currver.txt") << "left behind: " << left[j];
        SetFileAttributesA(dll_.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// ---------------------------------------------------------------------------------------------
// cabarc.exe

class CabarcTest : public CarriedToolTest {
protected:
    // The three command forms of the component updaters.
    std::string PackCommand(const std::string& backName, const std::string& patterns)
    {
        return Format("\"%s\" -r -p n \"%s\\%s\" %s", cabarc_.c_str(), prog_.c_str(), backName.c_str(),
                      patterns.c_str());
    }
    std::string UnpackIntoCommand(const std::string& cab, const std::string& dir)
    {
        return Format("\"%s\" -p -o x \"%s\" * \"%s\\\"", cabarc_.c_str(), cab.c_str(), dir.c_str());
    }
    std::string UnpackInPlaceCommand(const std::string& cab)
    {
        return Format("\"%s\" -p -o x \"%s\"", cabarc_.c_str(), cab.c_str());
    }

    // A component tree below base\top: nested directories, blanks in names, an empty file, a
    // read-only file, small text files and two incompressible files that need two folders.
    std::map<std::string, std::string> MakeComponent(const std::string& base, const std::string& top)
    {
        std::map<std::string, std::string> files;
        files["plugin.xml"] = "<plugin id=\"a\"/>\r\n";
        files["empty.txt"] = "";
        files["lib\\core.jar"] = NoiseBytes(5 * 1024 * 1024, 7);
        files["lib\\more\\extra.jar"] = NoiseBytes(4 * 1024 * 1024 + 123, 11);
        files["doc\\read me.txt"] = std::string(100000, 'r');
        files["doc\\deep\\er\\still\\leaf.ini"] = "[Zorel]\r\nkey=value\r\n";
        for (int i = 0; i < 40; ++i)
            files[Format("nls\\msg_%02d.properties", i)] = Format("message.%d=text %d\n", i, i * i);
        for (std::map<std::string, std::string>::iterator it = files.begin(); it != files.end(); ++it)
            WriteTreeFile(base + "\\" + top, it->first, it->second);
        SetFileAttributesA((base + "\\" + top + "\\plugin.xml").c_str(), FILE_ATTRIBUTE_READONLY);
        return files;
    }

    static unsigned Folders(const std::string& cab)
    {
        std::string head = ReadFile(cab).substr(0, 36);
        return head.size() == 36 ? static_cast<unsigned char>(head[26]) | static_cast<unsigned char>(head[27]) << 8 : 0;
    }
};

TEST_F(CabarcTest, PackedTreeUnpacksIntoADirectoryByteForByte)
{
    std::map<std::string, std::string> files = MakeComponent(prog_, "kws");
    std::string back = "REL_14.5.1FP1\\kws0007.IIB";
    MakeDirs(prog_ + "\\REL_14.5.1FP1");
    RunResult pack = Run(PackCommand(back, "kws\\*"), prog_);
    ASSERT_EQ(0u, pack.exitCode) << pack.output;
    EXPECT_GE(Folders(prog_ + "\\" + back), 2u);

    // The unpack command's destination ends in backslash-quote.
    std::string dest = root_ + "\\restored tree";
    RunResult unpack = Run(UnpackIntoCommand(prog_ + "\\" + back, dest), prog_);
    ASSERT_EQ(0u, unpack.exitCode) << unpack.output;
    EXPECT_EQ(Tree(prog_ + "\\kws"), Tree(dest + "\\kws"));
    EXPECT_EQ(files.size(), Tree(dest).size());
    EXPECT_TRUE(GetFileAttributesA((dest + "\\kws\\plugin.xml").c_str()) & FILE_ATTRIBUTE_READONLY);
}

// An absolute pattern is stored without its drive and root, so the cabinet still unpacks below
// its destination.
TEST_F(CabarcTest, AbsolutePatternIsStoredBelowTheDestination)
{
    MakeComponent(prog_, "jvm");
    RunResult pack = Run(PackCommand("jvm.IIB", "\"" + prog_ + "\\jvm\\*\""), root_);
    ASSERT_EQ(0u, pack.exitCode) << pack.output;
    std::string dest = root_ + "\\unpacked";
    RunResult unpack = Run(UnpackIntoCommand(prog_ + "\\jvm.IIB", dest), root_);
    ASSERT_EQ(0u, unpack.exitCode) << unpack.output;
    ASSERT_EQ(':', prog_[1]);
    EXPECT_EQ(Tree(prog_ + "\\jvm"), Tree(dest + prog_.substr(2) + "\\jvm"));
}

TEST_F(CabarcTest, DojoBackupOfSeveralPatternsUnpacksInPlace)
{
    std::string data = root_ + "\\data dir";
    WriteTreeFile(data, "halvex\\js\\dojo-1.9.3\\dojo.js", "define([], 1);\n");
    WriteTreeFile(data, "halvex\\js\\dojo-1.9.3\\dijit\\form\\Button.js", std::string(70000, 'b'));
    WriteTreeFile(data, "halvex\\js\\dojo-1.10.0\\dojo.js", "define([], 2);\n");
    WriteTreeFile(data, "halvex\\template\\dojo-1.9.3\\page.htm", "<html></html>\n");
    WriteTreeFile(data, "halvex\\js\\other.js", "not in the backup\n");
    WriteTreeFile(data, "halvex\\js\\dojo-notes.txt", "a file, not a version directory\n");
    // The list the dojo updater builds: every "dojo-*" entry as dir\name\* and one blank.
    std::string patterns = "halvex\\js\\dojo-1.10.0\\* halvex\\js\\dojo-1.9.3\\* halvex\\js\\dojo-notes.txt\\* "
                           "halvex\\template\\dojo-1.9.3\\* ";
    RunResult pack = Run(PackCommand("hlv-dojo0003.IIB", patterns), data);
    ASSERT_EQ(0u, pack.exitCode) << pack.output;

    std::string fresh = root_ + "\\fresh data";
    MakeDirs(fresh);
    RunResult unpack = Run(UnpackInPlaceCommand(prog_ + "\\hlv-dojo0003.IIB"), fresh);
    ASSERT_EQ(0u, unpack.exitCode) << unpack.output;
    std::map<std::string, std::string> expected = Tree(data);
    expected.erase("halvex\\js\\other.js");
    expected.erase("halvex\\js\\dojo-notes.txt");
    EXPECT_EQ(expected, Tree(fresh));
}

TEST_F(CabarcTest, PackFailsWhenThePatternsMatchNoFileAndKeepsTheOldBackup)
{
    std::string data = root_ + "\\data";
    MakeDirs(data + "\\halvex\\js\\empty-dir");
    std::string back = prog_ + "\\old.IIB";
    WriteAll(back, "earlier backup");
    const char* const patternLists[] = {
        "",                              // no dojo-* entry at all: the list is empty
        "halvex\\js\\dojo-1.9.3\\* ",     // a directory that does not exist
        "halvex\\js\\empty-dir\\* ",      // a directory with nothing to pack
        "halvex\\js\\*.none",
    };
    for (size_t i = 0; i < sizeof patternLists / sizeof patternLists[0]; ++i) {
        SCOPED_TRACE(patternLists[i]);
        RunResult pack = Run(PackCommand("old.IIB", patternLists[i]), data);
        EXPECT_NE(0u, pack.exitCode) << pack.output;
        EXPECT_EQ("earlier backup", ReadFile(back));
        EXPECT_EQ(1u, Tree(prog_).size());
    }
}

// A backup that misses a file is no backup: a file that cannot be read fails the pack.
TEST_F(CabarcTest, PackFailsWhenAFileCannotBeReadAndKeepsTheOldBackup)
{
    MakeComponent(prog_, "osgi");
    WriteAll(prog_ + "\\osgi.IIB", "earlier backup");
    std::map<std::string, std::string> before = Tree(prog_);
    HANDLE held = CreateFileA((prog_ + "\\osgi\\lib\\more\\extra.jar").c_str(), GENERIC_READ, 0, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    RunResult pack = Run(PackCommand("osgi.IIB", "osgi\\*"), prog_);
    CloseHandle(held);
    EXPECT_NE(0u, pack.exitCode) << pack.output;
    EXPECT_TRUE(before == Tree(prog_)) << "the program directory changed";
}

TEST_F(CabarcTest, UnpackOverwritesChangedAndReadOnlyFiles)
{
    std::map<std::string, std::string> files = MakeComponent(prog_, "ckeditor");
    RunResult pack = Run(PackCommand("ck.IIB", "ckeditor\\*"), prog_);
    ASSERT_EQ(0u, pack.exitCode) << pack.output;
    std::map<std::string, std::string> original = Tree(prog_ + "\\ckeditor");

    std::string tree = prog_ + "\\ckeditor";
    WriteTreeFile(tree, "doc\\read me.txt", "changed");
    SetFileAttributesA((tree + "\\nls\\msg_03.properties").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteTreeFile(tree, "added later.txt", "stays");
    RunResult unpack = Run(UnpackIntoCommand(prog_ + "\\ck.IIB", prog_), prog_);
    ASSERT_EQ(0u, unpack.exitCode) << unpack.output;
    original["added later.txt"] = "stays";
    EXPECT_EQ(original, Tree(tree));
}

// A damaged or missing cabinet fails, and no file in the destination is left with content other
// than its old one or the cabinet's.
TEST_F(CabarcTest, DamagedCabinetsFailWithoutCuttingFiles)
{
    std::map<std::string, std::string> files = MakeComponent(prog_, "osgi");
    RunResult pack = Run(PackCommand("osgi.IIB", "osgi\\*"), prog_);
    ASSERT_EQ(0u, pack.exitCode) << pack.output;
    std::string good = ReadFile(prog_ + "\\osgi.IIB");

    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"cut in half", good.substr(0, good.size() / 2)},
        {"one byte changed in the compressed data", good},
        {"header only", good.substr(0, 36)},
        {"not a cabinet", "MSCF but nothing else of a cabinet"},
        {"empty file", ""},
    };
    cases[1].bytes[good.size() - 4096] ^= 0x5A;
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        SCOPED_TRACE(cases[i].name);
        std::string dest = root_ + "\\dest";
        RemoveTree(dest);
        std::map<std::string, std::string> old;
        for (std::map<std::string, std::string>::iterator it = files.begin(); it != files.end(); ++it)
            old["osgi\\" + it->first] = "old " + it->first;
        for (std::map<std::string, std::string>::iterator it = old.begin(); it != old.end(); ++it)
            WriteTreeFile(dest, it->first, it->second);
        std::string cab = root_ + "\\damaged.cab";
        WriteAll(cab, cases[i].bytes);
        RunResult unpack = Run(UnpackIntoCommand(cab, dest), root_);
        EXPECT_NE(0u, unpack.exitCode) << unpack.output;
        std::map<std::string, std::string> after = Tree(dest);
        EXPECT_EQ(Names(old), Names(after));
        for (std::map<std::string, std::string>::iterator it = after.begin(); it != after.end(); ++it)
            EXPECT_TRUE(it->second == old[it->first] || it->second == files[it->first.substr(5)]) << it->first;
    }
    RunResult missing = Run(UnpackIntoCommand(root_ + "\\no such.cab", root_ + "\\dest"), root_);
    EXPECT_NE(0u, missing.exitCode);
}

}  // namespace
