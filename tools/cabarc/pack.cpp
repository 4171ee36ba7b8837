// Packing: the files matched by the patterns go into one cabinet through cabinet.dll's FCI.
#include <windows.h>

#include <fci.h>
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <set>

#include "cabarc.h"
#include "cabio.h"
#include "names.h"

namespace {

// Uncompressed bytes per folder: later members stay reachable without inflating the whole cabinet.
const ULONG kFolderThreshold = 8u * 1024 * 1024;
// One cabinet holds everything; a larger result fails instead of spanning several cabinets.
const ULONG kCabinetLimit = 0x7FFF0000u;
// A member's offset in its folder is 32-bit and folders hold at most 65535 blocks of 32 KiB.
const ULONGLONG kMemberLimit = 0x7FFF8000ull;

struct Member {
    std::string source;  // path to read, as found from the current directory
    std::string stored;  // name in the cabinet (UTF-8 when utf8)
    ULONGLONG size;
    bool utf8;
};

struct PackState {
    bool nextIsUtf8 = false;
    DWORD openError = 0;
};

FNFCIALLOC(FciAlloc) { return std::malloc(cb); }
FNFCIFREE(FciFree) { std::free(memory); }
FNFCIOPEN(FciOpen) { (void)pmode; (void)pv; return cabio::Open(pszFile, oflag, err); }
FNFCIREAD(FciRead) { (void)pv; return cabio::Read(hf, memory, cb, err); }
FNFCIWRITE(FciWrite) { (void)pv; return cabio::Write(hf, memory, cb, err); }
FNFCICLOSE(FciClose) { (void)pv; return cabio::Close(hf, err); }
FNFCISEEK(FciSeek) { (void)pv; return cabio::Seek(hf, dist, seektype, err); }

FNFCIDELETE(FciDelete)
{
    (void)pv;
    if (!DeleteFileA(pszFile)) {
        *err = static_cast<int>(GetLastError());
        return -1;
    }
    return 0;
}

FNFCIGETTEMPFILE(FciTempFile)
{
    (void)pv;
    char dir[MAX_PATH], name[MAX_PATH];
    DWORD n = GetTempPathA(sizeof dir, dir);
    if (n == 0 || n >= sizeof dir || !GetTempFileNameA(dir, "fci", 0, name))
        return FALSE;
    // FCI creates the file itself (exclusively); only the unique name is wanted here.
    DeleteFileA(name);
    if (lstrlenA(name) >= cbTempName)
        return FALSE;
    lstrcpyA(pszTempName, name);
    return TRUE;
}

FNFCIFILEPLACED(FciFilePlaced)
{
    (void)pccab; (void)pszFile; (void)cbFile; (void)fContinuation; (void)pv;
    return 0;
}

FNFCIGETNEXTCABINET(FciNextCabinet)
{
    (void)pccab; (void)cbPrevCab; (void)pv;
    return FALSE;
}

FNFCISTATUS(FciStatus)
{
    (void)typeStatus; (void)cb1; (void)cb2; (void)pv;
    return 0;
}

FNFCIGETOPENINFO(FciOpenInfo)
{
    PackState* state = static_cast<PackState*>(pv);
    HANDLE h = CreateFileA(pszName, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    BY_HANDLE_FILE_INFORMATION info;
    if (h == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(h, &info)) {
        state->openError = GetLastError();
        *err = static_cast<int>(state->openError);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        return -1;
    }
    FILETIME local;
    if (!FileTimeToLocalFileTime(&info.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, pdate, ptime)) {
        *pdate = 0x21;  // 1980-01-01, the earliest time a cabinet can carry
        *ptime = 0;
    }
    *pattribs = static_cast<USHORT>(info.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                                             FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE));
    if (state->nextIsUtf8)
        *pattribs |= _A_NAME_IS_UTF;
    return reinterpret_cast<INT_PTR>(h);
}

const char* FciErrorText(int oper)
{
    switch (oper) {
    case FCIERR_OPEN_SRC: return "cannot open a file to pack";
    case FCIERR_READ_SRC: return "cannot read a file to pack";
    case FCIERR_ALLOC_FAIL: return "out of memory";
    case FCIERR_TEMP_FILE: return "cannot use a temporary file";
    case FCIERR_BAD_COMPR_TYPE: return "compression type not supported";
    case FCIERR_CAB_FILE: return "cannot write the cabinet";
    case FCIERR_USER_ABORT: return "aborted";
    case FCIERR_MCI_FAIL: return "compression failed";
    default: return "cabinet library failure";
    }
}

class Collector {
public:
    Collector(const PackOptions& options, const std::string& exclude) : options_(options), exclude_(exclude) {}

    // Adds the files matched by one pattern; returns how many it matched.
    size_t AddPattern(std::string pattern)
    {
        for (size_t i = 0; i < pattern.size(); ++i)
            if (pattern[i] == '/')
                pattern[i] = '\\';
        std::string dir, mask;
        DWORD attributes = GetFileAttributesA(pattern.c_str());
        bool wild = pattern.find_first_of("*?") != std::string::npos;
        if (!wild && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            dir = pattern;
            if (!dir.empty() && dir[dir.size() - 1] != '\\')
                dir += '\\';
            mask = "*";
        } else {
            size_t slash = pattern.find_last_of('\\');
            if (slash == std::string::npos && pattern.size() >= 2 && pattern[1] == ':')
                slash = 1;
            dir = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
            mask = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
        }
        if (mask == "*.*")
            mask = "*";
        size_t before = members_.size();
        Walk(dir, mask);
        return members_.size() - before;
    }

    const std::vector<Member>& members() const { return members_; }
    bool failed() const { return failed_; }

private:
    void Walk(const std::string& dir, const std::string& mask)
    {
        WIN32_FIND_DATAA found;
        std::string query = dir + "*";
        HANDLE find = FindFirstFileA(query.c_str(), &found);
        if (find == INVALID_HANDLE_VALUE) {
            DWORD error = GetLastError();
            // A missing directory, or a file where the pattern wants a directory, matches nothing.
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND && error != ERROR_NO_MORE_FILES &&
                error != ERROR_DIRECTORY && error != ERROR_INVALID_NAME) {
                cabio::Error("cannot list %s: %s", query.c_str(), cabio::SystemMessage(error).c_str());
                failed_ = true;
            }
            return;
        }
        std::vector<std::string> subdirs;
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                // Links and junctions are not followed: they may lead out of the tree or round in a loop.
                if (options_.recurse && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                    cabio::Error("warning: %s%s is a link or junction; not followed", dir.c_str(), name.c_str());
                else if (options_.recurse)
                    subdirs.push_back(dir + name + "\\");
            } else if (cabio::WildMatch(mask.c_str(), name.c_str())) {
                AddFile(dir + name, name,
                        (static_cast<ULONGLONG>(found.nFileSizeHigh) << 32) | found.nFileSizeLow);
            }
        } while (FindNextFileA(find, &found));
        DWORD error = GetLastError();
        FindClose(find);
        if (error != ERROR_NO_MORE_FILES) {
            cabio::Error("cannot list %s: %s", query.c_str(), cabio::SystemMessage(error).c_str());
            failed_ = true;
        }
        for (size_t i = 0; i < subdirs.size(); ++i)
            Walk(subdirs[i], mask);
    }

    void AddFile(const std::string& path, const std::string& name, ULONGLONG size)
    {
        std::string full = cabio::FullPath(path);
        std::string key = full;
        CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
        if (full.empty() || !seen_.insert(key).second || lstrcmpiA(full.c_str(), exclude_.c_str()) == 0)
            return;
        if (size > kMemberLimit) {
            cabio::Error("%s is too large for a cabinet", path.c_str());
            failed_ = true;
            return;
        }
        Member member;
        member.source = path;
        member.size = size;
        std::string stored = options_.keepPaths ? names::StoredName(path) : name;
        member.utf8 = !cabio::IsAscii(stored);
        if (member.utf8 && !cabio::AnsiToUtf8(stored, &member.stored)) {
            cabio::Error("cannot convert the name %s", path.c_str());
            failed_ = true;
            return;
        }
        if (!member.utf8)
            member.stored = stored;
        if (member.stored.size() >= CB_MAX_FILENAME) {
            cabio::Error("the name %s is too long for a cabinet", path.c_str());
            failed_ = true;
            return;
        }
        members_.push_back(member);
    }

    const PackOptions& options_;
    std::string exclude_;
    std::set<std::string> seen_;
    std::vector<Member> members_;
    bool failed_ = false;
};

}  // namespace

bool Pack(const std::string& cabinet, const std::vector<std::string>& patterns, const PackOptions& options)
{
    std::string cabFull = cabio::FullPath(cabinet);
    if (cabFull.empty())
        return cabio::Fail("bad cabinet path %s", cabinet.c_str());
    if (patterns.empty())
        return cabio::Fail("no files to pack into %s", cabinet.c_str());

    Collector collector(options, cabFull);
    for (size_t i = 0; i < patterns.size(); ++i)
        if (collector.AddPattern(patterns[i]) == 0)
            cabio::Error("warning: no files match %s", patterns[i].c_str());
    if (collector.failed())
        return false;
    const std::vector<Member>& members = collector.members();
    if (members.empty())
        return cabio::Fail("no files match; %s not written", cabinet.c_str());

    // FCI writes to a temporary name beside the cabinet, which replaces the cabinet when complete.
    size_t slash = cabFull.find_last_of('\\');
    std::string cabDir = cabFull.substr(0, slash + 1);
    if (!cabio::MakeDirectories(cabDir.substr(0, cabDir.size() - 1)))
        return cabio::Fail("cannot create the directory of %s: %s", cabinet.c_str(),
                           cabio::SystemMessage(GetLastError()).c_str());
    char tempName[MAX_PATH];
    if (!GetTempFileNameA(cabDir.c_str(), "cab", 0, tempName))
        return cabio::Fail("cannot create a temporary file in %s: %s", cabDir.c_str(),
                           cabio::SystemMessage(GetLastError()).c_str());
    std::string temp = tempName;
    std::string tempBase = temp.substr(temp.find_last_of('\\') + 1);
    if (cabDir.size() >= CB_MAX_CAB_PATH || tempBase.size() >= CB_MAX_CABINET_NAME) {
        DeleteFileA(temp.c_str());
        return cabio::Fail("the cabinet path %s is too long", cabinet.c_str());
    }

    CCAB ccab;
    ZeroMemory(&ccab, sizeof ccab);
    ccab.cb = kCabinetLimit;
    ccab.cbFolderThresh = kFolderThreshold;
    ccab.iCab = 1;
    ccab.setID = static_cast<USHORT>(GetTickCount());
    lstrcpyA(ccab.szCabPath, cabDir.c_str());
    lstrcpyA(ccab.szCab, tempBase.c_str());

    PackState state;
    ERF erf;
    ZeroMemory(&erf, sizeof erf);
    HFCI fci = FCICreate(&erf, FciFilePlaced, FciAlloc, FciFree, FciOpen, FciRead, FciWrite, FciClose, FciSeek,
                         FciDelete, FciTempFile, &ccab, &state);
    if (!fci) {
        DeleteFileA(temp.c_str());
        return cabio::Fail("cannot start the cabinet: %s", FciErrorText(erf.erfOper));
    }
    bool ok = true;
    ULONGLONG folderBytes = 0;
    for (size_t i = 0; ok && i < members.size(); ++i) {
        // A member that would take the folder past the threshold starts a new folder.
        if (folderBytes > 0 && folderBytes + members[i].size > kFolderThreshold) {
            ok = FCIFlushFolder(fci, FciNextCabinet, FciStatus) != FALSE;
            if (!ok) {
                cabio::Error("cannot finish a folder of %s: %s", cabinet.c_str(), FciErrorText(erf.erfOper));
                break;
            }
            folderBytes = 0;
        }
        folderBytes += members[i].size;
        state.nextIsUtf8 = members[i].utf8;
        state.openError = 0;
        ok = FCIAddFile(fci, const_cast<char*>(members[i].source.c_str()), const_cast<char*>(members[i].stored.c_str()),
                        FALSE, FciNextCabinet, FciStatus, FciOpenInfo, tcompTYPE_MSZIP) != FALSE;
        if (!ok) {
            std::string why = FciErrorText(erf.erfOper);
            if (erf.erfOper == FCIERR_OPEN_SRC && state.openError)
                why += ": " + cabio::SystemMessage(state.openError);
            cabio::Error("cannot add %s: %s", members[i].source.c_str(), why.c_str());
        }
    }
    if (ok) {
        ok = FCIFlushCabinet(fci, FALSE, FciNextCabinet, FciStatus) != FALSE;
        if (!ok)
            cabio::Error("cannot finish %s: %s", cabinet.c_str(), FciErrorText(erf.erfOper));
    }
    FCIDestroy(fci);
    if (ok && !MoveFileExA(temp.c_str(), cabFull.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        cabio::Error("cannot write %s: %s", cabinet.c_str(), cabio::SystemMessage(GetLastError()).c_str());
        ok = false;
    }
    if (!ok) {
        DeleteFileA(temp.c_str());
        return false;
    }
    std::printf("%u file(s) packed into %s\n", static_cast<unsigned>(members.size()), cabinet.c_str());
    return true;
}
