/* The base of the installer's test cases: each starts with no product installed, no installer
   running and no temporary log, in a scratch folder named after the test. */
#ifndef ZFIX_INSTALLER_TEST_H
#define ZFIX_INSTALLER_TEST_H

#include "fixture.h"
#include "robot.h"

#include <gtest/gtest.h>

#include <string>

class InstallerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /* The stub zfix.exe, quoted for a command line. */
    std::string Stub() const;
    /* A fix executable in the scratch folder, quoted for a command line. */
    std::string Package(const fixture::PackageOptions& options = fixture::PackageOptions());

    std::string dir_;
};

/* Waits for the program's next message box, answers it with button, and returns it. */
robot::MessageBoxInfo AnswerNextBox(robot::Program& program, int button);

/* Presses Close, confirms the abort question, and expects the run to end with exit code 0. */
void CloseWizard(robot::Program& program);

#endif
