#include "ui/controls.h"

#include "installer/globals.h"
#include "installer/text.h"

#include <string.h>

void Show(HWND hDlg, int id, BOOL bShow) { ShowWindow(GetDlgItem(hDlg, id), bShow ? SW_SHOW : SW_HIDE); }
void Enable(HWND hDlg, int id, BOOL bEnable) { EnableWindow(GetDlgItem(hDlg, id), bEnable); }
void Focus(HWND hDlg, int id) { SetFocus(GetDlgItem(hDlg, id)); }
void PostCommand(HWND hDlg, int id) { PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

std::string ControlText(HWND hWnd)
{
    int len = GetWindowTextLengthA(hWnd);
    std::string text((size_t)len + 1, '\0');
    GetWindowTextA(hWnd, &text[0], len + 1);
    text.resize(strlen(text.c_str()));
    return text;
}

std::string ComboItemText(HWND hCombo, int index)
{
    LRESULT len = SendMessageA(hCombo, CB_GETLBTEXTLEN, (WPARAM)index, 0);
    if (len == CB_ERR)
        return std::string();
    std::string text((size_t)len + 1, '\0');
    SendMessageA(hCombo, CB_GETLBTEXT, (WPARAM)index, (LPARAM)&text[0]);
    text.resize(strlen(text.c_str()));
    return text;
}

/* Formats a string-table text with up to three text arguments. The texts of the string table are
   the formats here, so the compiler cannot check them; they hold %s conversions only. */
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
std::string FormatString(int id, const char* a, const char* b, const char* c)
{
    char szText[2048];
    FormatText(szText, sizeof(szText), Str(id), a, b, c);
    return szText;
}
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
