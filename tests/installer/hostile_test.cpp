// Fixes, environments and descriptions made by an attacker, or damaged on the way: each ends in a
// clear message and exit code, writes nothing outside the installation or the extraction
// directory, and runs nothing that the fix did not carry.
#include "identify_test.h"
#include "package/fix_record.h"
#include "package/implode.h"
#include "resources/resource.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <string>
#include <vector>

using fixture::Contains;

namespace {

const char kCaption[] = "Incremental Installer";

/* An environment variable of the test process (and so of the programs it starts), set for the
   scope of one case. */
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name)
    {
        char old[4096];
        DWORD n = GetEnvironmentVariableA(name, old, sizeof(old));
        had_ = n > 0 && n < sizeof(old);
        if (had_)
            old_ = old;
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : NULL); }

private:
    std::string name_, old_;
    bool had_ = false;
};

/* A value of the product's registry keys (64-bit view). */
void SetProductValue(const std::string& key, const char* name, const std::string& value)
{
    HKEY hKey = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &hKey))
        << key;
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(hKey, name, 0, REG_SZ, (const BYTE*)value.c_str(), (DWORD)value.size() + 1));
    RegCloseKey(hKey);
}

/* The partition subkeys of the product key. */
std::vector<std::string> Partitions(const std::string& key)
{
    std::vector<std::string> names;
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, &hKey) != ERROR_SUCCESS)
        return names;
    char name[256];
    for (DWORD i = 0;; ++i) {
        DWORD n = sizeof(name);
        if (RegEnumKeyExA(hKey, i, name, &n, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        if (std::string(name) != "5.0")
            names.push_back(name);
    }
    RegCloseKey(hKey);
    return names;
}

const char kProductKey[] = "Software\\QVT\\Halvex";

/* A folder path of exactly length characters below base (made of folders of at most 200). */
std::string LongDir(const std::string& base, size_t length)
{
    std::string path = base;
    CreateDirectoryA(path.c_str(), NULL);
    while (path.size() < length) {
        size_t room = length - path.size() - 1;
        size_t k = room > 200 ? 200 : room;
        if (room - k == 1)
            --k;
        path += "\\" + std::string(k, 'd');
        CreateDirectoryA(path.c_str(), NULL);
    }
    return path;
}

/* Makes a folder and the folders above it. */
void MakeDirs(const std::string& path)
{
    for (size_t i = path.find('\\', 3); i != std::string::npos; i = path.find('\\', i + 1))
        CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    CreateDirectoryA(path.c_str(), NULL);
}

/* The names in a folder. */
std::vector<std::string> Names(const std::string& dir)
{
    std::vector<std::string> names;
    fixture::ForEachEntry(dir, [&](const std::string& name, bool) { names.push_back(name); });
    return names;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

/* Answers every message box until the program ends; the boxes' texts and the exit code. */
int AnswerAllBoxes(robot::Program& program, std::vector<std::string>* texts)
{
    robot::MessageBoxInfo box;
    while (program.WaitMessageBox(&box, 5000)) {
        texts->push_back(box.text);
        program.Answer(box, IDOK);
    }
    return program.WaitExit();
}

/* The names of every file below a folder, relative to it. */
std::vector<std::string> NamesBelow(const std::string& dir, const std::string& prefix = std::string())
{
    std::vector<std::string> names;
    fixture::ForEachEntry(dir, [&](const std::string& name, bool isDir) {
        if (isDir) {
            for (const std::string& n : NamesBelow(dir + "\\" + name, prefix + name + "\\"))
                names.push_back(n);
        } else {
            names.push_back(prefix + name);
        }
    });
    return names;
}

class Hostile : public IdentifyTest {};

// Labels and names that would write outside the product during identification.
TEST_F(Hostile, LabelsAndNamesThatLeaveTheProductAreRefused)
{
    static const std::string outside = "sig/../../../outside.dll";
    struct Case {
        const char* what;
        std::function<void(zfix::FIXRECORD&)> edit;
        std::string message;
        std::string outsideDir;  // a folder outside the product that the label names
    } const cases[] = {
        {"older label naming a drive's directory",
         [](zfix::FIXRECORD& r) { zfix::MakeLabelField("C:\\hostile_label|May 1, 2020", r.checksums.back().canLabel); },
         "the label \"C:\\hostile_label|May 1, 2020\" names no plain backup directory.", "C:\\hostile_label"},
        {"base label naming another directory",
         [](zfix::FIXRECORD& r) { zfix::MakeLabelField("C:\\hostile_base|May 21, 2026", r.header.canOldLabel); },
         "the label \"C:\\hostile_base|May 21, 2026\" names no plain backup directory.", "C:\\hostile_base"},
        {"label that is a step up", [](zfix::FIXRECORD& r) { zfix::MakeLabelField("..|May 1, 2020", r.checksums.back().canLabel); },
         "the label \"..|May 1, 2020\" names no plain backup directory.", ""},
        {"checksum-table name leaving the product",
         [](zfix::FIXRECORD& r) {
             r.checksums.back().lpFile = outside.c_str();
             r.checksums.back().dwChecksum = (uint32_t)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)"planted", 7);
         },
         "the file name \"" + outside + "\" is not a plain name inside its directory.", ""},
        {"file-list name leaving the product", [](zfix::FIXRECORD& r) { r.files.back().lpFile = outside.c_str(); },
         "the file name \"" + outside + "\" is not a plain name inside its directory.", ""},
    };
    std::string base = Fix("", "[Label001]\r\nLabel=" + std::string(kOlderLabel) + "\r\nProgram=base\\program\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string fix = EditedFix(base, c.edit);
        std::string program = InstallBase();
        // The older label's backup directory is there: identification would look for copies.
        CreateDirectoryA((program + "\\Release1450").c_str(), NULL);
        if (!c.outsideDir.empty()) {
            ASSERT_TRUE(CreateDirectoryA(c.outsideDir.c_str(), NULL) || GetLastError() == ERROR_ALREADY_EXISTS);
        }
        ASSERT_TRUE(fixture::WriteFile(dir_ + "\\outside.dll", "planted"));
        {
            robot::Program run(Quoted(fix) + " nouser", dir_);
            EXPECT_EQ(1, run.WaitExit());
            EXPECT_TRUE(Contains(fixture::TempLog(), "\nThis fix is damaged: " + c.message + "\r\n")) << fixture::TempLog();
        }
        {
            robot::Program run(Quoted(fix) + " contents", dir_);
            robot::MessageBoxInfo box = AnswerNextBox(run, IDOK);
            EXPECT_EQ("This fix is damaged: " + c.message, box.text);
            EXPECT_EQ(kCaption, box.caption);
            EXPECT_EQ("error", box.icon);
            EXPECT_EQ(1, run.WaitExit());
        }
        if (!c.outsideDir.empty()) {
            EXPECT_TRUE(Names(c.outsideDir).empty());
            RemoveDirectoryA(c.outsideDir.c_str());
        }
        // No backup copy was made, of a product file or of the planted one.
        for (const std::string& name : NamesBelow(program))
            EXPECT_EQ(std::string::npos, name.find(".IIB")) << name;
        fixture::RemoveProduct();
    }
}

// The release-string tool runs from its own path, whatever blanks the temporary directory holds.
TEST_F(Hostile, TheCarriedToolIsTheProgramStarted)
{
    const struct {
        const char* temp;
        const char* planted;
    } cases[] = {{"x\\my temp", "x\\my.exe"}, {"y\\Program Files\\tmp", "y\\Program.exe"}};
    std::string fix = Package();
    std::string program = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(program.empty());
    ASSERT_TRUE(fixture::WriteFile(program + "\\PATCH.INI", ""));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.temp);
        std::string temp = dir_ + "\\" + c.temp, planted = dir_ + "\\" + c.planted;
        MakeDirs(temp);
        ASSERT_TRUE(CopyFileA((fixture::BinDir() + "\\zplant.exe").c_str(), planted.c_str(), FALSE));
        DeleteFileA((program + "\\currver.txt").c_str());
        ScopedEnv env("TEMP", temp);
        robot::Program run(fix + " fixdetails", dir_);
        std::vector<std::string> texts;
        EXPECT_EQ(0, AnswerAllBoxes(run, &texts));
        EXPECT_FALSE(fixture::FileExists(planted + ".ran")) << fixture::ReadFile(planted + ".ran");
        EXPECT_EQ("Release 14.5.1FP1|May 21, 2026", fixture::ReadFile(program + "\\currver.txt"));
        EXPECT_TRUE(Contains(fixture::TempLog(), "LoadCurrentZorelVersion64: Calling CreateProcess with " + temp +
                                                     "\\UpdateVersion.exe \"" + Upper(program) + "\" myversion read \r\n"))
            << fixture::TempLog();
    }
}

// A carried tool that cannot be written whole into TEMP is never run: what stands there is not it.
TEST_F(Hostile, ACarriedToolThatCannotBeWrittenStopsTheRun)
{
    struct Case {
        const char* what;
        const char* tool;
        bool folder;  // a folder stands at the tool's name; else a program held without write sharing
    } const cases[] = {
        {"program held at the release-string tool's name", "UpdateVersion.exe", false},
        {"folder at the release-string tool's name", "UpdateVersion.exe", true},
        {"program held at the archiver's name", "cabarc.exe", false},
    };
    std::string fix = Package();
    std::string program = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(program.empty());
    ASSERT_TRUE(fixture::WriteFile(program + "\\PATCH.INI", ""));
    std::string temp = dir_ + "\\temp";
    CreateDirectoryA(temp.c_str(), NULL);
    ScopedEnv env("TEMP", temp);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string planted = temp + "\\" + c.tool, stop = dir_ + "\\stop";
        DeleteFileA(stop.c_str());
        std::unique_ptr<robot::Program> holder;
        if (c.folder) {
            ASSERT_TRUE(CreateDirectoryA(planted.c_str(), NULL));
        } else {
            ASSERT_TRUE(CopyFileA((fixture::BinDir() + "\\zplant.exe").c_str(), planted.c_str(), FALSE));
            holder.reset(new robot::Program(Quoted(fixture::BinDir() + "\\zhold.exe") + " " + Quoted(planted) + " read " +
                                            Quoted(stop)));
            ASSERT_TRUE(fixture::WaitFileHeld(planted));
        }
        const std::string message = "Cannot write " + planted + " whole: the run stops.";
        {
            robot::Program run(fix + " nouser", dir_);
            EXPECT_EQ(1, run.WaitExit());
            EXPECT_TRUE(Contains(fixture::TempLog(), "\n" + message + "\r\n")) << fixture::TempLog();
        }
        {
            robot::Program run(fix, dir_);
            std::vector<std::string> texts;
            EXPECT_EQ(1, AnswerAllBoxes(run, &texts));
            ASSERT_EQ(1u, texts.size());
            EXPECT_EQ(message, texts[0]);
        }
        EXPECT_FALSE(fixture::FileExists(planted + ".ran"));
        EXPECT_FALSE(Contains(fixture::TempLog(), "Calling CreateProcess"));
        if (holder) {
            fixture::WriteFile(stop, "stop");
            holder->WaitExit();
            DeleteFileA(planted.c_str());
        } else {
            RemoveDirectoryA(planted.c_str());
        }
    }
}

// Device names, in any directory part, with or without an extension.
TEST_F(Hostile, DeviceNamesAreRefused)
{
    const struct {
        const char* name;
        uint32_t operation;
    } cases[] = {{"aux.txt", 1}, {"NUL", 2}, {"sig\\CON", 2}, {"COM1", 2}, {"lpt1.log", 2}, {"data\\prn\\report.tpl", 2}};
    std::string program = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(program.empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fixture::PackageOptions options;
        options.files = {{"first.txt", 2, 1, "first", ""}, {c.name, c.operation, 1, "device payload", "installed"}};
        std::string fix = Package(options);
        const std::string message =
            std::string("This fix is damaged: the file name \"") + c.name + "\" is not a plain name inside its directory.";
        {
            // Verification would open the device and wait for it for ever.
            robot::Program run(fix + " nouser", dir_);
            EXPECT_EQ(1, run.WaitExit());
            EXPECT_TRUE(Contains(fixture::TempLog(), "\n" + message + "\r\n")) << fixture::TempLog();
        }
        std::string out = fixture::CommandLineDir("DeviceOut");
        robot::Program run(fix + " extract " + out, dir_);
        robot::MessageBoxInfo box = AnswerNextBox(run, IDOK);
        EXPECT_EQ(message, box.text);
        EXPECT_EQ(1, run.WaitExit());
        int written = 0;
        fixture::ForEachEntry(out, [&](const std::string&, bool) { ++written; });
        EXPECT_EQ(0, written);
    }
}

/* The compressed form of content with its stated size replaced. */
std::string WithStatedSize(std::string resource, uint32_t size)
{
    memcpy(&resource[0], &size, 4);
    return resource;
}

std::string Cut(const std::string& resource, size_t keep) { return resource.substr(0, keep); }

std::string LongText(size_t n)
{
    std::string text;
    for (size_t i = 0; text.size() < n; ++i)
        text += "Line " + std::to_string(i * 7919 % 10007) + " of the licence.\r\n";
    return text;
}

// Payloads that do not unpack to exactly their stated size.
TEST_F(Hostile, DamagedPayloadsAreRefused)
{
    const std::string licence = fixture::Compressed(LongText(20000));
    const std::string tool = fixture::Compressed(fixture::ReadFile(fixture::BinDir() + "\\UpdateVersion.exe"));
    const std::string cab = fixture::Compressed(fixture::ReadFile(fixture::BinDir() + "\\cabarc.exe"));
    const std::string tiny = WithStatedSize(fixture::Compressed(std::string(30, 'z')), 256u << 20);
    struct Case {
        const char* what;
        const char* type;
        std::string bytes;
        const char* name;
    } const cases[] = {
        {"licence cut short", "LICENSEENTRY", Cut(licence, licence.size() - 10), "license.txt"},
        {"licence stating 256 MB", "LICENSEENTRY", tiny, "license.txt"},
        {"release-string tool cut short", "UPDATE64ENTRY", Cut(tool, tool.size() / 2 + 4), "UpdateVersion.exe"},
        {"release-string tool stating more", "UPDATE64ENTRY", WithStatedSize(tool, (uint32_t)tool.size() * 2), "UpdateVersion.exe"},
        {"archiver stating more than it holds", "UPDATECABENTRY",
         WithStatedSize(cab, (uint32_t)fixture::ReadFile(fixture::BinDir() + "\\cabarc.exe").size() + 100), "cabarc.exe"},
    };
    std::string program = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(program.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::PackageOptions options;
        options.licenseText = LongText(20000);
        options.raw = {{c.type, 1, c.bytes}};
        std::string fix = Package(options);
        const std::string message = std::string("This fix is damaged: ") + c.name + " does not unpack to its stated size.";
        DeleteFileA((fixture::TempDir() + "\\" + c.name).c_str());
        {
            robot::Program run(fix + " nouser", dir_);
            EXPECT_EQ(1, run.WaitExit(20000));
            EXPECT_TRUE(Contains(fixture::TempLog(), "\n" + message + "\r\n")) << fixture::TempLog();
        }
        {
            robot::Program run(fix, dir_);
            robot::MessageBoxInfo box = AnswerNextBox(run, IDOK);
            EXPECT_EQ(message, box.text);
            EXPECT_EQ("error", box.icon);
            EXPECT_EQ(1, run.WaitExit());
        }
        EXPECT_FALSE(fixture::FileExists(fixture::TempDir() + "\\" + c.name));
        EXPECT_FALSE(fixture::FileExists(dir_ + "\\" + c.name));
        EXPECT_FALSE(Contains(fixture::TempLog(), "Calling CreateProcess"));
    }

    // The fix's files, extracted: the sound one is written, the damaged one is not.
    const struct {
        const char* what;
        std::string update;
    } files[] = {
        {"30 bytes stating 256 MB", tiny},
        {"stream cut short", Cut(fixture::Compressed(LongText(30000)), fixture::Compressed(LongText(30000)).size() - 6)},
        {"stream ending before its stated size", WithStatedSize(fixture::Compressed(LongText(30000)), 30100)},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.what);
        fixture::PackageOptions options;
        options.files = {{"sound.txt", 2, 1, "sound", ""}, {"damaged.txt", 2, 1, LongText(30000), ""}};
        options.raw = {{"UPDATE", 2, f.update}};
        std::string fix = Package(options);
        std::string out = fixture::CommandLineDir("PayloadOut");
        robot::Program run(fix + " extract " + out, dir_);
        robot::MessageBoxInfo box = AnswerNextBox(run, IDOK);
        EXPECT_EQ("This fix is damaged: the file damaged.txt does not unpack to its stated size.", box.text);
        EXPECT_EQ(1, run.WaitExit());
        EXPECT_EQ("sound", fixture::ReadFile(out + "\\sound.txt"));
        EXPECT_FALSE(fixture::FileExists(out + "\\damaged.txt"));
    }
}

// The disk space a fix needs is summed without wrapping.
TEST_F(Hostile, DiskSpaceIsSummedWithoutWrapping)
{
    const struct {
        uint32_t program, data;
        const char* options;
        const char* needed;
    } cases[] = {
        {0xFFFFFF00u, 0x200u, "", "4294967552"},
        {0x80000000u, 0x80000000u, "--partitions 2", "6442450944"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.needed);
        std::string fix = EditedFix(Fix(""), [&](zfix::FIXRECORD& record) {
            record.header.dwProgramSpace = c.program;
            record.header.dwDataDirSpace = c.data;
        });
        std::string program = Upper(InstallBase(c.options));
        {
            Identified result = RunIdentification(fix, dir_);
            const std::string start = "There is insufficent disk space available on " + program + ".  You need " + c.needed +
                                      " Kbytes, but have only ";
            EXPECT_EQ(start, result.text.substr(0, start.size())) << result.text;
            EXPECT_TRUE(Contains(result.log, std::string("dwNeededSpace = ") + c.needed + "\r\n")) << result.log;
        }
        robot::Program run(Quoted(fix) + " nouser", dir_);
        EXPECT_EQ(1, run.WaitExit());
        fixture::RemoveProduct();
    }
}

/* A description record of the package's labels with its bytes changed by edit. */
std::string DescriptionBytes(const std::function<void(zfix::FIXRECORD&, std::vector<uint8_t>&)>& edit)
{
    zfix::FIXRECORD record = {};
    zfix::MakeLabelField("Release 14.5.1FP1|May 21, 2026", record.header.canOldLabel);
    zfix::MakeLabelField("Release 14.5.1FP1 HF21|September 21, 2026", record.header.canNewLabel);
    record.header.dwUpgradeType = 1;
    zfix::CHECKSUMRECORD sum = {};
    zfix::MakeLabelField("Release 14.5.1FP1|May 21, 2026", sum.canLabel);
    sum.lpFile = "nzorel.dll";
    record.checksums = {sum, sum};
    zfix::FILELISTRECORD file = {};
    file.dwOperation = 2;
    file.dwDir = 1;
    file.dwFileEntry = 1;
    file.lpFile = "nzorel.dll";
    record.files = {file};
    record.header.dwFileEntries = record.header.dwListedFiles = 1;
    std::vector<uint8_t> bytes;
    edit(record, bytes);
    if (bytes.empty())
        bytes = zfix::WriteFixRecord(record);
    return std::string(bytes.begin(), bytes.end());
}

// A corrupt description is a damaged fix, not an empty one.
TEST_F(Hostile, ACorruptDescriptionIsADamagedFix)
{
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"shorter than its header", std::string(100, 'x')},
        {"checksum table cut short", DescriptionBytes([](zfix::FIXRECORD& r, std::vector<uint8_t>& b) {
             b = zfix::WriteFixRecord(r);
             b.resize(zfix::FIXHEADER_SIZE + zfix::CHECKSUM_HEAD_SIZE + 4);
         })},
        {"file list longer than the record", DescriptionBytes([](zfix::FIXRECORD& r, std::vector<uint8_t>&) {
             r.header.dwListedFiles = 5;
         })},
        {"checksum table beyond its limit", DescriptionBytes([](zfix::FIXRECORD& r, std::vector<uint8_t>& b) {
             b = zfix::WriteFixRecord(r);
             uint32_t n = 10001;
             memcpy(&b[2 * zfix::LABEL_SIZE + 4], &n, 4);
         })},
        // The entry table has a slot per entry number: 0xFFFFFFFF + 1 slots wrap to none.
        {"file-entry count that wraps the entry table",
         DescriptionBytes([](zfix::FIXRECORD& r, std::vector<uint8_t>&) { r.header.dwFileEntries = 0xFFFFFFFF; })},
        {"file-entry count that exhausts memory",
         DescriptionBytes([](zfix::FIXRECORD& r, std::vector<uint8_t>&) { r.header.dwFileEntries = 0x40000000; })},
        {"file-entry count one beyond the limit",
         DescriptionBytes([](zfix::FIXRECORD& r, std::vector<uint8_t>&) { r.header.dwFileEntries = 10000; })},
        // A '"' in a label would end its quoted word on the release-string tool's command line.
        {"fix label with a quote in its date", DescriptionBytes([](zfix::FIXRECORD& r, std::vector<uint8_t>&) {
             zfix::MakeLabelField("Release 14.5.1FP1 HF21|Sep 21\" \"C:\\hostile\" \"x", r.header.canNewLabel);
         })},
        {"older label with a quote", DescriptionBytes([](zfix::FIXRECORD& r, std::vector<uint8_t>&) {
             zfix::MakeLabelField("Release 14.5.0\"|May 1, 2020", r.checksums.back().canLabel);
         })},
    };
    const std::string message = "This fix is damaged: its description is corrupt.";
    std::string program = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(program.empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::PackageOptions options;
        options.files = {{"nzorel.dll", 2, 1, "new network library", "old"}};
        options.raw = {{"VERSION", 1, c.bytes}};
        std::string fix = Package(options);
        {
            robot::Program run(fix + " contents", dir_);
            robot::MessageBoxInfo box = AnswerNextBox(run, IDOK);
            EXPECT_EQ(message, box.text);
            EXPECT_EQ(kCaption, box.caption);
            EXPECT_EQ(1, run.WaitExit());
        }
        {
            std::string out = fixture::CommandLineDir("CorruptOut");
            robot::Program run(fix + " extract " + out, dir_);
            robot::MessageBoxInfo box = AnswerNextBox(run, IDOK);
            EXPECT_EQ(message, box.text);
            EXPECT_EQ(1, run.WaitExit());
            EXPECT_FALSE(fixture::FileExists(out + "\\nzorel.dll"));
        }
        {
            robot::Program run(fix + " nouser", dir_);
            EXPECT_EQ(1, run.WaitExit());
            std::string log = fixture::TempLog();
            EXPECT_TRUE(Contains(log, "\n" + message + "\r\n")) << log;
            EXPECT_TRUE(Contains(log, "ERROR: the fix description is corrupt: ")) << log;
            EXPECT_FALSE(Contains(log, "Installer found the incorrect version")) << log;
        }
    }
}

// A path that does not fit its buffer is an error, never a shorter path.
TEST_F(Hostile, PathsThatDoNotFitAreErrors)
{
    std::string fix = Package();
    std::string program = fixture::InstallProduct(dir_ + "\\product");
    ASSERT_FALSE(program.empty());
    std::string longProgram = LongDir(dir_ + "\\p", 249);
    std::string longTemp = LongDir(dir_ + "\\t", 246);
    struct Case {
        const char* what;
        std::string programPath, temp;
        std::string message;
    } const cases[] = {
        {"program directory of 249 characters", longProgram, "", "The path of the licence copy in the program directory is too long."},
        {"temporary directory of 246 characters", "", longTemp,
         "The path of UpdateVersion.exe in the temporary directory is too long."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (!c.programPath.empty())
            SetProductValue(kProductKey, "Path", c.programPath);
        ScopedEnv env("TEMP", c.temp.empty() ? fixture::TempDir() : c.temp);
        {
            robot::Program run(fix + " nouser", dir_);
            EXPECT_EQ(1, run.WaitExit());
            EXPECT_TRUE(Contains(fixture::TempLog(), "\n" + c.message + "\r\n")) << fixture::TempLog();
        }
        {
            robot::Program run(fix, dir_);
            std::vector<std::string> texts;
            EXPECT_EQ(1, AnswerAllBoxes(run, &texts));
            ASSERT_FALSE(texts.empty());
            EXPECT_EQ(c.message, texts.back());
        }
        // Nothing was written under a shorter name ("...\\hotfix\\licen", "...\\UpdateVersio").
        if (!c.programPath.empty()) {
            EXPECT_TRUE(Names(c.programPath).empty());
        }
        if (!c.temp.empty()) {
            EXPECT_EQ(std::vector<std::string>{"UPGRADE.LOG"}, Names(c.temp));
        }
        SetProductValue(kProductKey, "Path", program);
    }

    // A data directory in ZOREL.INI longer than its buffer.
    fixture::RemoveProduct();
    ASSERT_FALSE(fixture::InstallProduct(dir_ + "\\product", "--only-50 --windows-ini").empty());
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof(windows));
    const std::string ini = std::string(windows) + "\\ZOREL.INI";
    ASSERT_TRUE(fixture::WriteFile(ini, "[Zorel]\r\nDirectory=" + LongDir(dir_ + "\\i", 240) + "\\" + std::string(100, 'x') + "\r\n"));
    {
        robot::Program run(fix, dir_);
        std::vector<std::string> texts;
        EXPECT_EQ(1, AnswerAllBoxes(run, &texts));
        ASSERT_FALSE(texts.empty());
        const std::string& text = texts.back();
        EXPECT_EQ(0u, text.find("The data directory in ")) << text;
        EXPECT_TRUE(Contains(Upper(text), "ZOREL.INI IS TOO LONG.")) << text;
    }
    DeleteFileA(ini.c_str());
}

// A bare drive is the drive's root, not its current directory.
TEST_F(Hostile, ABareDriveIsItsRoot)
{
    fixture::PackageOptions options;
    options.files = {{"hostile_drive_root.txt", 2, 1, "at the root", ""}};
    std::string fix = Package(options);
    std::string cwd = fixture::CommandLineDir("DriveCwd");
    ASSERT_EQ('C', toupper(cwd[0])) << cwd;
    DeleteFileA("C:\\hostile_drive_root.txt");
    {
        robot::Program run(fix + " extract C:", cwd);
        EXPECT_EQ(0, run.WaitExit());
    }
    EXPECT_EQ("at the root", fixture::ReadFile("C:\\hostile_drive_root.txt"));
    EXPECT_FALSE(fixture::FileExists(cwd + "\\hostile_drive_root.txt"));
    DeleteFileA("C:\\hostile_drive_root.txt");

    // A program directory "C:\" stays the root.
    const struct {
        const char* path;
        const char* shown;
    } cases[] = {{"C:\\", "C:\\"}, {"c:\\", "C:\\"}};
    std::string plain = Package();
    ASSERT_FALSE(fixture::InstallProduct(dir_ + "\\product").empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        SetProductValue(kProductKey, "Path", c.path);
        robot::Program run(plain, dir_);
        // C:\ holds no release-strings library: the two boxes that say so come first.
        AnswerNextBox(run, IDOK);
        AnswerNextBox(run, IDOK);
        ASSERT_TRUE(run.WaitWindow(ZFIX_DIALOG_CLASS));
        ASSERT_TRUE(run.Click(IDC_ACCEPT));
        ASSERT_TRUE(run.WaitEnabled(IDC_NEXT, true));
        ASSERT_TRUE(run.Click(IDC_NEXT));
        ASSERT_TRUE(run.WaitText(IDC_STATE, "1"));
        EXPECT_EQ(c.shown, run.Text(IDC_PROGDIR));
        CloseWizard(run);
    }
}

// An empty data directory value is a missing one: the fallbacks for a missing one apply.
TEST_F(Hostile, EmptyDataDirectoriesAreMissing)
{
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof(windows));
    const std::string ini = std::string(windows) + "\\ZOREL.INI";
    struct Case {
        const char* what;
        const char* options;
        bool emptyDataPath;
        bool emptyIniDirectory;
        const char* logLine;
        bool endsRun;
    } const cases[] = {
        // No partition left and no ZOREL.INI: no data directory at all.
        {"empty DataPath", "", true, false, "Halvex Data Directory is incorrect", true},
        {"empty DataPath of both partitions", "--partitions 2", true, false, "Halvex Data Directory is incorrect", true},
        // ZOREL.INI found on the PATH without a value: its default, as for a missing key.
        {"empty Directory in ZOREL.INI", "--only-50 --windows-ini", false, true, "\tFindZorelData: Looking at [DEFAULT]",
         false},
    };
    std::string fix = Package();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(fixture::InstallProduct(dir_ + "\\product", c.options).empty());
        if (c.emptyDataPath)
            for (const std::string& partition : Partitions(kProductKey))
                SetProductValue(std::string(kProductKey) + "\\" + partition, "DataPath", "");
        if (c.emptyIniDirectory) {
            ASSERT_TRUE(fixture::WriteFile(ini, "[Zorel]\r\nDirectory=\r\n"));
        }
        std::string log;
        if (c.endsRun) {
            robot::Program run(fix + " nouser", dir_);
            EXPECT_EQ(1, run.WaitExit());
            log = fixture::TempLog();
        } else {
            robot::Program run(fix, dir_);
            EXPECT_TRUE(run.WaitWindow(ZFIX_DIALOG_CLASS));
            log = fixture::TempLog();
            CloseWizard(run);
        }
        EXPECT_TRUE(Contains(log, std::string("\n") + c.logLine + "\r\n")) << log;
        EXPECT_FALSE(Contains(log, "FindZorelData: Found 'DataPath' []")) << log;
        EXPECT_FALSE(Contains(log, "FindZorelData: Looking at []")) << log;
        fixture::RemoveProduct();
        DeleteFileA(ini.c_str());
    }
}

// Before the string table is loaded, a caption and a message are two texts, not one.
TEST_F(Hostile, TextsBeforeTheStringTableAreEachTheirOwn)
{
    // Temporary directories where the log cannot be opened: below a file, or too long for its path.
    ASSERT_TRUE(fixture::WriteFile(dir_ + "\\file.txt", "in the way"));
    const std::string temps[] = {dir_ + "\\file.txt\\temp", LongDir(dir_ + "\\l", 255)};
    std::string fix = Package();
    for (const std::string& temp : temps) {
        SCOPED_TRACE(temp);
        ScopedEnv env("TEMP", temp);
        robot::Program run(fix, dir_);
        robot::MessageBoxInfo box = AnswerNextBox(run, IDOK);
        EXPECT_EQ(kCaption, box.caption);
        EXPECT_EQ("Unable to open log file UPGRADE.LOG. Exiting.", box.text);
        EXPECT_EQ(1, run.WaitExit());
    }
    EXPECT_TRUE(Names(temps[1]).empty());
}

}  // namespace
