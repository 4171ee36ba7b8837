/* The "GasGauge" progress control and the small window routines of the wizard. */
#ifndef ZFIX_GAUGE_H
#define ZFIX_GAUGE_H

#include <windows.h>

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
void CenterWindow(HWND hWnd);
BOOL PumpMessages(void);
void SetWaitCursor(void);
void SetArrowCursor(void);

/* The filled width and the percentage text that a gauge of the given size shows. */
unsigned GaugeFilled(LONG range, LONG pos, LONG width);
unsigned GaugePercent(unsigned filled, LONG width);

#endif
