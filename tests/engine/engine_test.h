/* What the upgrade engine's tests share: the trees of a base release and a fix of the sample product
   with files in the program, data and system directories, fixes built from them by zfixbuild,
   installations of the base release, and the comparison of an installation with a tree. */
#ifndef ZFIX_ENGINE_TEST_H
#define ZFIX_ENGINE_TEST_H

#include "identify_test.h"
#include "installer_test.h"
#include "package/fix_record.h"

#include <functional>
#include <map>
#include <string>

extern const char kLabelDir[];

/* A file of the fix as its description lists it. */
struct FixFile {
    uint32_t entry = 0;
    uint32_t operation = 0;
    uint32_t dir = 0;
};

class EngineTest : public InstallerTest {
protected:
    static void SetUpTestSuite();
    void TearDown() override;

    /* A fix of the kind "hotfix", "fixpack" or "plain" built by zfixbuild from the trees. */
    static std::string Fix(const std::string& kind);
    /* The fix built from the trees below trees_ as a description names them (Fix's: kind, the
       fix label and the program directory's tree "fix\\program"), as trees_\\name.exe. */
    static std::string FixOf(const std::string& name, const std::string& kind, const std::string& fixLabel,
                             const std::string& programTree);
    /* The files of a fix by entry name. */
    static std::map<std::string, FixFile> FilesOf(const std::string& fix);
    /* A copy of a fix with FILEENTRY/n's payload replaced (compressed anew) by content. */
    std::string WithPayload(const std::string& fix, int n, const std::string& content);

    /* The base release with two data directories and the system files; its program directory. */
    std::string InstallBase();
    /* Every file of the tree ("base" or "fix") in the installation, byte for byte, and no file of
       the other tree that this one lacks; except names a program file left out. */
    void ExpectInstallationIs(const std::string& tree, const std::string& except = std::string());
    /* Backup copies of the fix's patched, replaced and removed files in the label directory equal
       the base files; for a plain fix those of replaced and removed files lie beside the files. */
    void ExpectBackups(const std::string& fix, bool beside);
    /* No "UPTMP*.TMP" in the program directory. */
    void ExpectNoTempFiles();

    std::string program_;   /* the installation's program directory */
    static std::string trees_;
    static std::string system_;   /* the system directory the installer uses */
};

/* Runs the fix unattended (arguments after its path: "nouser", or "nouser revert LABEL") within
   the time limit; its exit code (-1: it did not end). */
int RunUnattended(const std::string& fix, const std::string& dir, const std::string& arguments = "nouser");
/* Drives the wizard through licence, directories and identification to the progress page;
   beforeUpgrade runs after the verification, before Next starts the upgrade. */
void StartWizardUpgrade(robot::Program& program, const std::function<void()>& beforeUpgrade = nullptr);
/* Waits for the finish or failure text in the message area; it. */
std::string WaitUpgradeResult(robot::Program& program);

#endif
