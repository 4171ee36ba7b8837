// Hostile packages through the whole upgrade and revert: copies of a hotfix built by zfixbuild with
// one lie each (a patch record, an operation, a payload, a size, an entry name, the description,
// a zip member, a PATCH.INI value) run by the real zfix.exe on a fresh sample installation, first
// as an upgrade of the base release and then as the revert of the sound fix. Each run ends within
// its time limit with the message of the row, writes nothing outside the installation (a canary
// folder beside it stays as it is), and leaves every installed file as it was: a failed upgrade
// leaves the base release, a failed revert the fix, and the sound fix's revert then brings the
// base release back byte for byte. Each row prints its outcomes ("HOSTILE | row | upgrade |
// revert").
#include "hostile_support.h"

#include "package/implode.h"
#include "package/file_entry.h"
#include "zip_writer.h"

#include <algorithm>
#include <iostream>
#include <zlib.h>
#include <string.h>

using fixture::Contains;
using fixture::ReadFile;

namespace {

typedef std::map<std::pair<std::string, int>, std::string> Resources;

/* The sound hotfix: its path and its files by entry name. */
struct SoundFix {
    std::string path;
    std::map<std::string, FixFile> files;

    int Entry(const std::string& name) const
    {
        auto f = files.find(name);
        EXPECT_TRUE(f != files.end()) << name;
        return f == files.end() ? 0 : (int)f->second.entry;
    }
    /* FILEENTRY of a file, rewritten by edit. */
    std::pair<std::pair<std::string, int>, std::string> EditedEntry(
        const std::string& file, const std::function<void(std::string&, zfix::FILEENTRY&)>& edit) const
    {
        int n = Entry(file);
        std::string bytes = ResourceOf(path, "FILEENTRY", n);
        char name[zfix::MAX_ENTRY_NAME + 1] = "";
        zfix::FILEENTRY fe = zfix::FILEENTRY();
        EXPECT_TRUE(zfix::ReadFileEntry(bytes.data(), bytes.size(), name, sizeof(name), &fe));
        std::string newName = name;
        edit(newName, fe);
        std::vector<uint8_t> out = zfix::WriteFileEntry(newName.c_str(), fe);
        return {{"FILEENTRY", n}, std::string(out.begin(), out.end())};
    }
    /* The description, rewritten by edit. */
    std::pair<std::pair<std::string, int>, std::string> EditedRecord(const std::function<void(zfix::FIXRECORD&)>& edit) const
    {
        std::string bytes = ResourceOf(path, "VERSION", 1);
        zfix::FIXRECORD record;
        EXPECT_TRUE(zfix::ReadFixRecord(bytes.data(), bytes.size(), &record));
        edit(record);
        std::vector<uint8_t> out = zfix::WriteFixRecord(record);
        return {{"VERSION", 1}, std::string(out.begin(), out.end())};
    }
    /* UPDATE/n of a file given as its compressed resource bytes. */
    std::pair<std::pair<std::string, int>, std::string> Payload(const std::string& file, const std::string& resource) const
    {
        return {{"UPDATE", Entry(file)}, resource};
    }
};

std::string Compressed(const std::string& content) { return fixture::Compressed(content); }

std::string Le32(uint32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = (char)(v >> (8 * i));
    return s;
}

/* A patch record header (reserved, old offset, new offset, old length, new length). */
std::string PatchHeader(uint32_t oldOffset, uint32_t newOffset, uint32_t oldLength, uint32_t newLength)
{
    return Le32(0) + Le32(oldOffset) + Le32(newOffset) + Le32(oldLength) + Le32(newLength);
}

/* Names every occurrence of a file in the description and its entry name anew. */
Resources Renamed(const SoundFix& fix, const std::string& from, const std::string& to)
{
    static std::vector<std::unique_ptr<std::string>> names;  // the record points into them
    names.emplace_back(new std::string(to));
    const char* kept = names.back()->c_str();
    Resources r;
    r.insert(fix.EditedRecord([&](zfix::FIXRECORD& record) {
        for (zfix::FILELISTRECORD& f : record.files)
            if (from == f.lpFile) {
                f.lpFile = kept;
                f.dwNameLength = (uint32_t)to.size();
            }
        for (zfix::CHECKSUMRECORD& c : record.checksums)
            if (from == c.lpFile)
                c.lpFile = kept;
    }));
    r.insert(fix.EditedEntry(from, [&](std::string& name, zfix::FILEENTRY&) { name = to; }));
    return r;
}

/* The outcome a row expects of a run: a text that its log or a box holds. */
bool Says(const RunOutcome& o, const std::string& text)
{
    if (Contains(o.log, text))
        return true;
    for (const std::string& b : o.boxes)
        if (Contains(b, text))
            return true;
    return false;
}

struct HostileCase {
    const char* what;
    std::function<Resources(const SoundFix&, const std::string& canary)> make;
    std::string upgradeSays;                 /* the upgrade fails with this text */
    bool revertCompletes;                    /* the lie does not reach the revert: it goes back to the base */
    std::string revertSays;                  /* else the revert fails with this text */
    bool refusedAtStart = false;             /* exit code 1 before any page: the fix is damaged */
};

/* Every value of a numbered key ("File001", "BackupName001", ...) of PATCH.INI replaced. */
std::string WithValues(const std::string& ini, const std::string& key, const std::string& value)
{
    std::string out;
    for (const std::string& line : fixture::Lines(ini)) {
        size_t eq = line.find('=');
        bool numbered = eq != std::string::npos && eq > key.size() && line.compare(0, key.size(), key) == 0 &&
                        line.find_first_not_of("0123456789", key.size()) == eq;
        out += (numbered ? line.substr(0, eq + 1) + value : line) + "\r\n";
    }
    return out;
}

/* content followed by four bytes that make its checksum 0, the checksum of an empty file. */
std::string SummingTo0(const std::string& content)
{
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    // The register must end as 0xFFFFFFFF (the checksum is its complement). Each step XORs in the
    // entry chosen by the register's top byte: going back from the end gives the four entries.
    uint32_t reg = 0xFFFFFFFFu, entries[4];
    for (int step = 3; step >= 0; --step) {
        uint32_t j = 0;
        while ((table[j] >> 24) != (reg >> 24))
            ++j;
        entries[step] = j;
        reg = (reg ^ table[j]) << 8;
    }
    std::string out = content;
    reg = (uint32_t)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)content.data(), (uInt)content.size()) ^ 0xFFFFFFFFu;
    for (uint32_t j : entries) {
        out += (char)((reg ^ j) & 0xFF);
        reg = (reg >> 8) ^ table[j];
    }
    return out;
}

const char kVictim[] = "victim.txt";
const char kSig[] = "sig\\nzorel.sf";       /* an installed file that the fix replaces */
const char kPatched[] = "nzorel.dll";       /* an installed file that the fix patches */
const char kAdded[] = "sig\\hf21.sf";       /* a file the fix adds */
const std::string kNotPlain = "\" is not a plain name inside its directory.";
const std::string kDamagedPayload = "is damaged: it ends early or reaches beyond";

std::vector<HostileCase> Cases()
{
    std::vector<HostileCase> cases;
    // Patch streams that lie.
    cases.push_back({"patch record copying past the output size",
                     [](const SoundFix& f, const std::string&) {
                         uint32_t size = (uint32_t)ReadFile(fixture::BinDir() + "\\..\\product\\nzorel.dll").size();
                         return Resources{f.Payload(kPatched, Compressed(PatchHeader(size + 4096, size + 4096, 4, 4) + "abcd"))};
                     },
                     std::string("UpgradeFile: ERROR: the payload of nzorel.dll ") + kDamagedPayload, false,
                     std::string("RevertFile: ERROR: the payload of nzorel.dll ") + kDamagedPayload});
    cases.push_back({"patch record longer than its payload",
                     [](const SoundFix& f, const std::string&) {
                         return Resources{f.Payload(kPatched, Compressed(PatchHeader(16, 16, 100000, 100000) + "short"))};
                     },
                     std::string("UpgradeFile: ERROR: the payload of nzorel.dll ") + kDamagedPayload, false,
                     std::string("RevertFile: ERROR: the payload of nzorel.dll ") + kDamagedPayload});
    cases.push_back({"unknown operation code",
                     [](const SoundFix& f, const std::string&) {
                         return Resources{f.EditedEntry(kSig, [](std::string&, zfix::FILEENTRY& e) { e.dwOperation = 9; })};
                     },
                     "has the operation 9, which this fix cannot apply", false, "has the operation 9, which this fix cannot apply"});
    // Payloads that lie.
    cases.push_back({"payload whose bytes differ from its checksum",
                     [](const SoundFix& f, const std::string&) {
                         return Resources{f.Payload(kSig, Compressed("signature of the fix, longer than the old onE"))};
                     },
                     "failed at final checksum.", true, ""});
    // An empty temporary file has the checksum 0: content with that checksum is no file the
    // fix describes.
    cases.push_back({"payload whose bytes differ from its checksum and sum to 0",
                     [](const SoundFix& f, const std::string&) {
                         const std::string content = SummingTo0("signature of the fix, longer than the old onE");
                         EXPECT_EQ(0u, crc32(0L, (const Bytef*)content.data(), (uInt)content.size()));
                         return Resources{f.Payload(kSig, Compressed(content)),
                                          f.EditedEntry(kSig, [&](std::string&, zfix::FILEENTRY& e) { e.dwNewSize = (uint32_t)content.size(); })};
                     },
                     "failed at final checksum.", true, ""});
    cases.push_back({"payload stating more than its stream holds, with checksum 0",
                     [](const SoundFix& f, const std::string&) {
                         std::string content = "signature of the fix, longer than the old one";
                         std::string resource = Compressed(content);
                         const uint32_t stated = (uint32_t)content.size() + 600;
                         resource.replace(0, 4, Le32(stated));
                         return Resources{f.Payload(kSig, resource), f.EditedEntry(kSig, [&](std::string&, zfix::FILEENTRY& e) {
                                              e.dwNewSize = stated;
                                              e.dwNewChecksum = 0;
                                          })};
                     },
                     "does not unpack to its stated", false, "does not unpack to its stated"});
    cases.push_back({"record stating a larger file than its payload",
                     [](const SoundFix& f, const std::string&) {
                         return Resources{f.EditedEntry(kSig, [](std::string&, zfix::FILEENTRY& e) { e.dwNewSize += 500; })};
                     },
                     std::string("UpgradeFile: ERROR: the payload of sig\\nzorel.sf ") + kDamagedPayload, true, ""});
    // Entry names that leave the installation, or lie about the file.
    const std::pair<const char*, std::function<std::string(const std::string&)>> names[] = {
        {"entry named ..\\..\\canary\\victim.txt", [](const std::string&) { return std::string("..\\..\\canary\\") + kVictim; }},
        {"entry named with a drive", [](const std::string& canary) { return canary + "\\" + kVictim; }},
        {"entry named \\\\server\\share", [](const std::string&) { return std::string("\\\\zfixhost\\share\\x.sf"); }},
        {"entry named \\ (the drive's root)", [](const std::string&) { return std::string("\\zfix_hostile_root.sf"); }},
        {"entry named CON", [](const std::string&) { return std::string("CON"); }},
        {"entry named sig\\NUL.txt", [](const std::string&) { return std::string("sig\\NUL.txt"); }},
    };
    for (const auto& n : names) {
        cases.push_back({n.first,
                         [n](const SoundFix& f, const std::string& canary) {
                             std::string name = n.second(canary);
                             return Resources{f.EditedEntry(kSig, [&](std::string& e, zfix::FILEENTRY&) { e = name; })};
                         },
                         kNotPlain, false, kNotPlain, true});
    }
    cases.push_back({"entry named with 300 characters",
                     [](const SoundFix& f, const std::string&) {
                         return Resources{f.EditedEntry(kSig, [](std::string& e, zfix::FILEENTRY&) { e = "sig\\" + std::string(296, 'n'); })};
                     },
                     "is corrupt.", false, "is corrupt.", true});
    cases.push_back({"entry naming another file of the installation",
                     [](const SoundFix& f, const std::string&) {
                         return Resources{f.EditedEntry(kSig, [](std::string& e, zfix::FILEENTRY&) { e = "tdx.exe"; })};
                     },
                     "but its file list names \"sig\\nzorel.sf\"", false, "but its file list names \"sig\\nzorel.sf\"", true});
    cases.push_back({"entry and file list both leaving the installation",
                     [](const SoundFix& f, const std::string&) {
                         return Renamed(f, kSig, std::string("..\\..\\canary\\") + kVictim);
                     },
                     kNotPlain, false, kNotPlain, true});
    // Descriptions that lie about the entries.
    cases.push_back({"file list naming an entry the fix does not count",
                     [](const SoundFix& f, const std::string&) {
                         return Resources{f.EditedRecord([](zfix::FIXRECORD& r) { r.files.back().dwFileEntry = r.header.dwFileEntries + 5; })};
                     },
                     "ERROR", false, "ERROR"});
    cases.push_back({"description counting more entries than the fix carries",
                     [](const SoundFix& f, const std::string&) {
                         return Resources{f.EditedRecord([](zfix::FIXRECORD& r) { r.header.dwFileEntries += 1; })};
                     },
                     "Failed to load file entry resource.", false, "Failed to load file entry resource."});
    return cases;
}

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.what; }

class HostileEngine : public EngineTest, public ::testing::WithParamInterface<HostileCase> {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        // A parameterized test's name holds a '/': one folder per row instead.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        dir_ = fixture::ScratchDir(name);
    }
    /* The canary beside the installation: a folder with one file, and nothing else. */
    void LayCanary()
    {
        canary_ = dir_ + "\\canary";
        CreateDirectoryA(canary_.c_str(), NULL);
        ASSERT_TRUE(fixture::WriteFile(canary_ + "\\" + kVictim, "the canary's own content"));
        canaryBefore_ = Snapshot(dir_);
    }
    /* Nothing changed beside the installation: the scratch folder holds what it held, but for
       the installation itself. */
    void ExpectCanaryUntouched(const char* when)
    {
        std::map<std::string, std::string> now = Snapshot(dir_);
        for (auto* m : {&now, &canaryBefore_})
            for (auto it = m->begin(); it != m->end();)
                it = it->first.compare(0, 8, "product\\") == 0 ? m->erase(it) : std::next(it);
        EXPECT_TRUE(now == canaryBefore_) << when << ": the scratch folder beside the installation changed";
        EXPECT_FALSE(fixture::FileExists("C:\\zfix_hostile_root.sf")) << when;
        EXPECT_FALSE(fixture::FileExists(fixture::BinDir().substr(0, 2) + "\\zfix_hostile_root.sf")) << when;
    }

    std::string canary_;
    std::map<std::string, std::string> canaryBefore_;
};

TEST_P(HostileEngine, UpgradeAndRevertEndClearlyAndChangeNothing)
{
    const HostileCase& c = GetParam();
    SoundFix sound;
    sound.path = Fix("hotfix");
    sound.files = FilesOf(sound.path);
    InstallBase();
    const std::string hostile = dir_ + "\\hostile.exe";
    ASSERT_TRUE(CopyFileA(sound.path.c_str(), hostile.c_str(), FALSE));
    ASSERT_TRUE(PutResources(hostile, c.make(sound, dir_ + "\\canary")));
    LayCanary();

    // The upgrade of the base release.
    RunOutcome upgrade = RunInstaller("\"" + hostile + "\" nouser", dir_, program_);
    EXPECT_TRUE(Says(upgrade, c.upgradeSays)) << Describe(upgrade) << "\n" << upgrade.log;
    if (c.refusedAtStart) {
        EXPECT_EQ(1, upgrade.exitCode) << Describe(upgrade);
        EXPECT_TRUE(Says(upgrade, "This fix is damaged: ")) << Describe(upgrade);
    } else {
        EXPECT_TRUE(upgrade.failurePage) << Describe(upgrade);
        EXPECT_EQ(1, upgrade.exitCode) << Describe(upgrade);
    }
    ExpectCanaryUntouched("upgrade");
    ExpectInstallationIs("base");
    ExpectNoTempFiles();
    ASSERT_EQ(0, RunInstaller("\"" + sound.path + "\" nouser", dir_, program_).exitCode) << fixture::TempLog();

    // The revert of the sound fix by the hostile copy.
    ExpectInstallationIs("fix");
    RunOutcome revert = RunInstaller("\"" + hostile + "\" nouser revert Release 14.5.1FP1", dir_, program_);
    ExpectCanaryUntouched("revert");
    if (c.revertCompletes) {
        EXPECT_EQ(0, revert.exitCode) << Describe(revert) << "\n" << revert.log;
        ExpectInstallationIs("base", "tessra.dll");
    } else {
        EXPECT_TRUE(Says(revert, c.revertSays)) << Describe(revert) << "\n" << revert.log;
        EXPECT_EQ(1, revert.exitCode) << Describe(revert);
        EXPECT_EQ(!c.refusedAtStart, revert.failurePage) << Describe(revert);
        ExpectInstallationIs("fix");
        // Nothing was lost on the way (the backups a failed revert took out of the label
        // directory wait as its temporary files): the sound fix's revert brings the base release back.
        RunOutcome again = RunInstaller("\"" + sound.path + "\" nouser revert Release 14.5.1FP1", dir_, program_);
        EXPECT_EQ(0, again.exitCode) << Describe(again) << "\n" << again.log;
        ExpectInstallationIs("base", "tessra.dll");
    }
    ExpectNoTempFiles();
    std::cout << "HOSTILE | " << c.what << " | upgrade: " << Describe(upgrade) << " | revert: " << Describe(revert) << std::endl;
}

// PATCH.INI values that an earlier run left (or anyone wrote) naming files outside the program
// directory: a second hotfix on the same base, installed over the first, puts the base release
// back from PATCH.INI's record of the first; every such value is passed over with its log line,
// and nothing outside the installation is read into it or written.
TEST_F(HostileEngine, PatchIniValuesOfAnInstalledFixStayInside)
{
    static const std::string kSecond = "Release 14.5.1FP1 HF22|October 2, 2026";
    const std::string fix = Fix("hotfix");
    // The second hotfix: the same files under another fix label.
    SoundFix sound;
    sound.path = fix;
    const std::string second = dir_ + "\\second.exe";
    ASSERT_TRUE(CopyFileA(fix.c_str(), second.c_str(), FALSE));
    ASSERT_TRUE(PutResources(second, {sound.EditedRecord([](zfix::FIXRECORD& r) {
                                 for (zfix::CHECKSUMRECORD& c : r.checksums)
                                     if (memcmp(c.canLabel, r.header.canNewLabel, zfix::LABEL_SIZE) == 0)
                                         zfix::MakeLabelField(kSecond.c_str(), c.canLabel);
                                 zfix::MakeLabelField(kSecond.c_str(), r.header.canNewLabel);
                             })}));
    const struct {
        const char* what;
        std::function<std::string(const std::string&)> value;
    } cases[] = {
        {"..\\..\\canary", [](const std::string&) { return std::string("..\\..\\canary\\") + kVictim; }},
        {"a drive", [](const std::string& canary) { return canary + "\\" + kVictim; }},
        {"a server", [](const std::string&) { return std::string("\\\\zfixhost\\share\\x.sf"); }},
        {"a device", [](const std::string&) { return std::string("sig\\NUL.txt"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::RemoveProduct();
        fixture::RemoveTree(dir_ + "\\product");
        fixture::RemoveTree(dir_ + "\\canary");
        InstallBase();
        ASSERT_EQ(0, RunInstaller("\"" + fix + "\" nouser", dir_, program_).exitCode) << fixture::TempLog();
        const std::string ini = program_ + "\\PATCH.INI", value = c.value(dir_ + "\\canary");
        std::string edited = WithValues(WithValues(ReadFile(ini), "File", value), "BackupName", value);
        ASSERT_NE(edited, ReadFile(ini));
        ASSERT_TRUE(fixture::WriteFile(ini, edited));
        LayCanary();
        RunOutcome run = RunInstaller("\"" + second + "\" nouser", dir_, program_);
        std::cout << "HOSTILE | PATCH.INI File and BackupName values naming " << c.what << ", second hotfix over the first | "
                  << Describe(run) << std::endl;
        ExpectCanaryUntouched("second hotfix");
        EXPECT_TRUE(Contains(run.log, "=" + value + " names no file inside ")) << Describe(run) << "\n" << run.log;
        EXPECT_NE(-1, run.exitCode);
        // Whether it installed or stopped, every file is the fix's (the two fixes carry the same).
        ExpectInstallationIs("fix", "tessra.dll");
    }
}

// The web server's archive with members whose names leave its tree: each such member is refused
// with its log line and written nowhere (the canary beside the installation, the drive's root),
// the sound members land in the tree, and the revert brings the base release back byte for byte.
TEST_F(HostileEngine, ZipMembersThatLeaveTheTreeAreWrittenNowhere)
{
    const std::vector<ZipMember> members = {
        {"bin/kwsserver.cfg", "the web server's configuration of the fix"},
        {"../../../canary/zipped.txt", "planted by a member one step above the tree's three"},
        {"..\\..\\..\\canary\\zipped2.txt", "planted with backslashes"},
        {"/zfix_hostile_zip_root.txt", "planted at the root"},
        {fixture::BinDir().substr(0, 2) + "/zfix_hostile_zip_drive.txt", "planted by a drive"},
        {"conf/aux.txt", "a device"},
        {"conf/", ""},
        {"conf/" + std::string(291, 'l') + ".txt", "a name longer than the name buffer"},
    };
    const std::string zip = dir_ + "\\kwswindows.zip";
    ASSERT_TRUE(WriteZip(zip, members));
    const std::string bytes = ReadFile(zip);
    DeleteFileA(zip.c_str());

    SoundFix sound;
    sound.path = Fix("hotfix");
    sound.files = FilesOf(sound.path);
    const std::string archive = "kws\\kwswindows.zip";
    Resources r = Renamed(sound, kAdded, archive);
    r[{"FILEENTRY", sound.Entry(kAdded)}] = sound.EditedEntry(kAdded, [&](std::string& name, zfix::FILEENTRY& e) {
        name = archive;
        e.dwNewSize = (uint32_t)bytes.size();
        e.dwNewChecksum = (uint32_t)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)bytes.data(), (uInt)bytes.size());
    }).second;
    r[{"UPDATE", sound.Entry(kAdded)}] = Compressed(bytes);
    const std::string hostile = dir_ + "\\hostile.exe";
    ASSERT_TRUE(CopyFileA(sound.path.c_str(), hostile.c_str(), FALSE));
    ASSERT_TRUE(PutResources(hostile, r));
    InstallBase();
    LayCanary();

    RunOutcome upgrade = RunInstaller("\"" + hostile + "\" nouser", dir_, program_);
    std::cout << "HOSTILE | component zip whose member names leave the tree | upgrade: " << Describe(upgrade);
    ExpectCanaryUntouched("upgrade");
    for (const char* refused : {"../../../canary/zipped.txt", "..\\..\\..\\canary\\zipped2.txt", "/zfix_hostile_zip_root.txt",
                                "conf/aux.txt"})
        EXPECT_TRUE(Contains(upgrade.log, std::string("Refused the zip member ") + refused + ": its path leaves the destination directory"))
            << refused << "\n" << upgrade.log;
    // The long name is shown cut inside the extraction's name buffer, and nothing past it.
    EXPECT_TRUE(Contains(upgrade.log, "Refused the zip member " + members.back().name.substr(0, 255) +
                                          "...: its name of 300 characters is too long"))
        << upgrade.log;
    for (const std::string& root : {std::string("C:"), fixture::BinDir().substr(0, 2)}) {
        EXPECT_FALSE(fixture::FileExists(root + "\\zfix_hostile_zip_root.txt"));
        EXPECT_FALSE(fixture::FileExists(root + "\\zfix_hostile_zip_drive.txt"));
    }
    EXPECT_EQ(members[0].content, ReadFile(program_ + "\\kws\\bin\\kwsserver.cfg"));

    RunOutcome revert = RunInstaller("\"" + hostile + "\" nouser revert Release 14.5.1FP1", dir_, program_);
    std::cout << " | revert: " << Describe(revert) << std::endl;
    EXPECT_EQ(0, revert.exitCode) << revert.log;
    ExpectCanaryUntouched("revert");
    ExpectInstallationIs("base", "tessra.dll");
    ExpectNoTempFiles();
}

std::string CaseName(const ::testing::TestParamInfo<HostileCase>& info)
{
    std::string name;
    bool up = true;
    for (const char* p = info.param.what; *p; ++p) {
        if (isalnum((unsigned char)*p)) {
            name += up ? (char)toupper((unsigned char)*p) : *p;
            up = false;
        } else {
            up = true;
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileEngine, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace
