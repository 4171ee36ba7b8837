#include "fixture.h"

#include "package/checksum.h"
#include "package/file_entry.h"
#include "package/fix_format.h"
#include "package/fix_record.h"
#include "package/implode.h"
#include "tools/zfixbuild/fix_build.h"
#include "tools/zfixbuild/fix_writer.h"

#include <zlib.h>

#include <stdio.h>
#include <string.h>

namespace fixture {

std::string BinDir()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof(path));
    char* slash = strrchr(path, '\\');
    if (slash)
        *slash = '\0';
    return path;
}

void ForEachEntry(const std::string& dir, const std::function<void(const std::string&, bool)>& visit)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = fd.cFileName;
        if (name != "." && name != "..")
            visit(name, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

bool RemoveTree(const std::string& path)
{
    ForEachEntry(path, [&](const std::string& name, bool isDir) {
        std::string child = path + "\\" + name;
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (isDir)
            RemoveTree(child);
        else
            DeleteFileA(child.c_str());
    });
    return RemoveDirectoryA(path.c_str()) != FALSE;
}

std::string ScratchDir(const std::string& name)
{
    std::string base = BinDir() + "\\..\\scratch";
    CreateDirectoryA(base.c_str(), NULL);
    char full[MAX_PATH];
    GetFullPathNameA((base + "\\" + name).c_str(), sizeof(full), full, NULL);
    RemoveTree(full);
    CreateDirectoryA(full, NULL);
    return full;
}

void CopyTree(const std::string& from, const std::string& to)
{
    CreateDirectoryA(to.c_str(), NULL);
    ForEachEntry(from, [&](const std::string& name, bool isDir) {
        if (isDir)
            CopyTree(from + "\\" + name, to + "\\" + name);
        else
            CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE);
    });
}

std::string CommandLineDir(const std::string& name)
{
    std::string dir = TempDir() + "\\" + name;
    RemoveTree(dir);
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

std::string ReadFile(const std::string& path)
{
    std::string content;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return content;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0)
        content.append(buf, n);
    fclose(f);
    return content;
}

bool WriteFile(const std::string& path, const std::string& content)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(content.data(), 1, content.size(), f) == content.size();
    return fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

std::string TempDir()
{
    char temp[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("TEMP", temp, sizeof(temp));
    return n ? std::string(temp) : std::string("\\TEMP");
}

std::string TempLog()
{
    return ReadFile(TempDir() + "\\UPGRADE.LOG");
}

bool WaitTempLog(const std::string& part, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (Contains(TempLog(), part))
            return true;
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

static std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

static uint32_t Crc(const std::string& bytes)
{
    return zfix::Crc32(bytes.data(), bytes.size());
}

/* VERSION/1 and the FILEENTRY/UPDATE pairs of the package's files, written as the builder
   writes them. */
static bool AddFiles(HANDLE hUpdate, const PackageOptions& options)
{
    zfixbuild::BuiltFix fix;
    for (const PackageFile& f : options.files) {
        zfixbuild::BuiltEntry e;
        e.name = f.name;
        e.entry = zfix::FILEENTRY();
        e.entry.dwOperation = f.operation;
        e.entry.dwDir = f.dir;
        e.entry.dwOldSize = (uint32_t)f.before.size();
        e.entry.dwNewSize = (uint32_t)f.content.size();
        e.entry.dwOldChecksum = Crc(f.before);
        e.entry.dwNewChecksum = Crc(f.content);
        e.payload = zfix::MakeCompressedResource(f.content.data(), f.content.size());
        fix.entries.push_back(e);
    }
    zfix::FIXRECORD record = {};
    zfix::MakeLabelField(options.oldLabel.c_str(), record.header.canOldLabel);
    zfix::MakeLabelField(options.newLabel.c_str(), record.header.canNewLabel);
    record.header.dwUpgradeType = options.upgradeType;
    record.header.dwFileEntries = (uint32_t)options.files.size();
    record.header.dwListedFiles = (uint32_t)options.files.size();
    zfixbuild::ListFiles(fix.entries, &record);
    fix.version = zfix::WriteFixRecord(record);
    std::string why;
    return zfixbuild::AddFixEntries(hUpdate, fix, &why);
}

bool WaitFileHeld(const std::string& path)
{
    for (int i = 0; i < 500; ++i) {
        FILE* f = fopen(path.c_str(), "r+b");
        if (!f)
            return true;
        fclose(f);
        Sleep(20);
    }
    return false;
}

static void PngChunk(std::string& out, const char* type, const std::string& data)
{
    std::string body = std::string(type, 4) + data;
    uint32_t n = (uint32_t)data.size(), crc = Crc(body);
    const unsigned char len[4] = {(unsigned char)(n >> 24), (unsigned char)(n >> 16), (unsigned char)(n >> 8), (unsigned char)n};
    const unsigned char sum[4] = {(unsigned char)(crc >> 24), (unsigned char)(crc >> 16), (unsigned char)(crc >> 8), (unsigned char)crc};
    out.append((const char*)len, 4);
    out += body;
    out.append((const char*)sum, 4);
}

bool WritePng(const std::string& path, int width, int height, const std::vector<DWORD>& pixels)
{
    if (width <= 0 || height <= 0 || pixels.size() != (size_t)width * height)
        return false;
    std::string raw;
    raw.reserve((size_t)height * (width * 3 + 1));
    for (int y = 0; y < height; ++y) {
        raw += '\0';  // no filter
        for (int x = 0; x < width; ++x) {
            DWORD p = pixels[(size_t)y * width + x];
            raw += (char)((p >> 16) & 0xFF);
            raw += (char)((p >> 8) & 0xFF);
            raw += (char)(p & 0xFF);
        }
    }
    uLongf packedSize = compressBound((uLong)raw.size());
    std::string packed(packedSize, '\0');
    if (compress((Bytef*)&packed[0], &packedSize, (const Bytef*)raw.data(), (uLong)raw.size()) != Z_OK)
        return false;
    packed.resize(packedSize);
    const unsigned char header[13] = {(unsigned char)(width >> 24), (unsigned char)(width >> 16), (unsigned char)(width >> 8),
                                      (unsigned char)width, (unsigned char)(height >> 24), (unsigned char)(height >> 16),
                                      (unsigned char)(height >> 8), (unsigned char)height, 8, 2, 0, 0, 0};
    std::string png("\x89PNG\r\n\x1a\n", 8);
    PngChunk(png, "IHDR", std::string((const char*)header, 13));
    PngChunk(png, "IDAT", packed);
    PngChunk(png, "IEND", "");
    return WriteFile(path, png);
}

std::string Compressed(const std::string& content)
{
    std::vector<uint8_t> bytes = zfix::MakeCompressedResource(content.data(), content.size());
    return std::string(bytes.begin(), bytes.end());
}

bool MakePackage(const std::string& path, const PackageOptions& options)
{
    if (!CopyFileA((BinDir() + "\\zfix.exe").c_str(), path.c_str(), FALSE))
        return false;
    HANDLE hUpdate = BeginUpdateResourceA(path.c_str(), FALSE);
    if (!hUpdate)
        return false;
    bool ok = true;
    if (options.license)
        ok = zfixbuild::AddCompressedResource(hUpdate, zfix::RESTYPE_LICENSEENTRY, Bytes(options.licenseText)) && ok;
    if (options.updateVersion)
        ok = zfixbuild::AddCompressedResource(hUpdate, zfix::RESTYPE_UPDATE64ENTRY,
                                              Bytes(ReadFile(BinDir() + "\\UpdateVersion.exe"))) && ok;
    if (options.cabarc)
        ok = zfixbuild::AddCompressedResource(hUpdate, zfix::RESTYPE_UPDATECABENTRY,
                                              Bytes(ReadFile(BinDir() + "\\cabarc.exe"))) && ok;
    if (!options.files.empty())
        ok = AddFiles(hUpdate, options) && ok;
    for (const RawResource& r : options.raw)
        ok = zfixbuild::AddResource(hUpdate, r.type.c_str(), (unsigned)r.id, std::vector<uint8_t>(r.bytes.begin(), r.bytes.end())) && ok;
    return EndUpdateResourceA(hUpdate, !ok) && ok;
}

int Run(const std::string& commandLine, const std::string& dir)
{
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    std::string cmd = commandLine;
    if (!CreateProcessA(NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL, dir.empty() ? NULL : dir.c_str(), &si, &pi))
        return -1;
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return (int)code;
}

int Setup(const std::string& arguments)
{
    return Run("\"" + BinDir() + "\\zsetup.exe\" " + arguments);
}

std::string InstallProduct(const std::string& root, const std::string& options)
{
    if (Setup("install \"" + root + "\" " + options) != 0)
        return std::string();
    return root + "\\PROGRAM";
}

void RemoveProduct()
{
    Setup("remove");
}

void EndStrayInstallers()
{
    HWND hWnd;
    while ((hWnd = FindWindowA("UPZOREL", NULL)) != NULL) {
        DWORD pid = 0;
        GetWindowThreadProcessId(hWnd, &pid);
        HANDLE hProcess = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
        if (!hProcess)
            break;
        TerminateProcess(hProcess, 99);
        WaitForSingleObject(hProcess, 5000);
        CloseHandle(hProcess);
    }
}

}  // namespace fixture
