/* What the installer's tests share: scratch folders, fix executables assembled from the stub,
   sample installations laid by zsetup.exe, and the installer's logs. */
#ifndef ZFIX_TEST_FIXTURE_H
#define ZFIX_TEST_FIXTURE_H

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

namespace fixture {

/* Folder of the test program, where zfix.exe, zsetup.exe and the tools are. */
std::string BinDir();
/* A new, empty folder below the build tree's scratch folder. */
std::string ScratchDir(const std::string& name);
bool RemoveTree(const std::string& path);
/* Calls visit(name, isDirectory) for each entry of a folder ("." and ".." left out). */
void ForEachEntry(const std::string& dir, const std::function<void(const std::string&, bool)>& visit);
/* Copies a folder with everything below it. */
void CopyTree(const std::string& from, const std::string& to);

std::string ReadFile(const std::string& path);
bool WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);
/* The lines of a text, without their line ends. */
std::vector<std::string> Lines(const std::string& text);
bool Contains(const std::string& text, const std::string& part);

/* A new, empty folder below the temporary directory, for command lines: the installer cuts its
   command line at every '-', '/' and blank, so a path given to it must hold none of them. */
std::string CommandLineDir(const std::string& name);

/* The temporary directory the installer uses ("TEMP") and its UPGRADE.LOG. */
std::string TempDir();
std::string TempLog();
/* Waits until the temporary log holds part. */
bool WaitTempLog(const std::string& part, DWORD timeoutMs = 15000);

struct PackageFile {
    std::string name;          /* entry name, may hold a subdirectory */
    uint32_t operation = 2;    /* FE_REPLACE */
    uint32_t dir = 1;          /* DIR_PROGRAM */
    std::string content;       /* the payload before compression */
    std::string before;        /* the file as installed before the fix */
};

/* A resource written as given, over what the package would otherwise carry under that name. */
struct RawResource {
    std::string type;
    int id;
    std::string bytes;
};

struct PackageOptions {
    bool license = true;
    bool updateVersion = true;
    bool cabarc = true;
    std::string licenseText = "Sample licence.\r\nUse at your own risk.\r\n";
    /* With files, the package also carries VERSION/1 and FILEENTRY/n + UPDATE/n pairs. */
    std::vector<PackageFile> files;
    uint32_t upgradeType = 1;
    std::string oldLabel = "Release 14.5.1FP1|May 21, 2026";
    std::string newLabel = "Release 14.5.1FP1 HF21|September 21, 2026";
    /* Written last, so that a test can put a damaged resource in place of a sound one. */
    std::vector<RawResource> raw;
};

/* A compressed resource (stated size, then the stream) of content. */
std::string Compressed(const std::string& content);

/* Copies the stub zfix.exe to path and adds the carried resources, compressed. */
bool MakePackage(const std::string& path, const PackageOptions& options = PackageOptions());

/* Waits until another process holds path so that it cannot be opened for writing. */
bool WaitFileHeld(const std::string& path);

/* Writes 32-bit BGRA pixels (top row first) as an RGB PNG file. */
bool WritePng(const std::string& path, int width, int height, const std::vector<DWORD>& pixels);

/* Runs zsetup.exe with the arguments; its exit code. */
int Setup(const std::string& arguments);
/* A sample installation under root (program directory root\PROGRAM); empty on failure. */
std::string InstallProduct(const std::string& root, const std::string& options = std::string());
void RemoveProduct();

/* Ends installers that an earlier, interrupted test left running (their window would make every
   new installer give way to them). */
void EndStrayInstallers();

/* Runs a command line and waits; its exit code. */
int Run(const std::string& commandLine, const std::string& dir = std::string());

}  // namespace fixture

#endif
