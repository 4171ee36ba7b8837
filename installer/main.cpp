/* One installer run: start-up, the wizard's message loop, and the exit sequence. */
#include "engine/resume.h"
#include "installer/cmdline.h"
#include "installer/globals.h"
#include "installer/location.h"
#include "installer/log.h"
#include "installer/resources.h"
#include "installer/text.h"
#include "installer/file_copy.h"
#include "installer/memory_blocks.h"
#include "identify/probe.h"
#include "records/listing.h"
#include "resources/resource.h"
#include "ui/dialog.h"
#include "installer/gauge.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

static BOOL gbLogOpened = FALSE;

static void ErrorBox(const char* lpText, const char* lpCaption)
{
    MessageBoxA(NULL, lpText, lpCaption, MB_OK | MB_ICONERROR);
}

/* A start-up failure: logged; unattended the run ends at once with exit code 1, else the
   text is shown and the caller ends the run. */
static void StartupFailure(const char* lpText)
{
    WriteLog(lpText, 0);
    if (Unattended())
        exit(1);
    ErrorBox(lpText, "Error");
}

static void SetTempDir(void)
{
    free(gpTempDir);
    gpTempDir = _strdup(TempDirectoryName());
    CreateDirectoryA(gpTempDir, NULL);
}

/* Writes a memory block to a new file; FALSE after the log lines when it cannot be written whole. */
static BOOL WriteBlockToFile(const char* lpName, HGLOBAL hBlock, DWORD dwLength)
{
    FILE* f = fopen(lpName, "w+b");
    if (!f) {
        DWORD err = GetLastError();
        WriteLogF(2, "Failed to open the temp file %s.", lpName);
        WriteLogF(2, "error: %d", (int)err);
        return FALSE;
    }
    const void* data = dwLength ? LockBlock(hBlock) : NULL;
    BOOL bWritten = !dwLength || (data && fwrite(data, 1, dwLength, f) == dwLength);
    if (data)
        UnlockBlock(hBlock);
    bWritten = fclose(f) == 0 && bWritten;
    if (!bWritten)
        WriteLogF(2, "Failed to write the temp file %s.", lpName);
    return bWritten;
}

/* A carried file that cannot be written in the current directory (a full disk, a folder without
   write access) ends the run with a message that says where. */
static void LocalWriteFailure(const char* lpName)
{
    char szDir[PATH_BUFFER] = "", szText[2 * PATH_BUFFER + 80];
    GetCurrentDirectoryA(sizeof(szDir), szDir);
    FormatText(szText, sizeof(szText), "Cannot write %s whole in %s: the run stops.", lpName, szDir);
    StartupFailure(szText);
    exit(1);
}

/* Whether the file holds exactly the block's bytes. */
static BOOL FileHoldsBlock(const char* lpName, HGLOBAL hBlock, DWORD dwLength)
{
    FILE* f = fopen(lpName, "rb");
    if (!f)
        return FALSE;
    const BYTE* data = dwLength ? (const BYTE*)LockBlock(hBlock) : NULL;
    BOOL bSame = !dwLength || data;
    BYTE buffer[4096];
    DWORD done = 0;
    size_t n;
    while (bSame && (n = fread(buffer, 1, sizeof(buffer), f)) > 0) {
        bSame = done + n <= dwLength && memcmp(buffer, data + done, n) == 0;
        done += (DWORD)n;
    }
    bSame = bSame && done == dwLength && !ferror(f);
    if (data)
        UnlockBlock(hBlock);
    fclose(f);
    return bSame;
}

/* A payload that the run cannot do without: missing, a start-up failure; not unpacking whole,
   a damaged fix. */
static HGLOBAL UnpackRequired(int kind, const char* lpName, const char* lpMissing, DWORD* pdwLength)
{
    BOOL bMissing = FALSE;
    HGLOBAL hBlock = UnpackPayload(1, kind, lpName, pdwLength, &bMissing);
    if (!hBlock && bMissing) {
        StartupFailure(lpMissing);
        return NULL;
    }
    if (!hBlock) {
        std::string what = std::string(lpName) + " does not unpack to its stated size.";
        FixDamaged(what.c_str());
    }
    return hBlock;
}

/* A path that does not fit its buffer ends the run: a shorter path names another file. */
static void PathTooLong(const char* lpWhat)
{
    char szText[PATH_BUFFER + 80];
    FormatText(szText, sizeof(szText), "The path of %s is too long.", lpWhat);
    StartupFailure(szText);
    exit(1);
}

/* Licence text: kept for the licence page, copied to the product's hotfix licence directory. */
static BOOL PrepareLicense(void)
{
    WriteLog("WinMain: Getting ready to show license", 0);
    ghLicenseBlock = UnpackRequired(RES_LICENSEENTRY, "license.txt", "Failed to load license entry resource.",
                                    &gdwLicenseLength);
    if (!ghLicenseBlock)
        return FALSE;
    if (!WriteBlockToFile("license.txt", ghLicenseBlock, gdwLicenseLength)) {
        FreeBlock(ghLicenseBlock);
        DeleteFileA("license.txt");
        LocalWriteFailure("license.txt");
    }
    FindZorelProgram();
    char szDir[PATH_BUFFER];
    if (!BuildPath(szDir, sizeof(szDir), "%s\\hotfix\\license", gpProgramDir) ||
        !BuildPath(gszLicenseCopyPath, sizeof(gszLicenseCopyPath), "%s\\%s", szDir, "license.txt"))
        PathTooLong("the licence copy in the program directory");
    CreateDirectoryA(szDir, NULL);
    if (CopyFiles("license.txt", gszLicenseCopyPath))
        DeleteFileA("license.txt");
    return TRUE;
}

/* A carried tool: unpacked to the current directory, then copied into the temporary directory.
   Only a whole copy there is ever run: whatever else stands at that name is no tool of the fix. */
static BOOL PrepareTool(int kind, const char* lpName, const char* lpMissing, char* lpPath)
{
    DWORD dwLength = 0;
    HGLOBAL hBlock = UnpackRequired(kind, lpName, lpMissing, &dwLength);
    if (!hBlock)
        return FALSE;
    if (!WriteBlockToFile(lpName, hBlock, dwLength)) {
        FreeBlock(hBlock);
        DeleteFileA(lpName);
        LocalWriteFailure(lpName);
    }
    SetTempDir();
    if (!BuildPath(lpPath, PATH_BUFFER, "%s\\%s", gpTempDir, lpName)) {
        FreeBlock(hBlock);
        char szWhat[80];
        FormatText(szWhat, sizeof(szWhat), "%s in the temporary directory", lpName);
        PathTooLong(szWhat);
    }
    BOOL bCopied = CopyFiles(lpName, lpPath) && FileHoldsBlock(lpPath, hBlock, dwLength);
    FreeBlock(hBlock);
    if (!bCopied) {
        char szText[PATH_BUFFER + 80];
        FormatText(szText, sizeof(szText), "Cannot write %s whole: the run stops.", lpPath);
        lpPath[0] = '\0';
        StartupFailure(szText);
        exit(1);
    }
    DeleteFileA(lpName);
    return TRUE;
}

static void ShowListing(void)
{
    WriteLog("WinMain: Calling CheckPatchFile()", 0);
    if (!CheckPatchFile()) {
        MessageBoxA(NULL, "Can't find patch.ini", "Info", MB_OK);
        exit(1);
    }
    LoadCurrentZorelVersion64("read");
    char* text = ReadPatchInfo();
    if (!text)
        text = ReadListingFile((gwOptions & OPTIONS_LISTFIX) ? "patch.txt" : "patch_detail.txt");
    MessageBoxA(NULL, text ? text : "No information about current patches is available", "Info", MB_OK);
    free(text);
    exit(0);
}

static void WaitUntilProductStops(void)
{
    WriteLog("WinMain: Calling IsZorelRunning()", 0);
    int id;
    while ((id = IsZorelRunning()) != 0) {
        if (Unattended()) {
            WriteLog("Halvex is still running. Please, shut it down before proceeding.", 0);
            exit(1);
        }
        if (MessageBoxA(NULL, Str(id), Str(STR_CAPTION), MB_OKCANCEL) == IDCANCEL)
            exit(1);
    }
}

/* Registers the product's statistics service through the product's own batch file. */
static BOOL RegisterStatService(void)
{
    char szCmd[3 * PATH_BUFFER];
    FormatText(szCmd, sizeof(szCmd), "\"%s\\zorelreg.bat\" \"%s\"", gpProgramDir, gpProgramDir);
    SECURITY_DESCRIPTOR sd;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, NULL, FALSE);
    SECURITY_ATTRIBUTES sa = {sizeof(sa), &sd, TRUE};
    STARTUPINFOA si;
    PROCESS_INFORMATION pi;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    ZeroMemory(&pi, sizeof(pi));
    if (!CreateProcessA(NULL, szCmd, &sa, NULL, FALSE, CREATE_NEW_CONSOLE, NULL, NULL, &si, &pi)) {
        DWORD err = GetLastError();
        WriteLog(szCmd, 0);
        WriteLogF(0, "Failed to execute %s: %d", szCmd, (int)err);
        return FALSE;
    }
    DWORD dwExit = STILL_ACTIVE;
    do {
        WaitForSingleObject(pi.hProcess, INFINITE);
        GetExitCodeProcess(pi.hProcess, &dwExit);
    } while (dwExit == STILL_ACTIVE && WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0);
    WriteLogF(0, " %s: exited with %d", szCmd, (int)dwExit);
    HKEY hKey = NULL;
    BOOL bCreated = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\zorelstat", 0,
                                  KEY_READ | KEY_WOW64_64KEY, &hKey) == ERROR_SUCCESS;
    if (bCreated) {
        RegCloseKey(hKey);
        WriteLog("Entries for zorelstat were created", 0);
    } else {
        WriteLogF(0, "Entries for zorelstat were not created, please run %s manually", szCmd);
    }
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return bCreated;
}

/* The end of every run that does not exit at once. */
static int ExitSequence(int code)
{
    WriteLog("WinMain: Finished while(FALSE)", 0);
    if (dwUpgradeType == 2 && giMode == MODE_UPGRADE)
        RegisterStatService();
    /* The run has told its result; a failed one leaves its note to the next run. */
    if (giMode != MODE_FAILED)
        RecordRunEnd();
    if (gbLogOpened)
        FlushLogToProgramDir();
    free(gpProgramDir);
    gpProgramDir = NULL;
    if (gpZorelData) {
        for (int i = 0; i < giPartitions; ++i)
            free(gpZorelData[i]);
        free(gpZorelData);
        gpZorelData = NULL;
    }
    free(gpDataValid);
    gpDataValid = NULL;
    return code;
}

/* Another installer is running: bring it forward. */
static BOOL ActivateOtherInstaller(void)
{
    HWND hOther = FindWindowA(ZFIX_DIALOG_CLASS, NULL);
    if (!hOther)
        return FALSE;
    HWND hPopup = GetLastActivePopup(hOther);
    BringWindowToTop(hPopup);
    SetForegroundWindow(hPopup);
    if (IsIconic(hPopup))
        ShowWindow(hPopup, SW_RESTORE);
    return TRUE;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    ghInstance = hInstance;
    if (!GetModuleFileNameA(NULL, gszModulePath, sizeof(gszModulePath))) {
        char szMsg[64];
        FormatText(szMsg, sizeof(szMsg), "GetModuleFileName() failed : %ld", (long)GetLastError());
        ErrorBox(szMsg, "Error");
    }
    if (!gszStartDir[0])
        GetCurrentDirectoryA(sizeof(gszStartDir), gszStartDir);

    if (ActivateOtherInstaller())
        return ExitSequence(1);

    if (!OpenUpgradeLog()) {
        ErrorBox(Str(9), Str(STR_CAPTION));
        return ExitSequence(1);
    }
    gbLogOpened = TRUE;
    WriteLogF(0, "WinMain: Starting... (%x, %x, %s, %x)", (unsigned)(UINT_PTR)hInstance,
              (unsigned)(UINT_PTR)hPrevInstance, lpCmdLine ? lpCmdLine : "NULL", (unsigned)nCmdShow);

    WriteLog("WinMain: Calling LoadResourceStrings()", 0);
    if (!LoadResourceStrings()) {
        ErrorBox("Unable to load resource strings. This file is corrupt and can not continue.", "Error");
        return ExitSequence(1);
    }
    gszPatchIniName = StrIs(STRR_HOTFIX, zfix::FIXKIND_RQA) ? "RQA.INI" : "PATCH.INI";

    WriteLog("WinMain: Calling ParseCommandLine()", 0);
    std::string cmdLine(lpCmdLine ? lpCmdLine : "");
    if (!ParseCommandLine(lpCmdLine ? &cmdLine[0] : NULL)) {
        MessageBoxA(NULL, Str(STR_HELP), Str(STR_CAPTION), MB_OK | MB_ICONERROR);
        return 0;
    }
    if (gwOptions & OPTIONS_EXTRACT)
        return 0;
    if (gwOptions & OPTIONS_CONTENTS) {
        ListContents();
        return 0;
    }

    SetTempDir();
    if (!PrepareLicense())
        return ExitSequence(1);

    if (!CheckZorelProgramDir()) {
        if (Unattended()) {
            WriteLog("Halvex key not found in the registry", 0);
            exit(1);
        }
        const char* text = "This is a hotfix for 64 bit Halvex platform.\n Please, check that you are upgrading 64 bit Halvex.";
        WriteLog(text, 0);
        ErrorBox(text, "Error");
        MessageBoxA(NULL, Str(41), Str(STR_CAPTION), MB_OK | MB_ICONERROR);
    }

    if (!PrepareTool(RES_UPDATE64ENTRY, "UpdateVersion.exe", "Could not uncompress all resources", gszUpdateVersionPath))
        return ExitSequence(1);
    WriteLog("WinMain: Calling FindAndLoadRes() - CABARC", 0);
    if (!PrepareTool(RES_UPDATECABENTRY, "cabarc.exe", "Failed to load cabarc entry resource.", gszCabarcPath))
        return ExitSequence(1);

    if (gwOptions & (OPTIONS_LISTFIX | OPTIONS_FIXDETAILS))
        ShowListing();

    WaitUntilProductStops();
    /* The executable is not checked as a whole: each resource is checked as it is read. */

    WriteLog("WinMain: Calling FindZorelProgram()", 0);
    if (!FindZorelProgram()) {
        if (Unattended()) {
            WriteLog("Vorin Halvex Directory is incorrect", 0);
            exit(1);
        }
        MessageBoxA(NULL, Str(10), Str(STR_CAPTION), MB_OK | MB_ICONERROR);
        CopyText(gpProgramDir, PATH_BUFFER, "NULL");
    }

    WriteLog("WinMain: Calling FindZorelData()", 0);
    if (!FindZorelData()) {
        WriteLog("WinMain: ERROR: FindZorelData() had an error", 0);
        if (Unattended()) {
            WriteLog("Halvex Data Directory is incorrect", 0);
            exit(1);
        }
        MessageBoxA(NULL, Str(11), Str(STR_CAPTION), MB_OK | MB_ICONERROR);
        CopyText(gpProgramDir, PATH_BUFFER, "NULL");
        exit(1);
    }

    WriteLog("WinMain: Calling FindSystem()", 0);
    FindSystem();

    RegisterGaugeClass();
    RegisterDialogClass();
    ghMainDlg = CreateDialogParamA(hInstance, MAKEINTRESOURCEA(IDD_MAIN), NULL, MainDlgProc, 0);
    if (!ghMainDlg) {
        if (Unattended()) {
            WriteLog("CreateDialog failed...", 0);
            exit(1);
        }
        MessageBoxA(NULL, Str(13), Str(STR_CAPTION), MB_OK | MB_ICONERROR);
        exit(1);
    }

    WriteLog("WinMain: Calling ShowWindow()", 0);
    ShowWindow(ghMainDlg, SW_SHOWNORMAL);
    WriteLog("WinMain: Starting our message loop", 0);
    MSG msg;
    msg.wParam = 0;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (!IsDialogMessageA(ghMainDlg, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return ExitSequence((int)msg.wParam);
}
