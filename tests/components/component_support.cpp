#include "component_test.h"

#include "package/file_entry.h"
#include "package/fix_record.h"

#include <zlib.h>

#include <algorithm>

using fixture::ReadFile;

const ComponentTree kComponentTrees[6] = {
    {false, "jvm"},          {false, "kws"},           {false, "osgi\\shared\\eclipse\\plugins"},
    {true, "halvex\\js"},    {true, "halvex\\template"}, {true, "halvex\\html\\ckeditor"},
};

std::string ComponentTest::trees_;

static uint32_t Crc(const std::string& bytes)
{
    return (uint32_t)crc32(crc32(0L, Z_NULL, 0), (const Bytef*)bytes.data(), (uInt)bytes.size());
}

void PutFile(const std::string& path, const std::string& content)
{
    size_t slash = path.find_last_of('\\');
    for (size_t i = path.find('\\', 3); i != std::string::npos && i <= slash; i = path.find('\\', i + 1))
        CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    ASSERT_TRUE(fixture::WriteFile(path, content)) << path;
}

static void Drop(const std::string& path)
{
    if (!DeleteFileA(path.c_str()))
        fixture::RemoveTree(path);
}

std::vector<std::string> FilesIn(const std::string& root)
{
    std::vector<std::string> files;
    std::function<void(const std::string&)> walk = [&](const std::string& sub) {
        fixture::ForEachEntry(root + (sub.empty() ? "" : "\\" + sub), [&](const std::string& name, bool isDir) {
            std::string rel = sub.empty() ? name : sub + "\\" + name;
            if (isDir)
                walk(rel);
            else
                files.push_back(Upper(rel));
        });
    };
    walk("");
    std::sort(files.begin(), files.end());
    return files;
}

void ComponentTest::SetUpTestSuite()
{
    const std::string bin = fixture::BinDir();
    std::string key = std::to_string(Crc(ReadFile(bin + "\\zfix.exe"))) + "_" +
                      std::to_string(Crc(ReadFile(bin + "\\zfixbuild.exe"))) + "_" +
                      std::to_string(Crc(ReadFile(bin + "\\cabarc.exe")));
    trees_ = bin + "\\..\\scratch-components\\" + key;
    if (fixture::FileExists(trees_ + "\\ready"))
        return;
    CreateDirectoryA((bin + "\\..\\scratch-components").c_str(), NULL);
    fixture::RemoveTree(trees_);
    CreateDirectoryA(trees_.c_str(), NULL);
    for (const char* t : {"\\base", "\\fix"}) {
        CreateDirectoryA((trees_ + t).c_str(), NULL);
        fixture::CopyTree(bin + "\\..\\product", trees_ + t + "\\program");
        fixture::CopyTree(bin + "\\..\\product-data", trees_ + t + "\\data");
    }
    const std::string p = trees_ + "\\fix\\program\\", d = trees_ + "\\fix\\data\\";
    fixture::Run("\"" + bin + "\\UpdateVersion.exe\" \"" + trees_ + "\\fix\\program\" \"" + kFixLabel + "\" write");
    // JVM: a class library changed, a provider added, a file gone; the policy file stays.
    PutFile(p + "jvm\\lib\\rt.jar", "core classes of the sample runtime 1.8.0_371\r\n");
    PutFile(p + "jvm\\lib\\ext\\newprovider.jar", "a provider new in the fix\r\n");
    Drop(p + "jvm\\bin\\java.txt");
    // Web server: configuration changed, a page added, an image gone.
    PutFile(p + "kws\\conf\\kws.conf", "Listen 8089\r\nDocumentRoot htdocs\r\n");
    PutFile(p + "kws\\htdocs\\help\\index.html", "<html><body>help</body></html>\r\n");
    Drop(p + "kws\\htdocs\\img\\logo.gif");
    // OSGi plug-ins: one bundle replaced by its next version, one changed.
    Drop(p + "osgi\\shared\\eclipse\\plugins\\com.zorel.core_14.5.1.jar");
    PutFile(p + "osgi\\shared\\eclipse\\plugins\\com.zorel.core_14.5.2.jar", "Bundle-Version: 14.5.2\r\n");
    PutFile(p + "osgi\\shared\\eclipse\\plugins\\com.zorel.ui_14.5.1\\plugin.xml", "<plugin id=\"com.zorel.ui\" v=\"2\"/>\r\n");
    // Script library: version 1.16.2 gives way to 1.17.0, with a new folder.
    Drop(d + "halvex\\js\\dojo-1.16.2");
    Drop(d + "halvex\\template\\dojo-1.16.2");
    PutFile(d + "halvex\\js\\dojo-1.17.0\\dojo.js", "/* dojo 1.17.0 sample */\r\n");
    PutFile(d + "halvex\\js\\dojo-1.17.0\\dijit\\dijit.js", "/* dijit of dojo 1.17.0 */\r\n");
    PutFile(d + "halvex\\js\\dojo-1.17.0\\dojox\\grid.js", "/* grid of dojo 1.17.0 */\r\n");
    PutFile(d + "halvex\\template\\dojo-1.17.0\\page.html", "<div class=\"page\">dojo 1.17.0</div>\r\n");
    PutFile(d + "halvex\\template\\dojo-1.17.0\\forms\\form.html", "<form>dojo 1.17.0</form>\r\n");
    // Editor: the script changed, a language added, a skin file gone.
    PutFile(d + "halvex\\html\\ckeditor\\ckeditor.js", "/* ckeditor 4.20 sample */\r\n");
    PutFile(d + "halvex\\html\\ckeditor\\lang\\de.js", "CKEDITOR.lang.de = {};\r\n");
    Drop(d + "halvex\\html\\ckeditor\\skins\\moono\\editor.css");
    fixture::WriteFile(trees_ + "\\license.txt", "Sample licence of the fix.\r\n");
    fixture::WriteFile(trees_ + "\\ready", "");
}

std::string ComponentTest::Fix(const std::string& kind)
{
    std::string name = trees_ + "\\" + kind;
    if (!fixture::FileExists(name + ".exe")) {
        std::string description = "[Fix]\r\n"
                                  "Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21\r\n"
                                  "Kind=" + kind + "\r\n"
                                  "BaseLabel=" + std::string(kBaseLabel) + "\r\n"
                                  "FixLabel=" + std::string(kFixLabel) + "\r\n"
                                  "License=license.txt\r\n"
                                  "[Base]\r\nProgram=base\\program\r\nData=base\\data\r\n"
                                  "[Target]\r\nProgram=fix\\program\r\nData=fix\\data\r\n";
        fixture::WriteFile(name + ".ini", description);
        EXPECT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\zfixbuild.exe\" build \"" + name + ".ini\" -o \"" + name +
                                  ".exe\"")) << description;
    }
    return name + ".exe";
}

static std::string Resource(HMODULE module, const char* type, int id)
{
    HRSRC hRes = FindResourceExA(module, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!hRes)
        return std::string();
    return std::string((const char*)LockResource(LoadResource(module, hRes)), SizeofResource(module, hRes));
}

std::string ComponentTest::RenamedFix(const std::string& from, const std::string& to)
{
    std::string path = dir_ + "\\renamed.exe";
    EXPECT_TRUE(CopyFileA(Fix().c_str(), path.c_str(), FALSE));
    HMODULE module = LoadLibraryExA(Fix().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_TRUE(module != NULL);
    std::string version = Resource(module, "VERSION", 1);
    zfix::FIXRECORD record;
    EXPECT_TRUE(zfix::ReadFixRecord(version.data(), version.size(), &record));
    uint32_t entry = 0;
    for (zfix::FILELISTRECORD& f : record.files)
        if (from == f.lpFile) {
            f.lpFile = to.c_str();
            f.dwNameLength = (uint32_t)to.size();
            entry = f.dwFileEntry;
        }
    for (zfix::CHECKSUMRECORD& c : record.checksums)
        if (from == c.lpFile)
            c.lpFile = to.c_str();
    EXPECT_NE(0u, entry) << from;
    std::string bytes = Resource(module, "FILEENTRY", (int)entry);
    char name[zfix::MAX_ENTRY_NAME + 1];
    zfix::FILEENTRY fe;
    EXPECT_TRUE(zfix::ReadFileEntry(bytes.data(), bytes.size(), name, sizeof(name), &fe));
    std::vector<uint8_t> newVersion = zfix::WriteFixRecord(record), newEntry = zfix::WriteFileEntry(to.c_str(), fe);
    FreeLibrary(module);
    HANDLE hUpdate = BeginUpdateResourceA(path.c_str(), FALSE);
    const WORD lang = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    EXPECT_TRUE(UpdateResourceA(hUpdate, "VERSION", MAKEINTRESOURCEA(1), lang, newVersion.data(), (DWORD)newVersion.size()));
    EXPECT_TRUE(UpdateResourceA(hUpdate, "FILEENTRY", MAKEINTRESOURCEA(entry), lang, newEntry.data(), (DWORD)newEntry.size()));
    EXPECT_TRUE(EndUpdateResourceA(hUpdate, FALSE));
    return path;
}

std::string ComponentTest::InstallBase(int partitions)
{
    partitions_ = partitions;
    program_ = fixture::InstallProduct(dir_ + "\\product", "--partitions " + std::to_string(partitions) + " --files \"" +
                                                               trees_ + "\\base\\program\" --data-files \"" + trees_ +
                                                               "\\base\\data\"");
    EXPECT_FALSE(program_.empty());
    return program_;
}

std::string ComponentTest::Data(int i) const
{
    return dir_ + "\\product\\DATA" + std::to_string(i);
}

void ComponentTest::ExpectSameFiles(const std::string& expected, const std::string& installed)
{
    std::vector<std::string> want = FilesIn(expected), have = FilesIn(installed);
    EXPECT_EQ(want, have) << installed;
    for (const std::string& f : want) {
        if (std::find(have.begin(), have.end(), f) != have.end()) {
            EXPECT_TRUE(ReadFile(expected + "\\" + f) == ReadFile(installed + "\\" + f)) << "differs: " << installed << "\\" << f;
        }
    }
}

void ComponentTest::ExpectComponentsAre(const std::string& tree, int partitions)
{
    const std::string root = trees_ + "\\" + tree;
    for (const ComponentTree& c : kComponentTrees) {
        if (!c.data) {
            ExpectSameFiles(root + "\\program\\" + c.path, program_ + "\\" + c.path);
            continue;
        }
        for (int i = 1; i <= partitions; ++i)
            ExpectSameFiles(root + "\\data\\" + c.path, Data(i) + "\\" + c.path);
    }
}

std::string ComponentTest::BackupOf(const std::string& stem) const
{
    std::string found;
    fixture::ForEachEntry(program_ + "\\" + kLabelDir, [&](const std::string& name, bool isDir) {
        if (!isDir && Upper(name).compare(0, stem.size(), Upper(stem)) == 0 && name.size() == stem.size() + 8)
            found = program_ + "\\" + kLabelDir + "\\" + name;
    });
    return found;
}

std::string ComponentTest::Unpacked(const std::string& cabinet, const std::string& name)
{
    std::string out = dir_ + "\\" + name;
    fixture::RemoveTree(out);
    CreateDirectoryA(out.c_str(), NULL);
    EXPECT_EQ(0, fixture::Run("\"" + fixture::BinDir() + "\\cabarc.exe\" -p -o x \"" + cabinet + "\" * \"" + out + "\\\""));
    return out;
}
