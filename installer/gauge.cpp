#include "installer/gauge.h"

#include "installer/globals.h"
#include "installer/window.h"

#include <stdio.h>

#include <map>

BOOL RegisterGaugeClass(void)
{
    WNDCLASSA wc;
    ZeroMemory(&wc, sizeof(wc));
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = GaugeWndProc;
    wc.cbWndExtra = 32;
    wc.hInstance = ghInstance;
    wc.hCursor = LoadCursor(NULL, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = GAUGE_CLASS;
    return RegisterClassA(&wc) != 0;
}

HWND CreateGauge(HWND hDlg, int placeholderId)
{
    HWND hPlace = GetDlgItem(hDlg, placeholderId);
    RECT rc;
    GetWindowRect(hPlace, &rc);
    int width = rc.right - rc.left + 1;
    int height = rc.bottom - rc.top + 1;
    POINT pt = {rc.left, rc.top};
    ScreenToClient(hDlg, &pt);
    ShowWindow(hPlace, SW_HIDE);
    return CreateWindowExA(0, GAUGE_CLASS, "", WS_CHILD | WS_BORDER, pt.x, pt.y, width, height, hDlg,
                           (HMENU)(UINT_PTR)GAUGE_ID, ghInstance, NULL);
}

static void PaintGauge(HWND hWnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hWnd, &ps);
    LONG range = GetWindowLongA(hWnd, GAUGE_RANGE);
    LONG pos = GetWindowLongA(hWnd, GAUGE_POS);
    LONG width = GetWindowLongA(hWnd, GAUGE_WIDTH);
    LONG height = GetWindowLongA(hWnd, GAUGE_HEIGHT);
    COLORREF bk = (COLORREF)GetWindowLongA(hWnd, GAUGE_BKCOLOR);
    COLORREF bar = (COLORREF)GetWindowLongA(hWnd, GAUGE_BARCOLOR);
    unsigned filled = GaugeFilled(range, pos, width);

    HBRUSH hBar = CreateSolidBrush(bar);
    HPEN hBarPen = CreatePen(PS_SOLID, 1, 0xFF0000);
    HBRUSH hOldBrush = (HBRUSH)SelectObject(hdc, hBar);
    HPEN hOldPen = (HPEN)SelectObject(hdc, hBarPen);
    Rectangle(hdc, 0, 0, (int)filled, height);

    HBRUSH hBk = NULL;
    HPEN hBkPen = NULL;
    if ((LONG)filled < width) {
        hBk = CreateSolidBrush(bk);
        hBkPen = CreatePen(PS_SOLID, 1, 0xFFFFFF);
        SelectObject(hdc, hBk);
        SelectObject(hdc, hBkPen);
        Rectangle(hdc, (int)filled, 0, width, height);
    }

    char szText[16];
    snprintf(szText, sizeof(szText), "%u%%", GaugePercent(filled, width));
    DWORD extent = GetTabbedTextExtentA(hdc, szText, (int)strlen(szText), 0, NULL);
    int x = (width - (int)LOWORD(extent)) / 2;
    int y = (height - (int)HIWORD(extent)) / 2;
    COLORREF oldColor = SetTextColor(hdc, RGB(0, 0, 0));
    int oldMode = SetBkMode(hdc, TRANSPARENT);
    TextOutA(hdc, x < 0 ? 0 : x, y < 0 ? 0 : y, szText, (int)strlen(szText));
    SetBkMode(hdc, oldMode);
    SetTextColor(hdc, oldColor);

    SelectObject(hdc, hOldBrush);
    SelectObject(hdc, hOldPen);
    DeleteObject(hBar);
    DeleteObject(hBarPen);
    if (hBk)
        DeleteObject(hBk);
    if (hBkPen)
        DeleteObject(hBkPen);
    EndPaint(hWnd, &ps);
}

LRESULT CALLBACK GaugeWndProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE: {
        const CREATESTRUCTA* cs = (const CREATESTRUCTA*)lParam;
        SetWindowLongA(hWnd, GAUGE_RANGE, 100);
        SetWindowLongA(hWnd, GAUGE_POS, 0);
        SetWindowLongA(hWnd, GAUGE_WIDTH, cs->cx);
        SetWindowLongA(hWnd, GAUGE_HEIGHT, cs->cy);
        SetWindowLongA(hWnd, GAUGE_BKCOLOR, 0xFFFFFF);
        SetWindowLongA(hWnd, GAUGE_BARCOLOR, 0xFF0000);
        return 1;
    }
    case WM_SIZE:
        SetWindowLongA(hWnd, GAUGE_WIDTH, LOWORD(lParam));
        SetWindowLongA(hWnd, GAUGE_HEIGHT, HIWORD(lParam));
        return 1;
    case WM_PAINT:
        PaintGauge(hWnd);
        return 1;
    case WM_COMMAND: {
        LONG value = (LONG)lParam;
        switch (wParam) {
        case GAUGE_SETBARCOLOR:
            SetWindowLongA(hWnd, GAUGE_BARCOLOR, value);
            break;
        case GAUGE_SETBKCOLOR:
            SetWindowLongA(hWnd, GAUGE_BKCOLOR, value);
            break;
        case GAUGE_SETRANGE:
            SetWindowLongA(hWnd, GAUGE_RANGE, value);
            if (GetWindowLongA(hWnd, GAUGE_POS) > value)
                SetWindowLongA(hWnd, GAUGE_POS, value);
            break;
        case GAUGE_SETPOS: {
            LONG range = GetWindowLongA(hWnd, GAUGE_RANGE);
            SetWindowLongA(hWnd, GAUGE_POS, value > range ? range : value);
            break;
        }
        default:
            return 1;
        }
        InvalidateRect(hWnd, NULL, FALSE);
        return 1;
    }
    default:
        return DefWindowProcA(hWnd, msg, wParam, lParam);
    }
}

namespace {

const DWORD kRepaintIntervalMs = 100;
DWORD gdwLastRepaint = 0;

/* What GaugeProgress left out, per gauge: -1 when nothing waits. */
struct Waiting {
    LONG range = -1;
    LONG pos = -1;
};
std::map<HWND, Waiting> gWaiting;

}  // namespace

void GaugeCommand(HWND hGauge, WPARAM command, LONG value)
{
    std::map<HWND, Waiting>::iterator it = gWaiting.find(hGauge);
    if (it != gWaiting.end() && command == GAUGE_SETRANGE)
        it->second.range = -1;
    if (it != gWaiting.end() && (command == GAUGE_SETRANGE || command == GAUGE_SETPOS))
        it->second.pos = -1;  /* a position left out belongs to the range before */
    if (hGauge)
        SendMessageA(hGauge, WM_COMMAND, command, (LPARAM)value);
    PumpMessages();
}

BOOL RepaintDue(void) { return GetTickCount() - gdwLastRepaint >= kRepaintIntervalMs; }

void RepaintNow(void)
{
    for (std::map<HWND, Waiting>::iterator it = gWaiting.begin(); it != gWaiting.end(); ++it) {
        Waiting w = it->second;
        it->second = Waiting();
        /* The range first: a position is held to the range it comes with. */
        if (it->first && w.range >= 0)
            SendMessageA(it->first, WM_COMMAND, GAUGE_SETRANGE, (LPARAM)w.range);
        if (it->first && w.pos >= 0)
            SendMessageA(it->first, WM_COMMAND, GAUGE_SETPOS, (LPARAM)w.pos);
    }
    PumpMessages();
    gdwLastRepaint = GetTickCount();
}

void GaugeProgress(HWND hGauge, WPARAM command, LONG value, BOOL bForce)
{
    if (command != GAUGE_SETRANGE && command != GAUGE_SETPOS) {
        GaugeCommand(hGauge, command, value);
        return;
    }
    Waiting& w = gWaiting[hGauge];
    if (command == GAUGE_SETRANGE) {
        w.range = value;
        w.pos = -1;
    } else {
        w.pos = value;
    }
    if (bForce || RepaintDue())
        RepaintNow();
}
