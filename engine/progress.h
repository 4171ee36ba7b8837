/* The engine's progress on the wizard: the current-file line (the gauges step through
   GaugeProgress). */
#ifndef ZFIX_PROGRESS_H
#define ZFIX_PROGRESS_H

#include <windows.h>

#include "installer/gauge.h"

/* Text6, the current-file line. */
void ShowCurrentFile(const char* lpText);

#endif
