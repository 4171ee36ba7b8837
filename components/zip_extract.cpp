#include "components/zip_extract.h"

#include "installer/log.h"
#include "installer/text.h"
#include "installer/file_copy.h"
#include "installer/memory_blocks.h"
#include "installer/paths.h"
#include "package/names.h"

#include <windows.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace {

const unsigned kReadBuffer = 16384;
const size_t kNameBuffer = 256;

/* The name after the last '/' or '\'. */
const char* NameWithoutPath(const char* lpName)
{
    const char* name = lpName;
    for (const char* p = lpName; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}

/* Whether a stored name stays below the destination: no "..", no root, drive or stream name.
   A directory member's trailing separator is not an empty step. */
bool StaysBelow(const char* lpName) { return zfix::MemberStaysInside(lpName); }

/* Asks whether an existing file may be replaced; 'Y', 'N' or 'A'. */
char AskOverwrite(const char* lpName)
{
    char szText[kNameBuffer + 64];
    FormatText(szText, sizeof(szText), "The file %s exists. Overwrite ? [y]es, [n]o, [A]ll: ", lpName);
    MessageBoxA(NULL, szText, "Info", MB_OK);
    WriteLog(szText, 2);
    for (;;) {
        int c = getchar();
        if (c == EOF)
            exit(1);
        c = toupper(c);
        if (c == 'Y' || c == 'N' || c == 'A')
            return (char)c;
    }
}

/* Writes the open member into f; 0, the read error, or -1 when writing fails. *pTotal: the
   bytes written. */
int CopyMember(unzFile uf, FILE* f, char* buffer, ZPOS64_T* pTotal)
{
    *pTotal = 0;
    for (;;) {
        int n = unzReadCurrentFile(uf, buffer, kReadBuffer);
        if (n < 0) {
            WriteLogF(2, "error %d with zipfile in unzReadCurrentFile\n", n);
            return n;
        }
        if (n == 0)
            return 0;
        if (fwrite(buffer, 1, (size_t)n, f) != (size_t)n) {
            MessageBoxA(NULL, "error in writing extracted file\n", "Error", MB_OK);
            WriteLog("error in writing extracted file\n", 2);
            return -1;
        }
        *pTotal += (ZPOS64_T)n;
    }
}

}  // namespace

void MakeDirChain(const char* lpPath)
{
    char szPath[260];
    size_t len = strlen(lpPath);
    if (len >= sizeof(szPath))
        return;
    for (size_t i = 0; i < len; ++i) {
        szPath[i] = lpPath[i];
        szPath[i + 1] = '\0';
        if (lpPath[i] == '/' || lpPath[i] == '\\')
            CreateDirectoryA(szPath, NULL);
    }
    if (len)
        CreateDirectoryA(lpPath, NULL);
}

int ExtractZipMember(unzFile uf, const int* pbWithoutPath, int* pbOverwrite, const char* lpPassword)
{
    char szName[kNameBuffer];
    unz_file_info64 info;
    int err = unzGetCurrentFileInfo64(uf, &info, szName, sizeof(szName), NULL, 0, NULL, 0);
    if (err != UNZ_OK) {
        WriteLogF(2, "error %d with zipfile in unzGetCurrentFileInfo\n", err);
        return err;
    }
    /* A cut name would name another file; the buffer is ended either way, for the log line. */
    if (!zfix::MemberNameWhole(szName, sizeof(szName), info.size_filename)) {
        WriteLogF(0, "Refused the zip member %s...: its name of %lu characters is too long", szName,
                  (unsigned long)info.size_filename);
        return ZIP_MEMBER_REFUSED;
    }
    if (!StaysBelow(szName)) {
        WriteLogF(0, "Refused the zip member %s: its path leaves the destination directory", szName);
        return ZIP_MEMBER_REFUSED;
    }
    char* buffer = (char*)malloc(kReadBuffer);
    if (!buffer) {
        MessageBoxA(NULL, "Error allocating memory\n", "Error", MB_OK);
        return -104;
    }
    const char* lpShort = NameWithoutPath(szName);
    if (!*lpShort) {
        if (!*pbWithoutPath) {
            WriteLogF(2, "creating directory: %s\n", szName);
            CreateDirectoryA(szName, NULL);
        }
        free(buffer);
        return 0;
    }

    const char* lpOut = *pbWithoutPath ? lpShort : szName;
    err = unzOpenCurrentFilePassword(uf, lpPassword);
    if (err != UNZ_OK)
        WriteLogF(2, "error %d with zipfile in unzOpenCurrentFilePassword\n", err);
    bool bSkip = false;
    if (!*pbOverwrite && err == UNZ_OK && DoesFileExist(lpOut)) {
        char c = AskOverwrite(lpOut);
        if (c == 'N')
            bSkip = true;
        if (c == 'A')
            *pbOverwrite = 1;
    }

    FILE* f = NULL;
    if (!bSkip && err == UNZ_OK) {
        f = fopen(lpOut, "wb");
        if (!f && !*pbWithoutPath && lpShort != szName) {
            std::string dir(szName, (size_t)(lpShort - szName - 1));
            MakeDirChain(dir.c_str());
            f = fopen(lpOut, "wb");
        }
        if (!f) {
            WriteLogF(2, "error opening %s\n", lpOut);
            err = -1;  /* a member left out: the extraction is not whole */
        }
    }
    if (f) {
        ZPOS64_T written = 0;
        err = CopyMember(uf, f, buffer, &written);
        /* A data stream that ends early reads as complete, and its checksum is not compared then. */
        if (err == 0 && written != info.uncompressed_size) {
            WriteLogF(2, "error extracting %s: %lu of %lu bytes\n", lpOut, (unsigned long)written,
                      (unsigned long)info.uncompressed_size);
            err = UNZ_BADZIPFILE;
        }
        /* Data that did not reach the disk (a full disk shows only at the close) is a failed write. */
        if (fclose(f) != 0 && err == 0) {
            MessageBoxA(NULL, "error in writing extracted file\n", "Error", MB_OK);
            WriteLog("error in writing extracted file\n", 2);
            err = -1;
        }
    }
    if (err == UNZ_OK) {
        err = unzCloseCurrentFile(uf);
        if (err != UNZ_OK)
            WriteLogF(2, "error %d with zipfile in unzCloseCurrentFile\n", err);
    } else {
        unzCloseCurrentFile(uf);
    }
    free(buffer);
    return err;
}

int ExtractZipAll(unzFile uf, int bWithoutPath, int bOverwrite, const char* lpPassword)
{
    unz_global_info64 gi;
    memset(&gi, 0, sizeof(gi));
    int result = unzGetGlobalInfo64(uf, &gi);
    if (result != UNZ_OK)
        WriteLogF(2, "error %d with zipfile in unzGetGlobalInfo \n", result);
    for (ZPOS64_T i = 0; i < gi.number_entry; ++i) {
        int err = ExtractZipMember(uf, &bWithoutPath, &bOverwrite, lpPassword);
        if (err == ZIP_MEMBER_REFUSED) {
            /* Refused members are passed over; the members after them are still extracted. */
            if (result == UNZ_OK)
                result = err;
        } else if (err != UNZ_OK) {
            result = err;
            break;
        }
        if (i + 1 < gi.number_entry) {
            err = unzGoToNextFile(uf);
            if (err != UNZ_OK) {
                WriteLogF(2, "error %d with zipfile in unzGoToNextFile\n", err);
                result = err;
                break;
            }
        }
    }
    return result;
}
