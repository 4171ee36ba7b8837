#include "engine/progress.h"

#include "installer/globals.h"
#include "resources/resource.h"
#include "installer/gauge.h"
#include "installer/window.h"

static const DWORD kPumpIntervalMs = 100;
static DWORD gdwLastPump = 0;

static void PumpNow(void)
{
    PumpMessages();
    gdwLastPump = GetTickCount();
}

static BOOL PumpDue(void) { return GetTickCount() - gdwLastPump >= kPumpIntervalMs; }

void GaugeProgress(HWND hGauge, WPARAM command, LONG value, BOOL bForce)
{
    /* A position skipped here is overtaken by the next one shown. */
    if (command != GAUGE_SETPOS || bForce || PumpDue()) {
        GaugeCommand(hGauge, command, value);
        gdwLastPump = GetTickCount();
    }
}

void ShowCurrentFile(const char* lpText)
{
    if (ghMainDlg)
        SetDlgItemTextA(ghMainDlg, IDC_TEXT6, lpText);
    if (PumpDue() || !*lpText)
        PumpNow();
}
