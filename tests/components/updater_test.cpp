// The archive updaters' own routine, linked in, where the installer's engine does not reach: a
// backup name that is already absolute, and a call made while another directory is current.
#include "components/components.h"
#include "fixture.h"
#include "installer/globals.h"

#include <gtest/gtest.h>

#include <string>

using fixture::FileExists;
using fixture::ReadFile;

namespace {

void PutFile(const std::string& path, const std::string& content)
{
    size_t slash = path.find_last_of('\\');
    for (size_t i = path.find('\\', 3); i != std::string::npos && i <= slash; i = path.find('\\', i + 1))
        CreateDirectoryA(path.substr(0, i).c_str(), NULL);
    ASSERT_TRUE(fixture::WriteFile(path, content)) << path;
}

std::string CurrentDir()
{
    char dir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(dir), dir);
    return dir;
}

}  // namespace

// Upgrade with an absolute backup name: the backup lands there, not below the program directory;
// the revert unpacks it where it was packed from. The copied archive is deleted by its full path
// although another directory was current, and the program directory is current afterwards.
TEST(ProcessOsgi, AbsoluteBackupNameIsUsedAsItIs)
{
    const std::string dir = fixture::ScratchDir("AbsoluteBackupName"), program = dir + "\\PROGRAM";
    const std::string tree = program + "\\osgi\\shared\\eclipse\\plugins", back = dir + "\\elsewhere\\osgi0001.IIB";
    PutFile(tree + "\\old.jar", "old bundle");
    PutFile(dir + "\\new\\new.jar", "new bundle");
    CreateDirectoryA((dir + "\\elsewhere").c_str(), NULL);
    const std::string cabarc = fixture::BinDir() + "\\cabarc.exe";
    ASSERT_EQ(0, fixture::Run("\"" + cabarc + "\" -r -p n \"" + program + "\\UPTMP0001.TMP\" *", dir + "\\new"));

    static char szProgram[MAX_PATH];
    lstrcpyA(szProgram, program.c_str());
    gpProgramDir = szProgram;
    lstrcpyA(gszCabarcPath, cabarc.c_str());
    const char* archive = "osgi\\shared\\eclipse\\plugins\\osgi_plugins.cab";

    giMode = MODE_UPGRADE;
    SetCurrentDirectoryA(dir.c_str());
    EXPECT_EQ(1, ProcessOsgi(archive, "UPTMP0001.TMP", back.c_str()));
    EXPECT_EQ(program, CurrentDir());
    EXPECT_TRUE(FileExists(back));
    EXPECT_EQ("new bundle", ReadFile(tree + "\\new.jar"));
    EXPECT_FALSE(FileExists(tree + "\\old.jar"));
    EXPECT_FALSE(FileExists(tree + "\\osgi_plugins.cab"));

    giMode = MODE_REVERT;
    ASSERT_TRUE(CopyFileA(back.c_str(), (program + "\\UPTMP0001.TMP").c_str(), FALSE));
    SetCurrentDirectoryA(dir.c_str());
    EXPECT_EQ(1, ProcessOsgi(archive, "UPTMP0001.TMP", back.c_str()));
    EXPECT_EQ(program, CurrentDir());
    EXPECT_EQ("old bundle", ReadFile(tree + "\\old.jar"));
    EXPECT_FALSE(FileExists(tree + "\\new.jar"));
    EXPECT_FALSE(FileExists(tree + "\\osgi"));
    EXPECT_FALSE(FileExists(tree + "\\osgi_plugins.cab"));
    SetCurrentDirectoryA(fixture::BinDir().c_str());
    gpProgramDir = NULL;
}
