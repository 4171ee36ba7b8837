// Extraction: the cabinet's members are written below the destination through cabinet.dll's FDI.
// Each member goes to a temporary file beside its target and replaces the target only when it is
// complete, so a damaged cabinet never leaves a cut-off file in place of a good one.
#include <windows.h>

#include <fcntl.h>
#include <fdi.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "cabarc.h"
#include "cabio.h"
#include "names.h"

namespace {

struct Pending {
    std::string temp;
    std::string target;
    ULONGLONG expected;  // size recorded in the cabinet
    ULONGLONG written;
    DWORD oldAttributes;  // of the file being replaced, INVALID_FILE_ATTRIBUTES when there is none
};

struct ExtractState {
    const std::vector<std::string>* patterns;
    const ExtractOptions* options;
    std::string destination;  // full path, no trailing backslash
    std::map<INT_PTR, Pending> pending;
    std::set<std::string> checkedDirs;  // below the destination, known to be plain directories (upper case)
    std::string tempName;            // per-process name of the file being written, in its directory
    unsigned extracted = 0;
    unsigned matched = 0;
    bool failed = false;
};

// FDI's close callback has no context pointer; extraction runs once per process.
ExtractState* g_state = NULL;

FNALLOC(FdiAlloc) { return std::malloc(cb); }
FNFREE(FdiFree) { std::free(pv); }
FNOPEN(FdiOpen) { (void)pmode; return cabio::Open(pszFile, oflag, NULL); }
FNREAD(FdiRead) { return cabio::Read(hf, pv, cb, NULL); }
FNWRITE(FdiWrite)
{
    UINT put = cabio::Write(hf, pv, cb, NULL);
    if (g_state && put != static_cast<UINT>(-1)) {
        std::map<INT_PTR, Pending>::iterator it = g_state->pending.find(hf);
        if (it != g_state->pending.end())
            it->second.written += put;
    }
    return put;
}
FNSEEK(FdiSeek) { return cabio::Seek(hf, dist, seektype, NULL); }

void Discard(INT_PTR file, const Pending& pending)
{
    CloseHandle(reinterpret_cast<HANDLE>(file));
    DeleteFileA(pending.temp.c_str());
}

FNCLOSE(FdiClose)
{
    // An output file that FDI closes itself was abandoned part-way.
    if (g_state) {
        std::map<INT_PTR, Pending>::iterator it = g_state->pending.find(hf);
        if (it != g_state->pending.end()) {
            Discard(hf, it->second);
            g_state->pending.erase(it);
            return 0;
        }
    }
    return cabio::Close(hf, NULL);
}

bool Selected(const ExtractState& state, const std::string& stored)
{
    const std::vector<std::string>& patterns = *state.patterns;
    if (patterns.empty())
        return true;
    size_t slash = stored.find_last_of("\\/");
    std::string base = slash == std::string::npos ? stored : stored.substr(slash + 1);
    for (size_t i = 0; i < patterns.size(); ++i)
        if (patterns[i] == "*" || patterns[i] == "*.*" || cabio::WildMatch(patterns[i].c_str(), stored.c_str()) ||
            cabio::WildMatch(patterns[i].c_str(), base.c_str()))
            return true;
    return false;
}

bool Inside(const std::string& dir, const std::string& path)
{
    std::string prefix = dir + "\\";
    return path.size() > prefix.size() && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, path.c_str(),
                                                         static_cast<int>(prefix.size()), prefix.c_str(),
                                                         static_cast<int>(prefix.size())) == CSTR_EQUAL;
}

enum DirectoryCheck { kDirectoryReady, kDirectoryRefused, kDirectoryFailed };

// Makes sure that every directory from the destination down to dir exists and is a plain
// directory: a link or junction already in the destination could lead a member out of it.
DirectoryCheck PrepareDirectory(ExtractState& state, const std::string& dir, std::string* problem)
{
    std::string path = state.destination;
    std::vector<std::string> parts = names::Components(dir.substr(path.size()));
    for (size_t i = 0; i < parts.size(); ++i) {
        path += "\\" + parts[i];
        std::string key = path;
        CharUpperBuffA(&key[0], static_cast<DWORD>(key.size()));
        if (state.checkedDirs.count(key))
            continue;
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (!CreateDirectoryA(path.c_str(), NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
                *problem = "cannot create " + path + ": " + cabio::SystemMessage(GetLastError());
                return kDirectoryFailed;
            }
        } else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            *problem = path + " is a file, not a directory";
            return kDirectoryRefused;
        } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            *problem = path + " is a link or junction";
            return kDirectoryRefused;
        }
        state.checkedDirs.insert(key);
    }
    return kDirectoryReady;
}

INT_PTR OpenMember(ExtractState& state, PFDINOTIFICATION info)
{
    std::string stored = info->psz1;
    if (info->attribs & _A_NAME_IS_UTF) {
        std::string ansi;
        if (!cabio::Utf8ToAnsi(stored, &ansi)) {
            cabio::Error("member %s: name not representable in this code page; skipped", info->psz1);
            state.failed = true;
            return 0;
        }
        stored = ansi;
    }
    if (!Selected(state, stored))
        return 0;
    ++state.matched;
    std::string relative, reason;
    if (!names::ExtractPath(stored, state.options->keepPaths, &relative, &reason)) {
        cabio::Error("refused member %s: %s", stored.c_str(), reason.c_str());
        state.failed = true;
        return 0;
    }
    std::string target = cabio::FullPath(state.destination + "\\" + relative);
    if (!Inside(state.destination, target)) {
        cabio::Error("refused member %s: outside %s", stored.c_str(), state.destination.c_str());
        state.failed = true;
        return 0;
    }
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            cabio::Error("cannot extract %s: a directory of that name exists", target.c_str());
            state.failed = true;
            return 0;
        }
        if (!state.options->overwrite) {
            cabio::Error("%s exists; not overwritten (use -o)", target.c_str());
            state.failed = true;
            return 0;
        }
    }
    std::string dir = target.substr(0, target.find_last_of('\\'));
    std::string problem;
    DirectoryCheck check = PrepareDirectory(state, dir, &problem);
    if (check != kDirectoryReady) {
        cabio::Error("%s %s: %s", check == kDirectoryRefused ? "refused member" : "cannot extract", stored.c_str(),
                     problem.c_str());
        state.failed = true;
        return check == kDirectoryRefused ? 0 : -1;
    }
    // FDI writes one member at a time, so one temporary name per process serves every directory.
    std::string temp = dir + "\\" + state.tempName;
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        cabio::Error("cannot write in %s: %s", dir.c_str(), cabio::SystemMessage(GetLastError()).c_str());
        state.failed = true;
        return -1;
    }
    INT_PTR handle = reinterpret_cast<INT_PTR>(file);
    Pending pending;
    pending.temp = temp;
    pending.target = target;
    pending.expected = info->cb;
    pending.written = 0;
    pending.oldAttributes = attributes;
    state.pending[handle] = pending;
    return handle;
}

INT_PTR FinishMember(ExtractState& state, PFDINOTIFICATION info)
{
    std::map<INT_PTR, Pending>::iterator it = state.pending.find(info->hf);
    if (it == state.pending.end())
        return FALSE;
    Pending pending = it->second;
    state.pending.erase(it);
    HANDLE file = reinterpret_cast<HANDLE>(info->hf);
    // The cabinet library reports a member whose data ran out as complete: check its size.
    if (pending.written != pending.expected) {
        cabio::Error("member %s: %lu of %lu bytes could be read; not written", pending.target.c_str(),
                     static_cast<unsigned long>(pending.written), static_cast<unsigned long>(pending.expected));
        Discard(info->hf, pending);
        state.failed = true;
        return FALSE;
    }
    FILETIME local, utc;
    if (DosDateTimeToFileTime(info->date, info->time, &local) && LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file, &utc, &utc, &utc);
    bool ok = CloseHandle(file) != FALSE;
    DWORD old = pending.oldAttributes;
    if (ok && old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(pending.target.c_str(), FILE_ATTRIBUTE_NORMAL);
    ok = ok && MoveFileExA(pending.temp.c_str(), pending.target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    if (!ok) {
        cabio::Error("cannot write %s: %s", pending.target.c_str(), cabio::SystemMessage(GetLastError()).c_str());
        DeleteFileA(pending.temp.c_str());
        state.failed = true;
        return FALSE;
    }
    DWORD attributes = info->attribs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                        FILE_ATTRIBUTE_ARCHIVE);
    if (attributes & ~FILE_ATTRIBUTE_ARCHIVE)
        SetFileAttributesA(pending.target.c_str(), attributes);
    ++state.extracted;
    return TRUE;
}

FNFDINOTIFY(FdiNotify)
{
    ExtractState& state = *static_cast<ExtractState*>(pfdin->pv);
    switch (fdint) {
    case fdintCOPY_FILE:
        return OpenMember(state, pfdin);
    case fdintCLOSE_FILE_INFO:
        return FinishMember(state, pfdin);
    case fdintPARTIAL_FILE:
    case fdintNEXT_CABINET:
        cabio::Error("the cabinet continues in another cabinet; cabinet sets are not supported");
        state.failed = true;
        return -1;
    default:
        return 0;
    }
}

const char* FdiErrorText(int oper)
{
    switch (oper) {
    case FDIERROR_CABINET_NOT_FOUND: return "cabinet not found";
    case FDIERROR_NOT_A_CABINET: return "not a cabinet";
    case FDIERROR_UNKNOWN_CABINET_VERSION: return "unknown cabinet version";
    case FDIERROR_CORRUPT_CABINET: return "corrupt cabinet";
    case FDIERROR_ALLOC_FAIL: return "out of memory";
    case FDIERROR_BAD_COMPR_TYPE: return "unknown compression type";
    case FDIERROR_MDI_FAIL: return "damaged compressed data";
    case FDIERROR_TARGET_FILE: return "cannot write a member";
    case FDIERROR_RESERVE_MISMATCH: return "reserve size mismatch";
    case FDIERROR_WRONG_CABINET: return "wrong cabinet";
    case FDIERROR_USER_ABORT: return "aborted";
    default: return "cabinet library failure";
    }
}

}  // namespace

bool Extract(const std::string& cabinet, const std::vector<std::string>& patterns, const std::string& destination,
             const ExtractOptions& options)
{
    std::string cabFull = cabio::FullPath(cabinet);
    DWORD cabAttributes = GetFileAttributesA(cabFull.c_str());
    if (cabFull.empty() || cabAttributes == INVALID_FILE_ATTRIBUTES || (cabAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return cabio::Fail("cannot find the cabinet %s", cabinet.c_str());
    size_t slash = cabFull.find_last_of('\\');
    std::string cabDir = cabFull.substr(0, slash + 1);
    std::string cabName = cabFull.substr(slash + 1);

    ExtractState state;
    char tempName[64];
    std::snprintf(tempName, sizeof tempName, "~cabarc%lu.tmp", GetCurrentProcessId());
    state.tempName = tempName;
    state.patterns = &patterns;
    state.options = &options;
    state.destination = cabio::FullPath(destination.empty() ? std::string(".") : destination);
    while (state.destination.size() > 3 && state.destination[state.destination.size() - 1] == '\\')
        state.destination.erase(state.destination.size() - 1);
    if (state.destination.size() == 3 && state.destination[2] == '\\')
        state.destination.erase(2);  // drive root: members go to "X:\name"
    if (state.destination.empty() || !cabio::MakeDirectories(state.destination))
        return cabio::Fail("cannot create the destination %s", destination.c_str());

    ERF erf;
    ZeroMemory(&erf, sizeof erf);
    HFDI fdi = FDICreate(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek, cpuUNKNOWN, &erf);
    if (!fdi)
        return cabio::Fail("cannot start the cabinet library: %s", FdiErrorText(erf.erfOper));

    INT_PTR probe = cabio::Open(cabFull.c_str(), _O_RDONLY, NULL);
    FDICABINETINFO info;
    bool isCabinet = probe != -1 && FDIIsCabinet(fdi, probe, &info);
    if (probe != -1)
        cabio::Close(probe, NULL);
    if (!isCabinet) {
        FDIDestroy(fdi);
        return cabio::Fail("%s is not a cabinet", cabinet.c_str());
    }

    g_state = &state;
    BOOL copied = FDICopy(fdi, const_cast<char*>(cabName.c_str()), const_cast<char*>(cabDir.c_str()), 0, FdiNotify,
                          NULL, &state);
    int oper = erf.erfOper;
    FDIDestroy(fdi);
    for (std::map<INT_PTR, Pending>::iterator it = state.pending.begin(); it != state.pending.end(); ++it)
        Discard(it->first, it->second);
    state.pending.clear();
    g_state = NULL;

    if (!copied) {
        if (oper != FDIERROR_USER_ABORT || !state.failed)
            cabio::Error("cannot extract %s: %s", cabinet.c_str(), FdiErrorText(oper));
        return false;
    }
    if (!patterns.empty() && state.matched == 0)
        return cabio::Fail("no member of %s matches", cabinet.c_str());
    if (state.failed)
        return false;
    std::printf("%u file(s) extracted from %s\n", state.extracted, cabinet.c_str());
    return true;
}
