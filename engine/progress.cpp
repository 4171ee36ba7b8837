#include "engine/progress.h"

#include "installer/globals.h"
#include "resources/resource.h"

void ShowCurrentFile(const char* lpText)
{
    if (ghMainDlg)
        SetDlgItemTextA(ghMainDlg, IDC_TEXT6, lpText);
    if (RepaintDue() || !*lpText)
        RepaintNow();
}
