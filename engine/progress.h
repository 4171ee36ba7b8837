/* The engine's progress on the wizard: the two gauges and the current-file line. */
#ifndef ZFIX_PROGRESS_H
#define ZFIX_PROGRESS_H

#include <windows.h>

/* GAUGE_SETRANGE, or GAUGE_SETPOS, then the message pump. A gauge step repaints the wizard, which
   under a remote display costs as much as copying a few hundred kilobytes, so positions that come
   faster than the eye can follow (within 100 ms of the last one shown) are left out unless bForce;
   ranges are always set. */
void GaugeProgress(HWND hGauge, WPARAM command, LONG value, BOOL bForce = FALSE);

/* Text6, the current-file line. */
void ShowCurrentFile(const char* lpText);

#endif
