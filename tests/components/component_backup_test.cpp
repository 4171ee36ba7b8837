// The backups of the component trees as the revert meets them: each data directory's own trees,
// the trees of a fix without labels, and a tree whose backup the revert cannot take.
#include "component_test.h"

#include "resources/resource.h"

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
    const std::string fix = Fix("plain");
    InstallBase();
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectComponentsAre("fix");
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    ExpectComponentsAre("base");
}

// A tree's backup that cannot be moved to its temporary file on revert (held without delete
// sharing) fails the revert before the updater empties the tree: the web server's tree stays the
// fix's, whole, and its backup stays.
TEST_F(ComponentTest, RevertWhoseTreeBackupCannotBeMovedKeepsTheTree)
{
    std::string fix = Fix();
    InstallBase();
    ASSERT_EQ(0, RunUnattended(fix, dir_)) << fixture::TempLog();
    const std::string back = BackupOf("kwswindows");
    ASSERT_FALSE(back.empty());
    const std::string cabinet = ReadFile(back);
    {
        const std::string stop = dir_ + "\\release";
        DeleteFileA(stop.c_str());
        robot::Program holder("\"" + fixture::BinDir() + "\\zhold.exe\" \"" + back + "\" rw \"" + stop + "\"");
        // Held without delete sharing: a handle that asks for deletion is refused.
        for (int i = 0; i < 250; ++i) {
            HANDLE h = CreateFileA(back.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                   OPEN_EXISTING, 0, NULL);
            if (h == INVALID_HANDLE_VALUE)
                break;
            CloseHandle(h);
            Sleep(20);
        }
        robot::Program run("\"" + fix + "\" nouser", dir_);
        ASSERT_TRUE(run.WaitWindow(ZFIX_DIALOG_CLASS, 60000));
        EXPECT_TRUE(fixture::Contains(WaitUpgradeResult(run), "Failed to upgrade Zorel."));
        CloseAnswering(run);
        fixture::WriteFile(stop, "stop");
        holder.WaitExit();
    }
    const std::string log = ReadFile(program_ + "\\UPGRADE.LOG");
    const size_t refused = log.rfind("CreateUpgradedFiles: ERROR: Failed Restoring Release1451FP1\\kwswindows0002.IIB to UPTMP0002.TMP");
    ASSERT_NE(std::string::npos, refused) << log;
    EXPECT_FALSE(fixture::Contains(log.substr(refused), "RenameTempFiles: Starting")) << log;
    EXPECT_FALSE(fixture::Contains(log.substr(refused), "Removed old KWS successfully")) << log;
    ExpectSameFiles(trees_ + "\\fix\\program\\kws", program_ + "\\kws");
    EXPECT_TRUE(ReadFile(back) == cabinet);
}
