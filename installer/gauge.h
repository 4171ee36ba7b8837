/* The "GasGauge" progress control, which the wizard shows and identification and the upgrade
   drive. */
#ifndef ZFIX_GAUGE_H
#define ZFIX_GAUGE_H

#include <windows.h>

#include "installer/gauge_math.h"

#define GAUGE_CLASS       "GasGauge"
#define GAUGE_ID          8888

#define GAUGE_SETBARCOLOR 100
#define GAUGE_SETBKCOLOR  101
#define GAUGE_SETRANGE    102
#define GAUGE_SETPOS      103

/* Offsets of the gauge's window data. */
#define GAUGE_RANGE    0
#define GAUGE_POS      4
#define GAUGE_WIDTH    8
#define GAUGE_HEIGHT   12
#define GAUGE_BKCOLOR  16
#define GAUGE_BARCOLOR 20

BOOL RegisterGaugeClass(void);
HWND CreateGauge(HWND hDlg, int placeholderId);
LRESULT CALLBACK GaugeWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
/* Sends a gauge command (GAUGE_SETRANGE, GAUGE_SETPOS, ...) when the gauge exists, then
   dispatches pending messages. */
void GaugeCommand(HWND hGauge, WPARAM command, LONG value);
/* GaugeCommand for the loops that step a gauge once per file or per block. A step repaints the
   wizard, a round of window messages that costs as much as copying a few hundred kilobytes, so a
   range or position that comes within 100 ms of the last repaint waits for the next one (a later
   one of the same gauge replaces it), unless bForce. */
void GaugeProgress(HWND hGauge, WPARAM command, LONG value, BOOL bForce = FALSE);
/* TRUE when 100 ms have passed since the last repaint. RepaintNow gives the gauges what waits
   and dispatches pending messages. */
BOOL RepaintDue(void);
void RepaintNow(void);

#endif
