/* What the component tests share: the trees of a base release and a fix of the sample product in
   which every component tree changes (the JVM, the web server, the OSGi plug-ins below the program
   directory; the script library and the editor below the data directories), fixes built from them
   by zfixbuild, installations of the base release by zsetup.exe, and tree comparisons. */
#ifndef ZFIX_COMPONENT_TEST_H
#define ZFIX_COMPONENT_TEST_H

#include "engine_test.h"

#include <string>
#include <vector>

/* A component tree: below the program directory or below each data directory. */
struct ComponentTree {
    bool data;
    const char* path;
};
extern const ComponentTree kComponentTrees[6];

class ComponentTest : public InstallerTest {
protected:
    static void SetUpTestSuite();

    /* The hotfix built from the trees. */
    static std::string Fix(const std::string& kind = "hotfix");
    /* A copy of the fix in which the file list, the checksum table and the file entry name
       lpFrom as lpTo. */
    std::string RenamedFix(const std::string& from, const std::string& to);

    /* The base release with partitions data directories; its program directory. */
    std::string InstallBase(int partitions = 2);
    /* The data directory i (1-based) of the installation. */
    std::string Data(int i) const;
    /* Each component tree of the installation holds exactly the files of the tree ("base" or
       "fix"), byte for byte. */
    void ExpectComponentsAre(const std::string& tree, int partitions = 2);
    /* The installation's folder (below the program directory, or below data directory i) holds
       exactly the files of expected, byte for byte. */
    static void ExpectSameFiles(const std::string& expected, const std::string& installed);
    /* The backup copy in the label directory whose name begins with stem ("jvm" gives
       jvm0001.IIB); empty when there is none. */
    std::string BackupOf(const std::string& stem) const;
    /* Unpacks a cabinet with the carried cabarc.exe into a new folder; the folder. */
    std::string Unpacked(const std::string& cabinet, const std::string& name);

    std::string program_;
    int partitions_ = 2;
    static std::string trees_;
};

/* Writes a file, making its folders. */
void PutFile(const std::string& path, const std::string& content);
/* Relative paths of the files below a folder, sorted, upper-cased. */
std::vector<std::string> FilesIn(const std::string& root);

#endif
