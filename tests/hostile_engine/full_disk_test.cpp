// The engine on a full disk: a sample installation on a small drive (a tmpfs that full_disk.sh
// mounts and maps as the drive letter in ZFIX_FULL_DRIVE; elsewhere the test is skipped). A hotfix
// that does not fit is refused with the disk-space message before anything is written; a disk
// that fills up after that check (another program writing) makes the upgrade fail on its failure
// page with the write error in the log, every installed file as it was; once room is made the
// same hotfix installs, every file the fix's byte for byte.
#include "hostile_support.h"

#include "installer/file_copy.h"
#include "resources/resource.h"

#include <stdlib.h>

#include <iostream>

using fixture::Contains;

namespace {

uint64_t FreeBytes(const std::string& drive)
{
    ULARGE_INTEGER avail, total, free;
    if (!GetDiskFreeSpaceExA((drive + "\\").c_str(), &avail, &total, &free))
        return 0;
    return avail.QuadPart;
}

/* Fills the drive with a file until room bytes are left (tmpfs counts whole 4 KB pages). */
void LeaveRoom(const std::string& path, const std::string& drive, uint64_t room)
{
    uint64_t avail = FreeBytes(drive);
    ASSERT_GE(avail, room) << path;
    ASSERT_TRUE(fixture::WriteFile(path, std::string((size_t)(avail - room), 'f'))) << path;
}

class EngineFullDisk : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        const char* drive = getenv("ZFIX_FULL_DRIVE");
        ULARGE_INTEGER avail, total, free;
        if (!drive || !GetDiskFreeSpaceExA((std::string(drive) + "\\").c_str(), &avail, &total, &free) ||
            total.QuadPart > 64u * 1024 * 1024)
            GTEST_SKIP() << "no small drive in ZFIX_FULL_DRIVE (full_disk.sh maps one)";
        drive_ = drive;
        // The installation lies on the small drive; the trees and fixes stay in the build tree.
        dir_ = drive_ + "\\engine";
        fixture::RemoveTree(dir_);
        DeleteFileA((drive_ + "\\filler1").c_str());
        DeleteFileA((drive_ + "\\filler2").c_str());
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), NULL));
    }
    void TearDown() override
    {
        if (!drive_.empty()) {
            DeleteFileA((drive_ + "\\filler1").c_str());
            DeleteFileA((drive_ + "\\filler2").c_str());
            fixture::RemoveProduct();
            fixture::RemoveTree(dir_);
        }
        EngineTest::TearDown();
    }

    /* What the fix states it needs in the program directory, in bytes. */
    static uint64_t ProgramSpace(const std::string& fix)
    {
        std::string bytes = fixture::VersionRecord(fix);
        zfix::FIXRECORD record;
        EXPECT_TRUE(zfix::ReadFixRecord(bytes.data(), bytes.size(), &record));
        return (uint64_t)record.header.dwProgramSpace * 1024;
    }

    std::string drive_;
};

TEST_F(EngineFullDisk, AFixThatDoesNotFitChangesNothingAndInstallsOnceThereIsRoom)
{
    const std::string fix = Fix("hotfix");
    const uint64_t needed = ProgramSpace(fix);
    ASSERT_GT(needed, 0u);

    // Started in a folder of the full drive: the carried tools cannot be unpacked there.
    const std::string away = fixture::ScratchDir("EngineFullDiskStart");
    InstallBase();
    LeaveRoom(drive_ + "\\filler1", drive_, 4096);
    RunOutcome here = RunInstaller("\"" + fix + "\" nouser", dir_, program_, 60000);
    std::cout << "FULLDISK | started on the full drive | " << Describe(here) << std::endl;
    EXPECT_EQ(1, here.exitCode) << here.log;
    EXPECT_TRUE(Contains(here.log, "\nCannot write UpdateVersion.exe whole in " + dir_ + ": the run stops.")) << here.log;
    ExpectInstallationIs("base");
    ExpectNoTempFiles();
    DeleteFileA((drive_ + "\\filler1").c_str());

    // Stated need above the free space: refused before the wizard changes anything.
    LeaveRoom(drive_ + "\\filler1", drive_, needed / 2);
    RunOutcome refused = RunInstaller("\"" + fix + "\" nouser", away, program_, 60000);
    std::cout << "FULLDISK | need above the free space | " << Describe(refused) << std::endl;
    EXPECT_EQ(1, refused.exitCode) << refused.log;
    EXPECT_TRUE(Contains(refused.log, "There is insufficent disk space available on ")) << refused.log;
    ExpectInstallationIs("base");
    ExpectNoTempFiles();
    DeleteFileA((drive_ + "\\filler1").c_str());

    // The disk fills after the check, at three depths of the run (nothing left, room for some of
    // the backups, room for the program directory's files): the failure page, the write error in
    // the log, and the base release byte for byte.
    for (int part : {0, 1, 2}) {
        SCOPED_TRACE(part);
        uint64_t room = needed * part / 3;
        robot::Program program("\"" + fix + "\"", away);
        DeleteFileA((fixture::TempDir() + "\\UPGRADE.LOG").c_str());
        StartWizardUpgrade(program, [&] { LeaveRoom(drive_ + "\\filler2", drive_, room); });
        std::string text = WaitUpgradeResult(program);
        std::string log = fixture::TempLog();
        RunOutcome shown;
        shown.failurePage = Contains(text, "Failed to upgrade Zorel.");
        shown.log = log;
        shown.exitCode = 0;
        std::cout << "FULLDISK | disk full after the check, " << room / 1024 << " KB left | " << Describe(shown) << std::endl;
        EXPECT_TRUE(shown.failurePage) << text << "\n" << log;
        CloseAnswering(program);
        // Either the run's note or a file's backup or new content could not be written.
        EXPECT_TRUE(Contains(log, "\nUpgradeZorelVersion: ERROR: ")) << log;
        EXPECT_FALSE(Contains(log, "RenameTempFiles: Starting")) << log;
        DeleteFileA((drive_ + "\\filler2").c_str());
        ExpectInstallationIs("base");
        ExpectNoTempFiles();
    }

    // Room made: the same fix installs.
    RunOutcome installed = RunInstaller("\"" + fix + "\" nouser", away, program_, 60000);
    std::cout << "FULLDISK | room made | " << Describe(installed) << std::endl;
    EXPECT_EQ(0, installed.exitCode) << installed.log;
    ExpectInstallationIs("fix");
    ExpectNoTempFiles();
}

// The file copy that many steps share (backups of ZOREL.INI, restores from backup copies, the
// revert's copies for data directories): a copy the disk cannot hold fails and leaves no part of
// itself, which would later pass for a whole copy.
TEST_F(EngineFullDisk, ACopyTheDiskCannotHoldFailsAndLeavesNothing)
{
    const std::string from = fixture::ScratchDir("EngineFullDiskCopy") + "\\whole.bin";
    ASSERT_TRUE(fixture::WriteFile(from, std::string(512 * 1024, 'w')));
    const std::string to = dir_ + "\\copy.bin";
    LeaveRoom(drive_ + "\\filler1", drive_, 64 * 1024);
    EXPECT_FALSE(CopyFiles(from.c_str(), to.c_str()));
    EXPECT_FALSE(fixture::FileExists(to));
    DeleteFileA((drive_ + "\\filler1").c_str());
    EXPECT_TRUE(CopyFiles(from.c_str(), to.c_str()));
    EXPECT_TRUE(fixture::ReadFile(to) == fixture::ReadFile(from));
}

}  // namespace
