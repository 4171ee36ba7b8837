#include "installer_test.h"

void InstallerTest::SetUp()
{
    fixture::EndStrayInstallers();
    fixture::RemoveProduct();
    DeleteFileA((fixture::TempDir() + "\\UPGRADE.LOG").c_str());
    dir_ = fixture::ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

void InstallerTest::TearDown()
{
    SetEnvironmentVariableA("LOCKUNCHECK", NULL);
    fixture::RemoveProduct();
}

std::string InstallerTest::Stub() const
{
    return "\"" + fixture::BinDir() + "\\zfix.exe\"";
}

std::string InstallerTest::Package(const fixture::PackageOptions& options)
{
    std::string path = dir_ + "\\fix.exe";
    EXPECT_TRUE(fixture::MakePackage(path, options));
    return "\"" + path + "\"";
}

robot::MessageBoxInfo AnswerNextBox(robot::Program& program, int button)
{
    robot::MessageBoxInfo box;
    EXPECT_TRUE(program.WaitMessageBox(&box)) << "no message box";
    if (box.hWnd)
        program.Answer(box, button);
    return box;
}

void CloseWizard(robot::Program& program)
{
    ASSERT_TRUE(program.Click(IDCANCEL));
    robot::MessageBoxInfo box = AnswerNextBox(program, IDYES);
    EXPECT_EQ("If you abort now your Zorel installation will be unchanged.  Are you sure you want to abort?", box.text);
    EXPECT_EQ(0, program.WaitExit());
}
