// The file checksum and file version numbers of the installer's routines, on real files.
#include "fixture.h"
#include "identify/checksum.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

namespace {

TEST(FileChecksum, IsTheCrc32OfTheWholeFileAndRewinds)
{
    std::string dir = fixture::ScratchDir("FileChecksum");
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = (char)(i * 2654435761u >> 13);
    for (const std::string& content : {std::string(), std::string("a"), std::string("123456789"), big}) {
        std::string path = dir + "\\f.bin";
        ASSERT_TRUE(fixture::WriteFile(path, content));
        FILE* f = fopen(path.c_str(), "rb");
        ASSERT_TRUE(f);
        fseek(f, 5, SEEK_SET);
        unsigned long expected = crc32(crc32(0L, Z_NULL, 0), (const Bytef*)content.data(), (uInt)content.size());
        EXPECT_EQ(expected, FileChecksum(f)) << content.size();
        EXPECT_EQ(0, ftell(f)) << "the stream is at its start again";
        fclose(f);
    }
    EXPECT_EQ(0xCBF43926ul, crc32(0L, (const Bytef*)"123456789", 9));  // the standard check value
    EXPECT_EQ(0ul, FileChecksum(NULL));
}

TEST(FileVersion, ReadsTheFourNumbersOfTheVersionResource)
{
    int v[4] = {-1, -1, -1, -1};
    std::string product = fixture::BinDir() + "\\..\\product\\";
    EXPECT_EQ(1, GetFileVersionNumbers((product + "tdx.exe").c_str(), &v[0], &v[1], &v[2], &v[3]));
    EXPECT_EQ(3, v[0]);
    EXPECT_EQ(2, v[1]);
    EXPECT_EQ(0, v[2]);
    EXPECT_EQ(0, v[3]);
    EXPECT_STREQ("3.2.0.0", gszVersionInfo);
    EXPECT_EQ(1, GetFileVersionNumbers((product + "tessra.dll").c_str(), &v[0], &v[1], &v[2], &v[3]));
    EXPECT_EQ(14, v[0]);
    EXPECT_EQ(5, v[1]);
    // No version resource, no file.
    EXPECT_EQ(0, GetFileVersionNumbers((product + "ZOREL.INI").c_str(), &v[0], &v[1], &v[2], &v[3]));
    EXPECT_EQ(0, GetFileVersionNumbers((product + "missing.dll").c_str(), &v[0], &v[1], &v[2], &v[3]));
}

}  // namespace
