#include "installer/file_copy.h"

#include "installer/log.h"

#include <stdio.h>
#include <string.h>

#include <memory>
#include <new>
#include <string>

BOOL CopyFiles(const char* lpFrom, const char* lpTo)
{
    FILE* from = fopen(lpFrom, "rb");
    if (!from) {
        WriteLogF(0, "CopyFiles: ERROR: Can't open the FROM file %s for reading: err=%ld", lpFrom, (long)GetLastError());
        return FALSE;
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
    size_t n;
    while ((n = fread(buffer.get(), 1, kBuffer, from)) > 0)
        fwrite(buffer.get(), 1, n, to);
    fclose(from);
    fclose(to);
    WriteLogF(4, "CopyFiles: Copied %s to %s", lpFrom, lpTo);
    return TRUE;
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
