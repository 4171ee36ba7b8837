#include "installer/file_copy.h"

#include "installer/log.h"

#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>
#include <string>

namespace {

BOOL FileIdentity(const char* lpPath, BY_HANDLE_FILE_INFORMATION* lpInfo)
{
    HANDLE h = CreateFileA(lpPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;
    BOOL bOk = GetFileInformationByHandle(h, lpInfo);
    CloseHandle(h);
    return bOk;
}

/* The drive (or network share) a path lies on, from its full name. */
std::string DriveOf(const char* lpPath)
{
    char szFull[MAX_PATH * 2];
    DWORD cch = GetFullPathNameA(lpPath, sizeof(szFull), szFull, NULL);
    if (cch == 0 || cch >= sizeof(szFull))
        return std::string();
    std::string full(szFull);
    size_t end = 2;  /* "X:" */
    if (full.compare(0, 2, "\\\\") == 0) {  /* "\\server\share" */
        end = full.find('\\', 2);
        end = end == std::string::npos ? full.size() : full.find('\\', end + 1);
        if (end == std::string::npos)
            end = full.size();
    }
    std::string drive = full.substr(0, end);
    CharUpperBuffA(&drive[0], (DWORD)drive.size());
    return drive;
}

/* Two names on one drive. A second name for a file exists only within its volume; under Wine two
   drive letters can reach one file system, where a link across them would join files of two
   drives (which tell their files apart by drive). */
BOOL SameDrive(const char* lpOne, const char* lpOther)
{
    std::string one = DriveOf(lpOne);
    return !one.empty() && one == DriveOf(lpOther);
}

}  // namespace

BOOL SameFile(const char* lpOne, const char* lpOther)
{
    BY_HANDLE_FILE_INFORMATION one, other;
    if (!FileIdentity(lpOne, &one) || !FileIdentity(lpOther, &other))
        return FALSE;
    /* The size and the time as well: a volume's serial number does not tell apart every device
       that one drive letter reaches. */
    return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber && one.nFileIndexHigh == other.nFileIndexHigh &&
           one.nFileIndexLow == other.nFileIndexLow && one.nFileSizeHigh == other.nFileSizeHigh &&
           one.nFileSizeLow == other.nFileSizeLow &&
           CompareFileTime(&one.ftLastWriteTime, &other.ftLastWriteTime) == 0;
}

BOOL CopyFiles(const char* lpFrom, const char* lpTo)
{
    FILE* from = fopen(lpFrom, "rb");
    if (!from) {
        WriteLogF(0, "CopyFiles: ERROR: Can't open the FROM file %s for reading: err=%ld", lpFrom, (long)GetLastError());
        return FALSE;
    }
    if (SameFile(lpFrom, lpTo)) {  /* opening lpTo for writing would empty both */
        fclose(from);
        WriteLogF(4, "CopyFiles: Copied %s to %s", lpFrom, lpTo);
        return TRUE;
    }
    FILE* to = fopen(lpTo, "wb");
    if (!to) {
        WriteLogF(0, "CopyFiles: ERROR: Can't open the TO file %s for writing: err=%ld", lpTo, (long)GetLastError());
        fclose(from);
        return FALSE;
    }
    const size_t kBuffer = 256 * 1024;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kBuffer]);
    if (!buffer) {
        LOG_ALLOC_FAILURE();
        fclose(from);
        fclose(to);
        return FALSE;
    }
    /* A copy cut short (a full disk, a read error) is a failure, and is not left behind to pass
       for a whole copy later: the destination was emptied when it was opened. */
    BOOL bWhole = TRUE;
    DWORD dwError = 0;
    size_t n;
    while (bWhole && (n = fread(buffer.get(), 1, kBuffer, from)) > 0)
        bWhole = fwrite(buffer.get(), 1, n, to) == n;
    if (bWhole && ferror(from))
        bWhole = FALSE;
    if (!bWhole)
        dwError = GetLastError();
    fclose(from);
    if (fclose(to) != 0 && bWhole) {
        bWhole = FALSE;
        dwError = GetLastError();
    }
    if (!bWhole) {
        WriteLogF(0, "CopyFiles: ERROR: Copying %s to %s failed: err=%ld", lpFrom, lpTo, (long)dwError);
        DeleteFileA(lpTo);
        return FALSE;
    }
    WriteLogF(4, "CopyFiles: Copied %s to %s", lpFrom, lpTo);
    return TRUE;
}

BOOL KeepBackup(const char* lpFrom, const char* lpTo)
{
    if (SameDrive(lpFrom, lpTo)) {
        if (CreateHardLinkA(lpTo, lpFrom, NULL))
            return TRUE;
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_ALREADY_EXISTS || dwError == ERROR_FILE_EXISTS)
            return FALSE;
    }
    return CopyFileA(lpFrom, lpTo, TRUE);
}

BOOL DeleteTree(const char* lpPath)
{
    std::string list(lpPath);
    list.append(2, '\0');
    SHFILEOPSTRUCTA op;
    memset(&op, 0, sizeof(op));
    op.wFunc = FO_DELETE;
    op.pFrom = list.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT;
    int rc = SHFileOperationA(&op);
    return rc == 0 || op.fAnyOperationsAborted;
}
