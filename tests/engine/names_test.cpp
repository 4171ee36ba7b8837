// NameStart: the file that differs from a wanted name only by its build timestamp.
#include "components/names.h"
#include "fixture.h"
#include "installer/globals.h"

#include <gtest/gtest.h>

#include <string>

TEST(NameStart, FindsTheVariantWithAnotherTimestamp)
{
    std::string dir = fixture::ScratchDir("NameStart");
    for (const char* name : {"lib_20250101-0000.jar", "lib_20250101-00000.jar", "x_20250101-0000.IIX", "abc.txt",
                             "20250101-000"})
        ASSERT_TRUE(fixture::WriteFile(dir + "\\" + name, "x"));
    CreateDirectoryA((dir + "\\dir_20250101-0000.jar").c_str(), NULL);
    struct Case {
        int mode;
        const char* wanted;
        const char* found;  // nullptr: none
    } cases[] = {
        {MODE_UPGRADE, "lib_20260921-1234.jar", "lib_20250101-0000.jar"},  // same length, start and end
        {MODE_UPGRADE, "lib_20260921_1234.jar", "lib_20250101-0000.jar"},  // '_' separates too
        {MODE_UPGRADE, "x_20260921-1234.IIB", nullptr},                    // the end differs
        {MODE_REVERT, "x_20260921-1234.IIB", "x_20250101-0000.IIX"},       // revert: the start only
        {MODE_UPGRADE, "lib_2026092-1234.jar", nullptr},                   // no timestamp in the name
        {MODE_UPGRADE, "ab_123456789012", nullptr},                        // 12 characters from the digit
        {MODE_UPGRADE, "20260921-123", nullptr},                           // a 12-character name, its like present
        {MODE_UPGRADE, "dir_20260921-1234.jar", nullptr},                  // directories do not count
        {MODE_UPGRADE, "abc.txt", nullptr},
    };
    for (const Case& c : cases) {
        giMode = c.mode;
        char found[260] = "";
        int r = NameStart(dir.c_str(), c.wanted, found, sizeof(found));
        EXPECT_EQ(c.found ? 1 : 0, r) << c.wanted;
        if (c.found) {
            EXPECT_EQ(std::string(c.found), found) << c.wanted;
        }
    }
}
