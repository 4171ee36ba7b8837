// The backups of the component trees as the revert meets them: each data directory's own trees,
// and the trees of a fix without labels.
#include "component_test.h"

using fixture::ReadFile;

// Each data directory gets its own trees back: the script library and the editor of the second
// data directory, which hold a file of their own, come back with it, and the first data
// directory's come back as the base release had them.
TEST_F(ComponentTest, EachDataDirectoryGetsItsOwnTreesBack)
{
    std::string fix = Fix();
    InstallBase();
    const std::string own = "a file of the second data directory's own\r\n";
    const char* const trees[] = {"halvex\\js\\dojo-1.16.2", "halvex\\html\\ckeditor"};
    for (const char* tree : trees)
        PutFile(Data(2) + "\\" + tree + "\\own.txt", own);
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectComponentsAre("fix");
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    for (const char* tree : trees) {
        EXPECT_EQ(own, ReadFile(Data(2) + "\\" + tree + "\\own.txt")) << tree;
        EXPECT_FALSE(fixture::FileExists(Data(1) + "\\" + tree + "\\own.txt")) << tree;
        DeleteFileA((Data(2) + "\\" + tree + "\\own.txt").c_str());
    }
    ExpectComponentsAre("base");
}

// A fix without labels keeps each tree's backup outside the tree, which its updater empties or
// deletes: the fix run again (its revert) gives every tree back as the base release had it.
TEST_F(ComponentTest, FixWithoutLabelsRevertsItsTrees)
{
    const std::string name = trees_ + "\\plain";
    if (!fixture::FileExists(name + ".exe")) {
        std::string description = "[Fix]\r\n"
                                  "Title=Release 14.5.1FP1 -> Release 14.5.1FP1 HF21\r\n"
                                  "Kind=plain\r\n"
                                  "BaseLabel=" + std::string(kBaseLabel) + "\r\n"
                                  "FixLabel=" + std::string(kFixLabel) + "\r\n"
                                  "License=license.txt\r\n"
                                  "[Base]\r\nProgram=base\\program\r\nData=base\\data\r\n"
                                  "[Target]\r\nProgram=fix\\program\r\nData=fix\\data\r\n";
        ASSERT_TRUE(fixture::BuildFix(name, description)) << description;
    }
    const std::string fix = name + ".exe";
    InstallBase();
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectComponentsAre("fix");
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectComponentsAre("base");
}
