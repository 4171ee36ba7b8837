// UpdateVersion.exe: reads and rewrites the release text of the product's tessra.dll.
//
//   UpdateVersion.exe "PROGDIR" myversion read    writes the release text of PROGDIR\tessra.dll to
//                                                 PROGDIR\currver.txt (label text, no line end)
//   UpdateVersion.exe "PROGDIR" "LABEL" write     makes PROGDIR\tessra.dll carry LABEL (one that
//                                                 carries it already is not touched)
//
// Exit code 0 on success, 1 on failure (message on standard error), 2 for a bad command line.
// Both files are replaced only by a complete, checked temporary copy in the same directory.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "tessra.h"
#include "toolargs.h"

namespace {

const char kLibraryName[] = "tessra.dll";
const char kOutputName[] = "currver.txt";

int Fail(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::fputs("UpdateVersion: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputs("\n", stderr);
    va_end(args);
    return 1;
}

std::string JoinPath(const std::string& dir, const char* name)
{
    if (dir.empty())
        return name;
    char last = dir[dir.size() - 1];
    return (last == '\\' || last == '/') ? dir + name : dir + "\\" + name;
}

bool FileExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Reads the release text of a library; on failure returns false with a message in *error.
bool ReadReleaseText(const std::string& library, std::string* text, std::string* error)
{
    if (!FileExists(library)) {
        *error = "cannot find " + library;
        return false;
    }
    HMODULE module = LoadLibraryExA(library.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        char buf[64];
        std::snprintf(buf, sizeof buf, " (error %lu)", GetLastError());
        *error = "cannot load " + library + buf;
        return false;
    }
    const char* bytes = NULL;
    DWORD len = 0;
    bool found = TessraFindReleaseText(module, &bytes, &len) != FALSE;
    if (found)
        text->assign(bytes, len);
    FreeLibrary(module);
    if (!found)
        *error = library + " carries no release text";
    return found;
}

// A temporary file in the same directory as target, so that the final move is a rename.
bool MakeTempBeside(const std::string& target, std::string* temp)
{
    std::string dir = target;
    size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? "." : dir.substr(0, slash + 1);
    char name[MAX_PATH];
    if (!GetTempFileNameA(dir.c_str(), "uvt", 0, name))
        return false;
    *temp = name;
    return true;
}

int ReadCommand(const std::string& progDir)
{
    std::string output = JoinPath(progDir, kOutputName);
    // A currver.txt left from an earlier run must not pass for this run's answer.
    if (!DeleteFileA(output.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND)
        return Fail("cannot remove the old %s (error %lu)", output.c_str(), GetLastError());

    std::string text, error;
    if (!ReadReleaseText(JoinPath(progDir, kLibraryName), &text, &error))
        return Fail("%s", error.c_str());

    std::string temp;
    if (!MakeTempBeside(output, &temp))
        return Fail("cannot create a temporary file for %s (error %lu)", output.c_str(), GetLastError());
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, NULL) &&
              written == text.size();
    DWORD err = GetLastError();
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file) && ok) {
        ok = false;
        err = GetLastError();
    }
    if (ok && !MoveFileExA(temp.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ok = false;
        err = GetLastError();
    }
    if (!ok) {
        DeleteFileA(temp.c_str());
        return Fail("cannot write %s (error %lu)", output.c_str(), err);
    }
    return 0;
}

int WriteCommand(const std::string& progDir, const std::string& label)
{
    std::string library = JoinPath(progDir, kLibraryName);
    if (label.empty())
        return Fail("the release text to write is empty");

    std::string text, error;
    if (!ReadReleaseText(library, &text, &error))
        return Fail("%s", error.c_str());
    // A library that carries the label already is left byte for byte: a resource update lays the
    // whole section out anew, and a base release's library put back from its backup copy must
    // stay the file that release shipped.
    if (text == label)
        return 0;
    DWORD attributes = GetFileAttributesA(library.c_str());
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return Fail("%s is read-only", library.c_str());

    std::string temp;
    if (!MakeTempBeside(library, &temp))
        return Fail("cannot create a temporary file beside %s (error %lu)", library.c_str(), GetLastError());

    const char* step = "copy";
    bool ok = CopyFileA(library.c_str(), temp.c_str(), FALSE) != FALSE;
    if (ok) {
        step = "update the resources of";
        HANDLE update = BeginUpdateResourceA(temp.c_str(), FALSE);
        ok = update != NULL;
        if (ok) {
            ok = UpdateResourceA(update, TESSRA_RELEASE_TYPE, MAKEINTRESOURCEA(TESSRA_RELEASE_ID),
                                 TESSRA_RELEASE_LANG, const_cast<char*>(label.c_str()),
                                 static_cast<DWORD>(label.size() + 1)) != FALSE;
            if (!EndUpdateResourceA(update, ok ? FALSE : TRUE))
                ok = false;
        }
    }
    DWORD err = ok ? 0 : GetLastError();
    // The copy replaces the library only once it reads back as a library with the new text.
    if (ok && (!ReadReleaseText(temp, &text, &error) || text != label)) {
        DeleteFileA(temp.c_str());
        return Fail("the updated copy of %s does not read back the new release text", library.c_str());
    }
    if (ok) {
        step = "replace";
        ok = MoveFileExA(temp.c_str(), library.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
        err = ok ? 0 : GetLastError();
    }
    if (!ok) {
        DeleteFileA(temp.c_str());
        return Fail("cannot %s %s (error %lu)", step, library.c_str(), err);
    }
    return 0;
}

}  // namespace

int main()
{
    // The installer writes the tool's own path unquoted, so the arguments are taken from the end.
    std::vector<std::string> args = toolargs::Split(GetCommandLineA());
    if (args.size() >= 3) {
        const std::string& progDir = args[args.size() - 3];
        const std::string& value = args[args.size() - 2];
        const std::string& verb = args[args.size() - 1];
        if (lstrcmpiA(verb.c_str(), "read") == 0)
            return ReadCommand(progDir);
        if (lstrcmpiA(verb.c_str(), "write") == 0)
            return WriteCommand(progDir, value);
    }
    std::fputs("usage: UpdateVersion.exe \"PROGDIR\" myversion read\n"
               "       UpdateVersion.exe \"PROGDIR\" \"LABEL\" write\n", stderr);
    return 2;
}
