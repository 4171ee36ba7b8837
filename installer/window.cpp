#include "installer/window.h"

void CenterWindow(HWND hWnd)
{
    RECT rc;
    GetWindowRect(hWnd, &rc);
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    MoveWindow(hWnd, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h, TRUE);
}

BOOL PumpMessages(void)
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage((int)msg.wParam);  /* leave it for the message loop */
            return FALSE;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return TRUE;
}

void SetWaitCursor(void) { SetCursor(LoadCursor(NULL, IDC_WAIT)); }
void SetArrowCursor(void) { SetCursor(LoadCursor(NULL, IDC_ARROW)); }
