// zfixbuild build and inspect as release engineers run them, and the fix executable they make
// as users meet it: the real zfix.exe lists it (contents) and unpacks it (extract).
#include <windows.h>

#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "fixture.h"
#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/fix_record.h"
#include "package/patch_apply.h"
#include "robot.h"

namespace {

using fixture::Contains;

const char kDescription[] =
    "[Fix]\r\n"
    "Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21\r\n"
    "Kind=hotfix\r\n"
    "BaseLabel=Release 14.5.1FP1|May 21, 2026\r\n"
    "FixLabel=Release 14.5.1FP1 HF21|September 21, 2026\r\n"
    "StringsLibrary=tessra.dll\r\n"
    "License=license.txt\r\n"
    "[Base]\r\n"
    "Program=base\\program\r\n"
    "Data=base\\data\r\n"
    "[Target]\r\n"
    "Program=fix\\program\r\n"
    "Data=fix\\data\r\n";

/* The sample product's files, as its build lays them out. */
const char* const kProductFiles[] = {"tessra.dll", "pomvi.dll", "nzorel.dll", "sig\\nzorel.sf", "tdx.exe",
                                     "HOSTRK.EXE", "zorelreg.bat", "ZOREL.INI"};

void CopyProduct(const std::string& to)
{
    std::string product = fixture::BinDir() + "\\..\\product";
    CreateDirectoryA(to.c_str(), NULL);
    CreateDirectoryA((to + "\\sig").c_str(), NULL);
    for (const char* name : kProductFiles)
        CopyFileA((product + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
}

/* Runs a command line with its output going to a file; the exit code and the output. */
int Capture(const std::string& commandLine, std::string* output)
{
    std::string path = fixture::ScratchDir("builder_capture") + "\\out.txt";
    SECURITY_ATTRIBUTES sa = {sizeof(sa), NULL, TRUE};
    HANDLE hOut = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hOut;
    si.hStdError = hOut;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi;
    std::string cmd = commandLine;
    DWORD code = (DWORD)-1;
    if (CreateProcessA(NULL, &cmd[0], NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 120000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    CloseHandle(hOut);
    *output = fixture::ReadFile(path);
    return (int)code;
}

std::string Resource(HMODULE module, const char* type, int id)
{
    HRSRC hRes = FindResourceExA(module, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!hRes)
        return std::string();
    const char* p = (const char*)LockResource(LoadResource(module, hRes));
    return std::string(p, SizeofResource(module, hRes));
}

class Builder : public ::testing::Test {
protected:
    void SetUp() override
    {
        fixture::EndStrayInstallers();
        dir_ = fixture::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CreateDirectoryA((dir_ + "\\base").c_str(), NULL);
        CreateDirectoryA((dir_ + "\\fix").c_str(), NULL);
        CopyProduct(dir_ + "\\base\\program");
        CopyProduct(dir_ + "\\fix\\program");
        CreateDirectoryA((dir_ + "\\base\\data").c_str(), NULL);
        CreateDirectoryA((dir_ + "\\fix\\data").c_str(), NULL);
        CreateDirectoryA((dir_ + "\\fix\\data\\templates").c_str(), NULL);
        CreateDirectoryA((dir_ + "\\base\\data\\templates").c_str(), NULL);
        fixture::WriteFile(dir_ + "\\license.txt", "Sample licence.\r\n");
        fixture::WriteFile(dir_ + "\\hf21.ini", kDescription);

        // The fix: a library rebuilt with code moved (patched), the strings library rebuilt
        // (always whole), a new signature, a rewritten template, the server removed.
        std::string pomvi = fixture::ReadFile(dir_ + "\\base\\program\\pomvi.dll");
        ASSERT_GT(pomvi.size(), 4000u);
        pomvi.insert(2000, "inserted code bytes, moving everything after them");
        for (size_t i = 4000; i + 8 < pomvi.size(); i += 700)
            pomvi[i] ^= 0x10;
        fixture::WriteFile(dir_ + "\\fix\\program\\pomvi.dll", pomvi);
        std::string tessra = fixture::ReadFile(dir_ + "\\base\\program\\tessra.dll");
        tessra[tessra.size() / 2] ^= 1;
        fixture::WriteFile(dir_ + "\\fix\\program\\tessra.dll", tessra);
        fixture::WriteFile(dir_ + "\\fix\\program\\sig\\pomvi.sf", "new signature");
        fixture::WriteFile(dir_ + "\\base\\data\\templates\\report.tpl", "old report");
        std::string report;
        for (int i = 0; i < 3000; ++i)
            report += (char)('a' + (i * 7919) % 26);
        fixture::WriteFile(dir_ + "\\fix\\data\\templates\\report.tpl", report);
        DeleteFileA((dir_ + "\\fix\\program\\HOSTRK.EXE").c_str());

        expected_ = {
            {"pomvi.dll", zfix::FE_PATCH},           {"tessra.dll", zfix::FE_REPLACE},
            {"sig\\pomvi.sf", zfix::FE_REPLACE},     {"templates\\report.tpl", zfix::FE_REPLACE},
            {"HOSTRK.EXE", zfix::FE_REMOVE},
        };
    }

    int Build(const std::string& arguments, std::string* output)
    {
        return Capture("\"" + fixture::BinDir() + "\\zfixbuild.exe\" " + arguments, output);
    }

    std::string dir_;
    std::map<std::string, uint32_t> expected_;
};

TEST_F(Builder, HotfixFromTwoTreesIsListedExtractedAndInspected)
{
    std::string fix = dir_ + "\\HF21.exe", output;
    ASSERT_EQ(0, Build("build \"" + dir_ + "\\hf21.ini\" -o \"" + fix + "\"", &output)) << output;

    // The record and entries, read from the executable with the installer's readers.
    HMODULE module = LoadLibraryExA(fix.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);
    std::string version = Resource(module, zfix::RESTYPE_VERSION, 1);
    zfix::FIXRECORD record;
    std::string why;
    ASSERT_TRUE(zfix::ReadFixRecord(version.data(), version.size(), &record, &why)) << why;
    std::map<std::string, zfix::FILEENTRY> entries;
    std::map<std::string, size_t> packed;
    std::string listed;
    for (const zfix::FILELISTRECORD& f : record.files) {
        std::string res = Resource(module, zfix::RESTYPE_FILEENTRY, (int)f.dwFileEntry);
        char name[zfix::MAX_ENTRY_NAME + 1];
        zfix::FILEENTRY e;
        ASSERT_TRUE(zfix::ReadFileEntry(res.data(), res.size(), name, sizeof(name), &e)) << f.lpFile;
        EXPECT_STREQ(f.lpFile, name);
        entries[name] = e;
        packed[name] = Resource(module, zfix::RESTYPE_UPDATE, (int)f.dwFileEntry).size();
        listed += (listed.empty() ? "" : ", ") + std::string(name);
    }
    FreeLibrary(module);
    ASSERT_EQ(expected_.size(), entries.size()) << listed;
    for (const auto& x : expected_)
        EXPECT_EQ(x.second, entries[x.first].dwOperation) << x.first;

    {
        robot::Program program("\"" + fix + "\" contents", dir_);
        robot::MessageBoxInfo box;
        ASSERT_TRUE(program.WaitMessageBox(&box));
        EXPECT_EQ("This fix contains:\n" + listed, box.text);
        program.Answer(box, IDOK);
        EXPECT_EQ(0, program.WaitExit());
    }

    // Every payload is extracted (the removed file, which has none, comes last). The command
    // line is cut at '-', '/' and blanks, so the target folder must have none of them.
    std::string out = fixture::TempDir() + "\\builderout";
    fixture::RemoveTree(out);
    CreateDirectoryA(out.c_str(), NULL);
    {
        robot::Program program("\"" + fix + "\" extract " + out, dir_);
        EXPECT_EQ(0, program.WaitExit());
    }
    for (const auto& x : expected_) {
        std::string name = x.first.substr(x.first.rfind('\\') == std::string::npos ? 0 : x.first.rfind('\\') + 1);
        std::string dirName = x.first == "templates\\report.tpl" ? "data" : "program";
        std::string payload = fixture::ReadFile(out + "\\" + name);
        std::string before = fixture::ReadFile(dir_ + "\\base\\" + dirName + "\\" + x.first);
        std::string after = fixture::ReadFile(dir_ + "\\fix\\" + dirName + "\\" + x.first);
        if (x.second == zfix::FE_REPLACE) {
            EXPECT_TRUE(payload == after) << x.first;
        } else if (x.second == zfix::FE_PATCH) {
            const zfix::FILEENTRY& e = entries[x.first];
            std::vector<uint8_t> up, back;
            zfix::ApplyFileUpdate(e, false, (const uint8_t*)payload.data(), payload.size(), (const uint8_t*)before.data(),
                                  before.size(), &up);
            zfix::ApplyFileUpdate(e, true, (const uint8_t*)payload.data(), payload.size(), (const uint8_t*)after.data(),
                                  after.size(), &back);
            EXPECT_TRUE(std::string(up.begin(), up.end()) == after) << x.first;
            EXPECT_TRUE(std::string(back.begin(), back.end()) == before) << x.first;
            EXPECT_LT(packed[x.first], after.size() / 10) << x.first;
        } else {
            EXPECT_FALSE(fixture::FileExists(out + "\\" + name)) << x.first;
        }
    }

    ASSERT_EQ(0, Build("inspect \"" + fix + "\"", &output)) << output;
    const char* fields[] = {
        "canOldLabel: \"Release 14.5.1FP1|May 21, 2026\"",
        "canNewLabel: \"Release 14.5.1FP1 HF21|September 21, 2026\"",
        "gdwChecksums: 11",
        "dwFileEntries: 5",
        "dwUpgradeType: 1",
        "dwOperation: 1 FE_PATCH",
        "dwOperation: 3 FE_REMOVE",
        "dwDir: 2 DIR_DATA",
        "file: \"sig\\pomvi.sf\"",
        "text: \"Release 14.5.1FP1 -> Release 14.5.1FP1 HF21\"",
        "text: \"tessra.dll\"",
        "type: \"UPDATE64ENTRY\"",
    };
    for (const char* field : fields)
        EXPECT_TRUE(Contains(output, field)) << field << "\n" << output;
}

TEST_F(Builder, FixStringsReplaceTheStubsAndKeepTheOthers)
{
    std::string description = std::string(kDescription) + "";
    size_t at = description.find("[Base]");
    description.insert(at, "FixKind=TDX\r\nLP=SKIP\r\nReleaseText=Diagnostics 9.0.1\r\nOutput=out\\tdx.exe\r\n");
    description.replace(description.find("Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21"),
                        strlen("Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21"), "Title=Diagnostics tool: 9.0.1.7");
    fixture::WriteFile(dir_ + "\\tdx.ini", description);
    CreateDirectoryA((dir_ + "\\out").c_str(), NULL);
    std::string output;
    ASSERT_EQ(0, Build("build \"" + dir_ + "\\tdx.ini\"", &output)) << output;
    std::string fix = dir_ + "\\out\\tdx.exe";
    HMODULE module = LoadLibraryExA(fix.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(module != NULL);
    struct {
        UINT id;
        const char* text;
    } strings[] = {
        {0, "Diagnostics tool: 9.0.1.7"}, {1, "tessra.dll"}, {2, "Diagnostics 9.0.1"}, {3, "Incremental Installer"},
        {32, "There are no version resources in this executable. It is either corrupt or built wrong."},
        {42, "TDX"}, {43, "SKIP"}, {44, "Please, select release version to revert to:"},
    };
    for (const auto& s : strings) {
        char text[520] = "";
        LoadStringA(module, s.id, text, sizeof(text));
        EXPECT_STREQ(s.text, text) << s.id;
    }
    FreeLibrary(module);
}

// A fix built from a stub that is already a fix would keep the old fix's entries past its own
// (a two-entry stub and a one-entry fix: FILEENTRY/2 stays), and nothing would show them.
TEST_F(Builder, AStubThatIsAlreadyAFixIsRefused)
{
    std::string first = dir_ + "\\HF21.exe", second = dir_ + "\\again.exe", output;
    ASSERT_EQ(0, Build("build \"" + dir_ + "\\hf21.ini\" -o \"" + first + "\"", &output)) << output;
    EXPECT_EQ(1, Build("build \"" + dir_ + "\\hf21.ini\" -o \"" + second + "\" --stub \"" + first + "\"", &output));
    EXPECT_TRUE(Contains(output, "already carries a fix's resources (VERSION/1)")) << output;
    EXPECT_FALSE(fixture::FileExists(second));
}

TEST_F(Builder, MistakesStopTheBuildWithoutAnExecutable)
{
    struct {
        const char* what;
        std::string from, to;
        const char* message;
    } cases[] = {
        {"unknown kind", "Kind=hotfix", "Kind=servicepack", "Kind must be hotfix, fixpack or plain"},
        {"missing tree", "Program=fix\\program", "Program=fix\\nowhere", "cannot read the tree"},
        {"missing licence", "License=license.txt", "License=nolicense.txt", "cannot read"},
        // A label becomes a quoted value and a section name of PATCH.INI.
        {"label with a line break", "HF21|September", "HF21|September\r[HOTFIXES]", "cannot be recorded in PATCH.INI"},
        {"label with a bracket", "HF21|September 21, 2026", "HF21|September 21, 2026]", "cannot be recorded in PATCH.INI"},
        {"label with a quote", "Release 14.5.1FP1|May", "Release 14.5.1FP1|\"May", "cannot be recorded in PATCH.INI"},
        // A file named as a tree would read as an empty tree: every file a whole replacement.
        {"tree that is a file", "Program=base\\program", "Program=base\\program\\tessra.dll", "is not a directory"},
        {"strings library above the program directory", "StringsLibrary=tessra.dll",
         "StringsLibrary=..\\..\\evil.dll", "StringsLibrary"},
        {"strings library elsewhere", "StringsLibrary=tessra.dll", "StringsLibrary=C:\\windows\\evil.dll",
         "StringsLibrary"},
        {"older label naming a drive's directory", "[Base]",
         "[Label001]\r\nLabel=C:\\windows|May 1, 2020\r\nProgram=base\\program\r\n[Base]", "no plain directory name"},
        {"base label naming another directory", "BaseLabel=Release 14.5.1FP1|May 21, 2026",
         "BaseLabel=C:\\VORIN\\HALVEX\\DATA1|May 21, 2026", "no plain directory name"},
    };
    for (const auto& c : cases) {
        std::string description = kDescription;
        description.replace(description.find(c.from), c.from.size(), c.to);
        fixture::WriteFile(dir_ + "\\bad.ini", description);
        std::string output;
        EXPECT_EQ(1, Build("build \"" + dir_ + "\\bad.ini\" -o \"" + dir_ + "\\bad.exe\"", &output)) << c.what;
        EXPECT_TRUE(Contains(output, c.message)) << c.what << ": " << output;
        EXPECT_FALSE(fixture::FileExists(dir_ + "\\bad.exe")) << c.what;
    }
}

}  // namespace
