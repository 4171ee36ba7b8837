#include "engine/progress.h"

#include "installer/globals.h"
#include "resources/resource.h"

void ShowCurrentFile(const char* lpText)
{
    /* The line follows the gauges' repaint clock: setting a static's text paints it at once, and
       under Wine costs three round trips to the server, which for a fix of thousands of small
       files adds up to a noticeable part of the run. The empty text at the end is always set. */
    if (*lpText && !RepaintDue())
        return;
    if (ghMainDlg)
        SetDlgItemTextA(ghMainDlg, IDC_TEXT6, lpText);
    RepaintNow();
}
