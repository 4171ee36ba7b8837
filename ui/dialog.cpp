#include "ui/dialog.h"

#include "identify/identify.h"
#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/memory_blocks.h"
#include "installer/paths.h"
#include "installer/text.h"
#include "installer/window.h"
#include "resources/resource.h"
#include "ui/controls.h"
#include "ui/identify_page.h"

#include <stdlib.h>
#include <string.h>

#include <string>

static int giComboSelection = -1;

static const char kJvmNotUpgraded[] = "WARNING: JVM was not upgraded. Please, see UPGRADE.log and jvmpatcher.log for details.";
static const char kJvmNotReverted[] = "WARNING: JVM was not reverted. Please, see UPGRADE.log for details";

BOOL RegisterDialogClass(void)
{
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.lpfnWndProc = DefDlgProcA;
    wc.cbWndExtra = DLGWINDOWEXTRA;
    wc.hInstance = ghInstance;
    wc.hIcon = LoadIconA(ghInstance, "MAIN");
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
    wc.lpszClassName = ZFIX_DIALOG_CLASS;
    return RegisterClassA(&wc) != 0;
}

static void ShowStateNumber(HWND hDlg) { SetDlgItemInt(hDlg, IDC_STATE, (UINT)giDlgState, FALSE); }

/* Adds the combo's edit text to its list unless it is empty or listed already (exact match). */
static int AddComboEditText(HWND hCombo, size_t maxChars)
{
    std::string text = ControlText(hCombo);
    if (text.size() > maxChars)
        text.resize(maxChars);
    if (text.empty())
        return -1;
    int count = (int)SendMessageA(hCombo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
        if (ComboItemText(hCombo, i) == text)
            return -1;
    return (int)SendMessageA(hCombo, CB_ADDSTRING, 0, (LPARAM)text.c_str());
}

static void ReleaseDataDirs(void)
{
    WriteLogF(1, "ConfigureDialog: DLGSTATE_DIRS: Before Freeing the memory for giPartitions = %d", giPartitions);
    if (gpZorelData) {
        for (int i = 0; i < giPartitions; ++i) {
            if (gpZorelData[i]) {
                WriteLogF(1, "ConfigureDialog: DLGSTATE_DIRS: Before Freeing the memory from  = %s", gpZorelData[i]);
                free(gpZorelData[i]);
            }
        }
    }
    free(gpDataValid);
    gpDataValid = NULL;
    WriteLog("ConfigureDialog: DLGSTATE_DIRS:  Before Freeing the memory from  gpZorelData", 1);
    free(gpZorelData);
    gpZorelData = NULL;
}

static void AllocFailure(const char* lpText)
{
    WriteLog("ConfigureDialog: Can't allocate memory for Data Directory list", 1);
    MessageBoxA(NULL, lpText, "Info", MB_OK | MB_ICONERROR);
}

static BOOL TdxWithoutPartition(void) { return StrIs(STRR_HOTFIX, zfix::FIXKIND_TDX) && giPartitions == 0; }

static BOOL ConfigureDirectories(HWND hDlg)
{
    HWND hCombo = GetDlgItem(hDlg, IDC_DATADIRS);
    AddComboEditText(hCombo, PATH_BUFFER - 1);

    ReleaseDataDirs();
    int count = (int)SendMessageA(hCombo, CB_GETCOUNT, 0, 0);
    gpZorelData = (char**)calloc((size_t)count + 1, sizeof(char*));
    if (!gpZorelData) {
        giPartitions = 0;
        AllocFailure("Can't allocate gpZorelData");
        return TRUE;
    }
    for (int i = 0; i < count; ++i) {
        gpZorelData[i] = (char*)calloc(2 * DATA_DIR_BUFFER - 1, 1);
        if (!gpZorelData[i]) {
            giPartitions = i;
            char szMsg[64];
            FormatText(szMsg, sizeof(szMsg), "Can't allocate gpZorelData[%d]", i);
            AllocFailure(szMsg);
            return TRUE;
        }
        CopyText(gpZorelData[i], 2 * DATA_DIR_BUFFER - 1, ComboItemText(hCombo, i).c_str());
    }
    SendMessageA(hCombo, CB_SETCURSEL, 0, 0);
    giPartitions = count;
    gpDataValid = (BYTE*)calloc((size_t)count + 1, 1);

    if (!gpProgramDir)
        gpProgramDir = (char*)calloc(PATH_BUFFER + 1, 1);
    GetDlgItemTextA(hDlg, IDC_PROGDIR, gpProgramDir, PATH_BUFFER);
    if (!IsDirectory(gpProgramDir)) {
        MessageBoxA(hDlg, Str(21), Str(STR_CAPTION), MB_OK | MB_ICONERROR);
        Focus(hDlg, IDC_PROGDIR);
        return FALSE;
    }
    for (int i = 0; i < giPartitions; ++i) {
        if (!IsDirectory(gpZorelData[i])) {
            char szMsg[2 * DATA_DIR_BUFFER + 64];
            FormatText(szMsg, sizeof(szMsg), "ConfigureDialog: Invalid Data Directory = %s", gpZorelData[i]);
            MessageBoxA(hDlg, szMsg, "Info", MB_OK | MB_ICONERROR);
            SendMessageA(hCombo, CB_SHOWDROPDOWN, TRUE, 0);
            SetFocus(hCombo);
            return FALSE;
        }
        gpDataValid[i] = 1;
    }

    EnterProgramDirectory();
    WriteLogF(0, "Using Zorel program directory %s", gpProgramDir);
    for (int i = 0; i < giPartitions; ++i)
        WriteLogF(0, "Using Zorel data directory %s", gpZorelData[i]);
    if (TdxWithoutPartition() && gpZorelData[0])
        WriteLogF(0, "Using Zorel data directory %s", gpZorelData[0]);

    SetDlgItemTextA(hDlg, IDC_TEXT5, Str(23));
    Show(hDlg, IDC_TEXT5, TRUE);
    Enable(hDlg, IDC_NEXT, FALSE);
    Enable(hDlg, IDC_BACK, FALSE);
    /* The list opened on the directory page would stay on the screen over the next page. */
    SendMessageA(hCombo, CB_SHOWDROPDOWN, FALSE, 0);
    const int hide[] = {IDC_PROGDIR, IDC_DATADIRS, IDC_BROWSE_PROG, IDC_BROWSE_DATA, IDC_TEXT1, IDC_TEXT2, IDC_TEXT3, IDC_TEXT4};
    for (int id : hide)
        Show(hDlg, id, FALSE);
    if (giMode == MODE_REVERT && dwUpgradeType > 0) {
        SetDlgItemTextA(hDlg, IDC_TEXT9, Str(44));
        Show(hDlg, IDC_TEXT9, TRUE);
        Show(hDlg, IDC_LABELS, TRUE);
        Enable(hDlg, IDC_LABELS, TRUE);
        Enable(hDlg, IDC_NEXT, FALSE);
    }
    Focus(hDlg, IDC_NEXT);
    gbCloseNoAsk = FALSE;
    PostMessageA(hDlg, WM_START_IDENTIFY, 0, 0);
    return TRUE;
}

BOOL ConfigureDialog(HWND hDlg, int state)
{
    BOOL bAccept = TRUE;
    switch (state) {
    case DLGSTATE_LICENSE:
        WriteLog("ConfigureDialog: case DLSSTATE_LICENSE", 1);
        if (Unattended()) {
            PostCommand(hDlg, IDC_NEXT);
            break;
        }
        SetDlgItemTextA(hDlg, IDC_TEXT1, Str(49));
        {
            const char* text = ghLicenseBlock ? (const char*)LockBlock(ghLicenseBlock) : NULL;
            if (!text) {
                WriteLog("ConfigureDialog: Unable to lock our license resource, exiting...", 0);
                PostQuitMessage(0);
                DestroyWindow(hDlg);
                return TRUE;
            }
            std::string licence(text, gdwLicenseLength);
            UnlockBlock(ghLicenseBlock);
            SetDlgItemTextA(hDlg, IDC_LICENSE, licence.c_str());
        }
        Enable(hDlg, IDC_BACK, FALSE);
        Enable(hDlg, IDC_NEXT, FALSE);
        Show(hDlg, IDC_TEXT1, TRUE);
        gbCloseNoAsk = FALSE;
        break;

    case DLGSTATE_WELCOME: {
        Enable(hDlg, IDC_BACK, FALSE);
        Enable(hDlg, IDC_NEXT, TRUE);
        const int hide[] = {IDC_TEXT5, IDC_ACCEPT_GROUP, IDC_LICENSE, IDC_ACCEPT, IDC_DECLINE};
        for (int id : hide)
            Show(hDlg, id, FALSE);
        ShowWindow(ghGaugeFile, SW_HIDE);
        const int show[] = {IDC_TEXT1, IDC_TEXT2, IDC_TEXT3, IDC_TEXT4, IDC_PROGDIR, IDC_DATADIRS, IDC_BACK, IDC_NEXT};
        for (int id : show)
            Show(hDlg, id, TRUE);
        SetDlgItemTextA(hDlg, IDC_TEXT1, Str(17));
        SetDlgItemTextA(hDlg, IDC_TEXT2, Str(18));
        SetDlgItemTextA(hDlg, IDC_TEXT3, Str(19));
        SetDlgItemTextA(hDlg, IDC_TEXT4, Str(20));
        SetDlgItemTextA(hDlg, IDC_PROGDIR, gpProgramDir ? gpProgramDir : "");
        HWND hCombo = GetDlgItem(hDlg, IDC_DATADIRS);
        SendMessageA(hCombo, CB_RESETCONTENT, 0, 0);
        giComboSelection = -1;
        int entries = TdxWithoutPartition() ? 1 : giPartitions;
        for (int i = 0; gpZorelData && i < entries; ++i) {
            if (gpZorelData[i] && *gpZorelData[i]) {
                int index = (int)SendMessageA(hCombo, CB_ADDSTRING, 0, (LPARAM)gpZorelData[i]);
                SendMessageA(hCombo, CB_SETITEMDATA, (WPARAM)index, (LPARAM)i);
            }
        }
        SendMessageA(hCombo, CB_SHOWDROPDOWN, TRUE, 0);
        Focus(hDlg, IDC_NEXT);
        gbCloseNoAsk = FALSE;
        break;
    }

    case DLGSTATE_DIRS:
        WriteLog("ConfigureDialog: case DLSSTATE_DIRS", 1);
        bAccept = ConfigureDirectories(hDlg);
        break;

    case DLGSTATE_UPGRADE:
        WriteLog("ConfigureDialog: case DLSSTATE_UPGRADE", 1);
        SetDlgItemTextA(hDlg, IDC_TEXT5, Str(giMode == MODE_UPGRADE ? 27 : 28));
        Show(hDlg, IDC_TEXT5, TRUE);
        ShowWindow(ghGaugeTotal, SW_SHOW);
        Show(hDlg, IDC_TEXT6, TRUE);
        Show(hDlg, IDC_TEXT7, TRUE);
        SetDlgItemTextA(hDlg, IDC_TEXT6, Str(30));
        SetDlgItemTextA(hDlg, IDC_TEXT7, Str(31));
        PostMessageA(hDlg, WM_START_UPGRADE, 0, 0);
        Focus(hDlg, IDC_NEXT);
        break;

    case DLGSTATE_FINISHED: {
        WriteLog("ConfigureDialog: case DLSSTATE_FINISHED", 1);
        ShowWindow(ghGaugeFile, SW_HIDE);
        ShowWindow(ghGaugeTotal, SW_HIDE);
        Show(hDlg, IDC_TEXT6, FALSE);
        Show(hDlg, IDC_TEXT7, FALSE);
        std::string text;
        if (giMode == MODE_UPGRADE) {
            if (gbJvmUpdated) {
                text = Str(36);
                WriteLog("Zorel has been successfully upgraded.", 0);
            } else {
                text = std::string(Str(36)) + " " + kJvmNotUpgraded;
                WriteLog(text.c_str(), 0);
            }
        } else if (gbJvmUpdated) {
            text = Str(37);
            WriteLog("Zorel has been successfully reverted.", 0);
        } else {
            text = std::string(Str(37)) + " " + kJvmNotReverted;
            WriteLog(text.c_str(), 0);
        }
        SetDlgItemTextA(hDlg, IDC_TEXT5, text.c_str());
        Show(hDlg, IDC_TEXT5, TRUE);
        Focus(hDlg, IDCANCEL);
        gbCloseNoAsk = TRUE;
        if (Unattended())
            PostCommand(hDlg, IDCANCEL);
        break;
    }

    default:
        break;
    }
    SetDlgItemInt(hDlg, IDC_STATE, (UINT)state, FALSE);
    return bAccept;
}

static void DataDirsCommand(HWND hDlg, int code)
{
    HWND hCombo = GetDlgItem(hDlg, IDC_DATADIRS);
    switch (code) {
    case CBN_EDITUPDATE:
        if (GetWindowTextLengthA(hCombo) == 0) {
            if (giComboSelection != -1) {
                SendMessageA(hCombo, CB_DELETESTRING, (WPARAM)giComboSelection, 0);
                SendMessageA(hCombo, CB_SHOWDROPDOWN, TRUE, 0);
                giComboSelection = -1;
            }
        } else {
            giComboSelection = -1;
        }
        break;
    case CBN_DROPDOWN:
        giComboSelection = (int)SendMessageA(hCombo, CB_GETCURSEL, 0, 0);
        if (giComboSelection == CB_ERR) {
            giComboSelection = AddComboEditText(hCombo, 2 * PATH_BUFFER);
        }
        break;
    case CBN_SELENDOK:
        giComboSelection = (int)SendMessageA(hCombo, CB_GETCURSEL, 0, 0);
        break;
    default:
        break;
    }
}

static void CloseCommand(HWND hDlg)
{
    if (!gbCloseNoAsk && MessageBoxA(hDlg, Str(38), Str(STR_CAPTION), MB_YESNO) == IDNO)
        return;
    WriteLog("MainDlgProc: Received IDCANCEL, exiting...", 0);
    /* A failed upgrade or revert ends with exit code 1 also when its page is closed by hand: an
       unattended run waits there for the user, and its caller reads the exit code. */
    PostQuitMessage(giMode == MODE_FAILED ? 1 : 0);
    DestroyWindow(hDlg);
}

INT_PTR CALLBACK MainDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    (void)lParam;
    switch (msg) {
    case WM_INITDIALOG: {
        ghMainDlg = hDlg;
        char szCaption[1100];
        FormatText(szCaption, sizeof(szCaption), "%s %s", Str(STR_CAPTION), Str(STR_TITLE));
        SetWindowTextA(hDlg, szCaption);
        ShowStateNumber(hDlg);
        char szButton[600];
        FormatText(szButton, sizeof(szButton), "&%s", Str(15));
        SetDlgItemTextA(hDlg, IDC_BACK, szButton);
        FormatText(szButton, sizeof(szButton), "&%s", Str(14));
        SetDlgItemTextA(hDlg, IDC_NEXT, szButton);
        FormatText(szButton, sizeof(szButton), "&%s", Str(16));
        SetDlgItemTextA(hDlg, IDCANCEL, szButton);
        ghGaugeFile = CreateGauge(hDlg, IDC_PROGRESS1);
        ghGaugeTotal = CreateGauge(hDlg, IDC_PROGRESS2);
        giDlgState = DLGSTATE_LICENSE;
        ConfigureDialog(hDlg, giDlgState);
        CenterWindow(hDlg);
        if (Unattended())
            PostCommand(hDlg, IDC_NEXT);
        Focus(hDlg, IDC_NEXT);
        return FALSE;
    }
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        switch (id) {
        case IDC_NEXT:
            ++giDlgState;
            if (!ConfigureDialog(hDlg, giDlgState))
                --giDlgState;
            break;
        case IDC_BACK:
            --giDlgState;
            if (!ConfigureDialog(hDlg, giDlgState))
                ++giDlgState;
            break;
        case IDCANCEL:
            CloseCommand(hDlg);
            return FALSE;
        case IDC_ACCEPT:
            if (IsDlgButtonChecked(hDlg, IDC_ACCEPT) == BST_CHECKED)
                Enable(hDlg, IDC_NEXT, TRUE);
            break;
        case IDC_DECLINE:
            if (IsDlgButtonChecked(hDlg, IDC_DECLINE) == BST_CHECKED)
                Enable(hDlg, IDC_NEXT, FALSE);
            break;
        case IDC_DATADIRS:
            DataDirsCommand(hDlg, code);
            break;
        case IDC_LABELS:
            if (code == LBN_SELCHANGE)
                RevertLabelChosen(hDlg);
            break;
        default:
            break;
        }
        if (IsWindow(hDlg))
            ShowStateNumber(hDlg);
        return FALSE;
    }
    case WM_START_IDENTIFY:
        StartIdentify(hDlg);
        return FALSE;
    case WM_START_UPGRADE:
        StartUpgrade(hDlg);
        return FALSE;
    default:
        return FALSE;
    }
}
