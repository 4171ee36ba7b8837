/* How identification's results are shown: the identification page with its message, the
   revert labels on offer, and the start of the upgrade. */
#include "ui/identify_page.h"

#include "engine/resume.h"
#include "engine/upgrade.h"
#include "identify/identify.h"
#include "installer/gauge.h"
#include "installer/globals.h"
#include "installer/log.h"
#include "installer/text.h"
#include "installer/window.h"
#include "package/names.h"
#include "resources/resource.h"
#include "ui/controls.h"
#include "ui/dialog.h"

#include <stdlib.h>
#include <string.h>

#include <string>

int giSkippedLabel = 0x0FFFFFFF;

/* Ends an unattended run that cannot go on, or shows the text in the message area. */
static void ReportFailure(HWND hDlg, const std::string& text)
{
    if (Unattended()) {
        WriteLog(text.c_str(), 0);
        exit(1);
    }
    SetDlgItemTextA(hDlg, IDC_TEXT5, text.c_str());
    /* The search for backups hides the message area when it ends. */
    Show(hDlg, IDC_TEXT5, TRUE);
}

static void WaitAtFailure(HWND hDlg, const char* lpLog)
{
    WriteLog(lpLog, 0);
    Enable(hDlg, IDC_BACK, TRUE);
    Focus(hDlg, IDC_BACK);
    gbCloseNoAsk = TRUE;
}

static std::string Release(const char* lpLabel)
{
    char* release = LabelRelease(lpLabel);
    std::string text(release ? release : "");
    free(release);
    return text;
}

static std::string Joined(const char* lpA, const char* lpB)
{
    char* joined = JoinLabels(lpA, lpB);
    std::string text(joined ? joined : "");
    free(joined);
    return text;
}

static BOOL StartsWith(const char* lpText, const char* lpPrefix)
{
    return strncmp(lpText, lpPrefix, strlen(lpPrefix)) == 0;
}

/* Offers the revertible labels, and in an unattended run chooses one. */
static void OfferRevertLabels(HWND hDlg, const char* lpOld)
{
    BOOL bRqa = StrIs(STRR_HOTFIX, zfix::FIXKIND_RQA);
    HWND hList = GetDlgItem(hDlg, IDC_LABELS);
    SetDlgItemTextA(hDlg, IDC_TEXT9, Str(44));
    Show(hDlg, IDC_TEXT9, TRUE);
    std::string valid = ":";
    BOOL bChosen = FALSE;
    BOOL bGiven = gszRevertLabel[0] != '\0';
    for (int i = 0; i < giFixLabels; ++i) {
        const char* label = gpcanFixLabels[i];
        WriteLogF(0, "gpcanFixLabels[i] : %s ", label);
        if (Unattended()) {
            if (bRqa && gszRevertLabel[0] && StartsWith(canCurrentVersion, gszRevertLabel))
                CopyText(gszRevertLabel, sizeof(gszRevertLabel), lpOld);
            if ((gszRevertLabel[0] && StartsWith(label, gszRevertLabel)) || giFixLabels == 1) {
                CopyText(gszRevertLabel, sizeof(gszRevertLabel), label);
                WriteLogF(0, "Revert label %s ", gszRevertLabel);
                bChosen = TRUE;
                break;
            }
            WriteLogF(0, "Valid label %s ", valid.c_str());
            if (valid.size() + strlen(label) + 1 < LABEL_BUFFER)
                valid = valid + label + " ";
        }
        if (bRqa && strcmp(label, Str(STR_LP)) == 0) {
            giSkippedLabel = i;
            continue;
        }
        const char* shown = (bRqa && strcmp(label, lpOld) == 0) ? canCurrentVersion : label;
        if (SendMessageA(hList, LB_FINDSTRING, (WPARAM)-1, (LPARAM)shown) == LB_ERR) {
            int index = (int)SendMessageA(hList, LB_ADDSTRING, 0, (LPARAM)shown);
            SendMessageA(hList, LB_SETITEMDATA, (WPARAM)index, (LPARAM)i);
        }
    }
    if (Unattended() && !bChosen) {
        std::string text = bGiven ? FormatString(46, gszRevertLabel) : std::string(Str(47));
        Show(hDlg, IDC_TEXT5, FALSE);
        SetDlgItemTextA(hDlg, IDC_TEXT1, text.c_str());
        Show(hDlg, IDC_TEXT1, TRUE);
        WriteLog(text.c_str(), 0);
        ShowWindow(ghGaugeFile, SW_HIDE);
        gwOptions = 0;
        if (!bGiven && valid == ":") {
            ShowWindow(hDlg, SW_HIDE);
            MessageBoxA(NULL, Str(45), Str(STR_CAPTION), MB_OK | MB_ICONERROR);
        }
    }
    Show(hDlg, IDC_LABELS, TRUE);
    Enable(hDlg, IDC_LABELS, TRUE);
    Enable(hDlg, IDC_NEXT, FALSE);
    Enable(hDlg, IDC_BACK, TRUE);
    SetFocus(hList);
    ShowWindow(ghGaugeFile, SW_SHOW);
}

void StartIdentify(HWND hDlg)
{
    WriteLog("MainDlgProc: Starting case WM_START_IDENTIFY", 0);
    Show(hDlg, IDC_TEXT5, TRUE);
    /* A revert of this fix that stopped part-way is completed first, and an unattended run ends
       there: the last thing asked of the fix was to take it off. An upgrade that stopped part-way
       is undone first; an unattended revert then has nothing left to do. */
    if (CompleteInterruptedRevert() && Unattended()) {
        WriteLog("Zorel has been successfully reverted.", 0);
        FlushLogToProgramDir();
        exit(0);
    }
    if (UndoInterruptedRun() && Unattended() && (gwOptions & OPTIONS_REVERT)) {
        WriteLog("Zorel has been successfully reverted.", 0);
        FlushLogToProgramDir();
        exit(0);
    }
    std::string stopped = StoppedRunLeft();
    if (!stopped.empty()) {
        ReportFailure(hDlg, "A stopped run of " + stopped +
                                " has not been undone or completed. Run that fix again first. See the file UPGRADE.LOG "
                                "for more information.");
        WaitAtFailure(hDlg, "Unable to identify release.");
        return;
    }
    WriteLog("MainDlgProc: Calling IdentifyZorelVersion", 0);
    char szOld[PATH_BUFFER] = "", szNew[PATH_BUFFER] = "";
    int result = IdentifyZorelVersion(szOld, szNew);
    if (result == INV_UPGRADE) {
        WriteLogF(0, "Identified %s.", Release(canCurrentVersion).c_str());
    } else if (result == INV_REVERT) {
        WriteLogF(0, "Identified %s.", Release(szNew).c_str());
    } else {
        if (result == INV_NORECORD || result == INV_UNKNOWN)
            ReportFailure(hDlg, FormatString(26, canCurrentVersion, gpProgramDir ? gpProgramDir : ""));
        else if (result == INV_NOSPACE)
            ReportFailure(hDlg, FormatString(33, gszSpaceLocation, szNew, szOld));
        WaitAtFailure(hDlg, "Unable to identify release.");
        return;
    }

    SendMessageA(ghGaugeFile, WM_COMMAND, GAUGE_SETPOS, 0);
    PumpMessages();
    ShowWindow(ghGaugeFile, SW_SHOW);
    WriteLog("MainDlgProc: Calling VerifyZorelVersion", 0);
    int verified = VerifyZorelVersion();
    Show(hDlg, IDC_TEXT5, TRUE);
    if (verified != VERIFY_OK) {
        ReportFailure(hDlg, FormatString(26, canCurrentVersion, gpProgramDir ? gpProgramDir : ""));
        WaitAtFailure(hDlg, "Unable to verify release.");
        ShowWindow(ghGaugeFile, SW_HIDE);
        return;
    }

    if (giMode == MODE_UPGRADE) {
        if (dwUpgradeType == 0) {
            SetDlgItemTextA(hDlg, IDC_TEXT5, FormatString(24, Release(szOld).c_str(), Release(szNew).c_str()).c_str());
            WriteLogF(0, "Verified %s.", szOld);
        } else {
            if (Unattended() && (gwOptions & OPTIONS_REVERT)) {
                std::string text = FormatString(48, szNew);
                gwOptions = 0;
                Show(hDlg, IDC_TEXT5, FALSE);
                SetDlgItemTextA(hDlg, IDC_TEXT1, text.c_str());
                Show(hDlg, IDC_TEXT1, TRUE);
            } else {
                std::string target = StrIs(STRR_HOTFIX, zfix::FIXKIND_RQA) ? Joined(canCurrentVersion, szNew) : Release(szNew);
                SetDlgItemTextA(hDlg, IDC_TEXT5, FormatString(24, Release(canCurrentVersion).c_str(), target.c_str()).c_str());
            }
            WriteLogF(0, "Verified %s.", canCurrentVersion);
        }
    } else {
        if (dwUpgradeType == 0) {
            SetDlgItemTextA(hDlg, IDC_TEXT5, FormatString(25, Release(szNew).c_str(), Release(szOld).c_str()).c_str());
            WriteLogF(0, "Verified %s.", szNew);
        } else if (StrIs(STRR_HOTFIX, zfix::FIXKIND_CUSTOM)) {
            CopyText(gszRevertLabel, sizeof(gszRevertLabel), canCurrentVersion);
            if (strstr(Str(STR_STRINGS_LIB), "jvmsr")) {
                FormatText(canLabelDir, sizeof(canLabelDir), "%s\\%s", gpProgramDir, "jvm_backup");
            } else {
                /* The installed release text comes from tessra.dll through currver.txt: its backup
                   directory must be one plain folder below the program directory, which the revert
                   restores from and removes. */
                LabelDirName(gszRevertLabel, canLabelDir);
                if (!zfix::IsLabelDirName(canLabelDir)) {
                    WriteLogF(0, "MainDlgProc: ERROR: the backup directory %s of the installed release is no plain name",
                              canLabelDir);
                    canLabelDir[0] = '\0';
                    ReportFailure(hDlg, "The installed release " + Release(gszRevertLabel) +
                                            " names no plain backup directory. See the file UPGRADE.LOG for more "
                                            "information.");
                    WaitAtFailure(hDlg, "Unable to identify release.");
                    return;
                }
            }
            char szText[PATH_BUFFER + 64];
            FormatText(szText, sizeof(szText), "Backup directory for custom fix:%s", canLabelDir);
            WriteLog(szText, 0);
            SetDlgItemTextA(hDlg, IDC_TEXT5, szText);
            WriteLogF(0, "Verified %s.", szNew);
            if (Unattended()) {
                PostCommand(hDlg, IDC_NEXT);
            } else {
                Enable(hDlg, IDC_NEXT, TRUE);
                Focus(hDlg, IDC_NEXT);
            }
            return;
        } else if (giFixLabels == 0) {
            WriteLog("Can't find valid labels", 0);
            SetDlgItemTextA(hDlg, IDC_TEXT5, Str(45));
            WriteLog("Unable to identify release.", 0);
            Enable(hDlg, IDCANCEL, TRUE);
            Focus(hDlg, IDCANCEL);
            Enable(hDlg, IDC_NEXT, FALSE);
            gbCloseNoAsk = TRUE;
            return;
        } else {
            OfferRevertLabels(hDlg, szOld);
        }
    }

    if (dwUpgradeType == 0 || giMode == MODE_UPGRADE) {
        Enable(hDlg, IDC_BACK, TRUE);
        Enable(hDlg, IDC_NEXT, TRUE);
    }
    if (Unattended()) {
        if (giMode == MODE_REVERT && dwUpgradeType > 0)
            LabelDirName(gszRevertLabel, canLabelDir);
        PostCommand(hDlg, IDC_NEXT);
    }
    SetArrowCursor();
}

void StartUpgrade(HWND hDlg)
{
    WriteLog("MainDlgProc: Starting case WM_START_UPGRADE", 0);
    SetWaitCursor();
    if (dwUpgradeType > 0) {
        Show(hDlg, IDC_TEXT9, FALSE);
        Show(hDlg, IDC_LABELS, FALSE);
        Enable(hDlg, IDC_LABELS, FALSE);
    }
    Enable(hDlg, IDC_BACK, FALSE);
    Enable(hDlg, IDC_NEXT, FALSE);
    if (UpgradeZorelVersion() == 1) {
        PostCommand(hDlg, IDC_NEXT);
    } else {
        ShowWindow(ghGaugeFile, SW_HIDE);
        ShowWindow(ghGaugeTotal, SW_HIDE);
        Show(hDlg, IDC_TEXT6, FALSE);
        Show(hDlg, IDC_TEXT7, FALSE);
        SetDlgItemTextA(hDlg, IDC_TEXT5, Str(34));
        WriteLogString(34, 0);
        giMode = MODE_FAILED;
        gbCloseNoAsk = TRUE;
    }
    SetArrowCursor();
}

void RevertLabelChosen(HWND hDlg)
{
    HWND hList = GetDlgItem(hDlg, IDC_LABELS);
    int index = (int)SendMessageA(hList, LB_GETCURSEL, 0, 0);
    if (StrIs(STRR_HOTFIX, zfix::FIXKIND_RQA)) {
        if (index >= giSkippedLabel)
            ++index;
        if (index >= 0 && index < giFixLabels)
            CopyText(gszRevertLabel, sizeof(gszRevertLabel), gpcanFixLabels[index]);
    } else if (index != LB_ERR) {
        LRESULT len = SendMessageA(hList, LB_GETTEXTLEN, (WPARAM)index, 0);
        std::string text((size_t)(len > 0 ? len : 0) + 1, '\0');
        SendMessageA(hList, LB_GETTEXT, (WPARAM)index, (LPARAM)&text[0]);
        CopyText(gszRevertLabel, sizeof(gszRevertLabel), text.c_str());
    }
    WriteLogF(1, "Selected Label to revert to: %s", gszRevertLabel);
    if (dwUpgradeType != 0)
        LabelDirName(gszRevertLabel, canLabelDir);
    WriteLogF(1, "gpStrings[STRR_HOTFIX] = %s; strcmp %d", Str(STRR_HOTFIX), strcmp(Str(STRR_HOTFIX), zfix::FIXKIND_CUSTOM));
    Show(hDlg, IDC_TEXT1, FALSE);
    Show(hDlg, IDC_TEXT9, FALSE);
    Show(hDlg, IDC_LABELS, FALSE);
    if (!gszRevertLabel[0]) {
        WriteLog("Selected revert label has zero length", 1);
        Enable(hDlg, IDC_NEXT, FALSE);
        Enable(hDlg, IDC_BACK, TRUE);
    } else {
        Enable(hDlg, IDC_NEXT, TRUE);
        Focus(hDlg, IDC_NEXT);
    }
}
