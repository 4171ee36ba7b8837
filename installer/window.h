/* Window routines shared by the wizard and the steps it runs. */
#ifndef ZFIX_WINDOW_H
#define ZFIX_WINDOW_H

#include <windows.h>

void CenterWindow(HWND hWnd);
/* Dispatches pending messages; FALSE when WM_QUIT came (it is posted again for the message loop). */
BOOL PumpMessages(void);
void SetWaitCursor(void);
void SetArrowCursor(void);

#endif
