// Zip extraction below the current directory, on archives written with minizip's zip writer:
// directories, nested members, empty members, and member names that would leave the destination.
#include "components/zip_extract.h"
#include "fixture.h"
#include "installer/log.h"
#include "zip_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using fixture::Contains;
using fixture::FileExists;
using fixture::ReadFile;

namespace {

bool IsDir(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

TEST(ZipExtraction, EveryMemberLandsBelowTheCurrentDirectory)
{
    const std::string dir = fixture::ScratchDir("ZipExtraction"), dest = dir + "\\dest", zip = dir + "\\members.zip";
    ASSERT_TRUE(CreateDirectoryA(dest.c_str(), NULL));
    // The scratch folder without its drive ("\...\ZipExtraction") and with it, '/' separated: a
    // rooted or drive member that got through would land beside dest, not at the drive's root.
    std::string rooted = dir.substr(2), drive = dir;
    for (std::string* s : {&rooted, &drive})
        for (char& c : *s)
            if (c == '\\')
                c = '/';
    const std::vector<std::string> hostile = {
        "../escaped.txt", "a/../../escaped2.txt", rooted + "/rooted.txt", drive + "/drive.txt",
        "stream.txt:hidden", "..\\escaped3.txt"};
    std::vector<ZipMember> members = {
        {"folder/", ""},                        // a directory member: the directory, nothing written
        {"a/b/c.txt", "nested member\r\n"},     // its directories do not exist yet
        {"empty.txt", ""},                      // an empty member: an empty file
    };
    for (const std::string& h : hostile)
        members.push_back({h, "must not be written"});
    members.push_back({"last.txt", "after the refused ones"});
    ASSERT_TRUE(WriteZip(zip, members));

    ASSERT_EQ(1, OpenUpgradeLog());
    ASSERT_TRUE(SetCurrentDirectoryA(dest.c_str()));
    unzFile uf = unzOpen64(zip.c_str());
    ASSERT_TRUE(uf != NULL);
    // Refused members are passed over, and the extraction says that it is not whole.
    EXPECT_EQ(ZIP_MEMBER_REFUSED, ExtractZipAll(uf, 0, 1, NULL));
    unzClose(uf);
    SetCurrentDirectoryA(dir.c_str());
    std::string log = ReadFile(gszTempLogPath);

    EXPECT_TRUE(IsDir(dest + "\\folder"));
    EXPECT_TRUE(Contains(log, "creating directory: folder/"));
    EXPECT_EQ("nested member\r\n", ReadFile(dest + "\\a\\b\\c.txt"));
    EXPECT_TRUE(FileExists(dest + "\\empty.txt"));
    EXPECT_EQ("", ReadFile(dest + "\\empty.txt"));
    EXPECT_EQ("after the refused ones", ReadFile(dest + "\\last.txt"));
    for (const std::string& h : hostile)
        EXPECT_TRUE(Contains(log, "Refused the zip member " + h + ": its path leaves the destination directory")) << h;
    for (const char* name : {"escaped.txt", "escaped2.txt", "escaped3.txt", "rooted.txt", "drive.txt"})
        EXPECT_FALSE(FileExists(dir + "\\" + name)) << name;
    EXPECT_FALSE(FileExists(dest + "\\stream.txt"));
    // Nothing else appeared beside the destination.
    std::vector<std::string> beside;
    fixture::ForEachEntry(dir, [&](const std::string& name, bool) { beside.push_back(name); });
    EXPECT_EQ((std::vector<std::string>{"dest", "members.zip"}), beside);
}

TEST(ZipExtraction, MakeDirChainCreatesEachStep)
{
    const std::string dir = fixture::ScratchDir("MakeDirChain");
    MakeDirChain((dir + "\\one/two\\three").c_str());
    EXPECT_TRUE(IsDir(dir + "\\one\\two\\three"));
    MakeDirChain((dir + "\\one\\two\\three").c_str());  // existing directories are no failure
    EXPECT_TRUE(IsDir(dir + "\\one\\two\\three"));
}

namespace {

/* Extracts the archive into a new folder dest below dir; ExtractZipAll's result. */
int ExtractInto(const std::string& dir, const std::vector<ZipMember>& members, std::string* log)
{
    const std::string dest = dir + "\\dest", zip = dir + "\\members.zip";
    fixture::RemoveTree(dest);
    CreateDirectoryA(dest.c_str(), NULL);
    EXPECT_TRUE(WriteZip(zip, members));
    if (gpLogFile)
        fclose(gpLogFile);  /* a log of this case alone */
    gpLogFile = NULL;
    EXPECT_EQ(1, OpenUpgradeLog());
    SetCurrentDirectoryA(dest.c_str());
    unzFile uf = unzOpen64(zip.c_str());
    EXPECT_TRUE(uf != NULL);
    int result = uf ? ExtractZipAll(uf, 0, 1, NULL) : 1;
    if (uf)
        unzClose(uf);
    SetCurrentDirectoryA(dir.c_str());
    *log = ReadFile(gszTempLogPath);
    return result;
}

}  // namespace

// A member name of 256 characters or more does not fit the name buffer: the member is refused,
// and its log line shows the name cut inside the buffer. The members around it are extracted.
TEST(ZipExtraction, LongMemberNamesAreRefused)
{
    const std::string dir = fixture::ScratchDir("ZipLongNames");
    for (size_t length : {256u, 300u, 1000u}) {
        SCOPED_TRACE(length);
        std::string name = "d/";
        while (name.size() < length)
            name += (char)('a' + name.size() % 26);
        std::string log;
        EXPECT_EQ(ZIP_MEMBER_REFUSED, ExtractInto(dir, {{"before.txt", "1"}, {name, "must not be written"}, {"after.txt", "2"}},
                                                  &log));
        const std::string line = "Refused the zip member " + name.substr(0, 255) + "...: its name of " +
                                 std::to_string(length) + " characters is too long";
        EXPECT_TRUE(Contains(log, line)) << log;
        EXPECT_EQ("1", ReadFile(dir + "\\dest\\before.txt"));
        EXPECT_EQ("2", ReadFile(dir + "\\dest\\after.txt"));
        EXPECT_FALSE(FileExists(dir + "\\dest\\d"));
    }
}

// An extraction that stops before its end (a member whose data is damaged, a member that cannot
// be created) is not reported as a whole one.
TEST(ZipExtraction, ExtractionThatStopsIsReported)
{
    const std::string dir = fixture::ScratchDir("ZipStops");
    std::string log;
    EXPECT_EQ(0, ExtractInto(dir, {{"a.txt", "whole"}, {"b/c.txt", "whole too"}}, &log)) << log;

    EXPECT_NE(0, ExtractInto(dir, {{"a.txt", "first"}, {"blocker", "a file"}, {"blocker/inner.txt", "no folder for it"},
                                   {"z.txt", "last"}},
                             &log)) << log;
    EXPECT_TRUE(Contains(log, "error opening blocker/inner.txt")) << log;

    std::vector<ZipMember> members = {{"a.txt", "first"}, {"b.txt", std::string(5000, 'b')}, {"c.txt", "last"}};
    const std::string zip = dir + "\\damaged.zip";
    ASSERT_TRUE(WriteZip(zip, members));
    const std::string damaged = DamagedMember(ReadFile(zip), "b.txt");
    ASSERT_NE(ReadFile(zip), damaged);
    ASSERT_TRUE(fixture::WriteFile(zip, damaged));
    const std::string dest = dir + "\\dest";
    fixture::RemoveTree(dest);
    CreateDirectoryA(dest.c_str(), NULL);
    SetCurrentDirectoryA(dest.c_str());
    unzFile uf = unzOpen64(zip.c_str());
    ASSERT_TRUE(uf != NULL);
    EXPECT_NE(0, ExtractZipAll(uf, 0, 1, NULL));
    unzClose(uf);
    SetCurrentDirectoryA(dir.c_str());
}
