#include "identify_test.h"

#include "package/checksum.h"
#include "package/fix_format.h"
#include "resources/resource.h"

#include <algorithm>

using fixture::Contains;

const char kBaseLabel[] = "Release 14.5.1FP1|May 21, 2026";
const char kFixLabel[] = "Release 14.5.1FP1 HF21|September 21, 2026";
const char kOlderLabel[] = "Release 14.5.0|January 9, 2026";

std::string IdentifyTest::trees_;

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return (char)toupper(c); });
    return s;
}

static uint32_t Crc(const std::string& bytes)
{
    return zfix::Crc32(bytes.data(), bytes.size());
}

/* Content that a patch can describe more briefly than the whole: the base with a few bytes changed. */
static std::string Changed(std::string s)
{
    for (size_t i = s.size() / 3; i + 8 < s.size(); i += s.size() / 4 + 1)
        s[i] ^= 0x20;
    return s;
}

static std::string Template(int seed)
{
    std::string text;
    for (int i = 0; i < 6000; ++i)
        text += (char)('a' + (i * 7919 + seed) % 26);
    return text;
}

void IdentifyTest::SetUpTestSuite()
{
    // Trees and fixes depend on the stub and the builder: a new build makes new ones.
    std::string key = std::to_string(Crc(fixture::ReadFile(fixture::BinDir() + "\\zfix.exe"))) + "_" +
                      std::to_string(Crc(fixture::ReadFile(fixture::BinDir() + "\\zfixbuild.exe")));
    trees_ = fixture::BinDir() + "\\..\\scratch-identify\\" + key;
    if (fixture::FileExists(trees_ + "\\ready"))
        return;
    CreateDirectoryA((fixture::BinDir() + "\\..\\scratch-identify").c_str(), NULL);
    fixture::RemoveTree(trees_);
    CreateDirectoryA(trees_.c_str(), NULL);
    const std::string product = fixture::BinDir() + "\\..\\product";
    for (const char* tree : {"base", "fix"}) {
        std::string t = trees_ + "\\" + tree;
        CreateDirectoryA(t.c_str(), NULL);
        fixture::CopyTree(product, t + "\\program");
        CreateDirectoryA((t + "\\data").c_str(), NULL);
        CreateDirectoryA((t + "\\data\\templates").c_str(), NULL);
    }
    // The fix: nzorel.dll and tdx.exe patched, a new signature, the release text of the fix in
    // tessra.dll, and two templates of every data directory patched.
    const std::string base = trees_ + "\\base", fix = trees_ + "\\fix";
    fixture::WriteFile(fix + "\\program\\nzorel.dll", Changed(fixture::ReadFile(base + "\\program\\nzorel.dll")));
    fixture::WriteFile(fix + "\\program\\tdx.exe", Changed(fixture::ReadFile(base + "\\program\\tdx.exe")));
    fixture::WriteFile(fix + "\\program\\sig\\nzorel.sf", "signature of the fix");
    fixture::Run("\"" + fixture::BinDir() + "\\UpdateVersion.exe\" \"" + fix + "\\program\" \"" + kFixLabel + "\" write");
    for (int i = 0; i < 2; ++i) {
        const char* name = i == 0 ? "\\data\\templates\\report.tpl" : "\\data\\templates\\other.tpl";
        fixture::WriteFile(base + name, Template(i));
        fixture::WriteFile(fix + name, Changed(Template(i)));
    }
    fixture::WriteFile(trees_ + "\\license.txt", "Sample licence of the fix.\r\nRead it all.\r\n");
    fixture::WriteFile(trees_ + "\\ready", "");
}

std::string IdentifyTest::Fix(const std::string& fixKeys, const std::string& sections, const std::string& kind)
{
    const bool titled = fixKeys.find("Title=") != std::string::npos;
    std::string description = "[Fix]\r\n" +
                              std::string(titled ? "" : "Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21\r\n") +
                              "Kind=" + kind + "\r\n"
                              "BaseLabel=" + std::string(kBaseLabel) + "\r\n"
                              "FixLabel=" + std::string(kFixLabel) + "\r\n"
                              "License=license.txt\r\n" +
                              fixKeys +
                              "[Base]\r\nProgram=base\\program\r\nData=base\\data\r\n"
                              "[Target]\r\nProgram=fix\\program\r\nData=fix\\data\r\n" +
                              sections;
    std::string name = trees_ + "\\fix" + std::to_string(Crc(description));
    if (!fixture::FileExists(name + ".exe")) {
        fixture::WriteFile(name + ".ini", description);
        EXPECT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\zfixbuild.exe\" build \"" + name + ".ini\" -o \"" + name +
                                  ".exe\"")) << description;
    }
    return name + ".exe";
}

static std::string VersionRecord(const std::string& fix)
{
    std::string bytes;
    HMODULE module = LoadLibraryExA(fix.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return bytes;
    HRSRC hRes = FindResourceExA(module, zfix::RESTYPE_VERSION, MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (hRes)
        bytes.assign((const char*)LockResource(LoadResource(module, hRes)), SizeofResource(module, hRes));
    FreeLibrary(module);
    return bytes;
}

std::string IdentifyTest::EditedFix(const std::string& fix, const std::function<void(zfix::FIXRECORD&)>& edit)
{
    std::string bytes = VersionRecord(fix);
    zfix::FIXRECORD record;
    std::string why;
    EXPECT_TRUE(zfix::ReadFixRecord(bytes.data(), bytes.size(), &record, &why)) << why;
    edit(record);
    std::vector<uint8_t> out = zfix::WriteFixRecord(record);
    std::string path = dir_ + "\\edited.exe";
    EXPECT_TRUE(CopyFileA(fix.c_str(), path.c_str(), FALSE));
    HANDLE hUpdate = BeginUpdateResourceA(path.c_str(), FALSE);
    EXPECT_TRUE(hUpdate != NULL);
    EXPECT_TRUE(UpdateResourceA(hUpdate, zfix::RESTYPE_VERSION, MAKEINTRESOURCEA(1), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                out.data(), (DWORD)out.size()));
    EXPECT_TRUE(EndUpdateResourceA(hUpdate, FALSE));
    return path;
}

int IdentifyTest::EntryOf(const std::string& fix, const std::string& name)
{
    std::string bytes = VersionRecord(fix);
    zfix::FIXRECORD record;
    if (!zfix::ReadFixRecord(bytes.data(), bytes.size(), &record))
        return 0;
    for (const zfix::FILELISTRECORD& f : record.files)
        if (name == f.lpFile)
            return (int)f.dwFileEntry;
    return 0;
}

/* The templates of the base or the fix into every data directory of the installation. */
static void InstallTemplates(const std::string& tree, const std::string& root)
{
    for (int i = 1; fixture::FileExists(root + "\\DATA" + std::to_string(i) + "\\ZOREL.INI"); ++i)
        fixture::CopyTree(tree + "\\data\\templates", root + "\\DATA" + std::to_string(i) + "\\templates");
}

std::string IdentifyTest::InstallBase(const std::string& options)
{
    std::string program = fixture::InstallProduct(dir_ + "\\product", options);
    EXPECT_FALSE(program.empty());
    InstallTemplates(trees_ + "\\base", dir_ + "\\product");
    return program;
}

std::string IdentifyTest::InstallFixed(const std::string& options)
{
    std::string program =
        fixture::InstallProduct(dir_ + "\\product", "--files \"" + trees_ + "\\fix\\program\" " + options);
    EXPECT_FALSE(program.empty());
    InstallTemplates(trees_ + "\\fix", dir_ + "\\product");
    return program;
}

void IdentifyTest::SetRelease(const std::string& programDir, const std::string& label)
{
    EXPECT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\UpdateVersion.exe\" \"" + programDir + "\" \"" + label +
                              "\" write"));
}

void ToDirectoryPage(robot::Program& program)
{
    ASSERT_TRUE(program.WaitWindow(ZFIX_DIALOG_CLASS));
    ASSERT_TRUE(program.Click(IDC_ACCEPT));
    ASSERT_TRUE(program.WaitEnabled(IDC_NEXT, true));
    ASSERT_TRUE(program.Click(IDC_NEXT));
    ASSERT_TRUE(program.WaitText(IDC_STATE, "1"));
}

/* Waits until the log holds one of the texts. */
static bool WaitLogAny(const std::vector<std::string>& parts)
{
    for (int i = 0; i < 1500; ++i) {
        std::string log = fixture::TempLog();
        for (const std::string& part : parts)
            if (Contains(log, part))
                return true;
        Sleep(20);
    }
    return false;
}

void WaitIdentified(robot::Program& program)
{
    // Every end of the identification logs one of these after it has filled the page; the
    // revert list is filled right after its labels are logged.
    ASSERT_TRUE(WaitLogAny({"Verified ", "Unable to identify release.", "Unable to verify release.", "gpcanFixLabels["}))
        << fixture::TempLog();
    if (Contains(fixture::TempLog(), "gpcanFixLabels[")) {
        for (int i = 0; i < 500 && !program.Visible(IDC_LABELS); ++i)
            Sleep(20);
    }
}

void CloseAnswering(robot::Program& program)
{
    ASSERT_TRUE(program.Click(IDCANCEL));
    for (int i = 0; i < 300; ++i) {
        if (program.WaitExit(50) != -1)
            return;
        robot::MessageBoxInfo box;
        if (program.WaitMessageBox(&box, 50)) {
            EXPECT_EQ("If you abort now your Zorel installation will be unchanged.  Are you sure you want to abort?", box.text);
            program.Answer(box, IDYES);
        }
    }
    ADD_FAILURE() << "the installer did not end";
}

Identified RunIdentification(const std::string& fix, const std::string& dir,
                             const std::function<void(robot::Program&)>& atPage)
{
    Identified result;
    robot::Program program("\"" + fix + "\"", dir);
    ToDirectoryPage(program);
    EXPECT_TRUE(program.Click(IDC_NEXT));
    WaitIdentified(program);
    result.text = program.Text(IDC_TEXT5);
    result.textShown = program.Visible(IDC_TEXT5);
    if (program.Visible(IDC_LABELS))
        result.labels = program.ListItems(IDC_LABELS);
    result.log = fixture::TempLog();
    if (atPage)
        atPage(program);
    if (program.Running())
        CloseAnswering(program);
    return result;
}

void ExpectLogLines(const std::string& log, const std::vector<std::string>& lines)
{
    std::vector<std::string> logLines = fixture::Lines(log);
    for (std::string& l : logLines)
        l.erase(0, l.find_first_not_of('\t'));
    for (const std::string& line : lines)
        EXPECT_TRUE(std::find(logLines.begin(), logLines.end(), line) != logLines.end()) << "missing: " << line;
}
