#include "robot.h"

#include <stdlib.h>
#include <string.h>

namespace robot {

static const DWORD kPollMs = 20;
static const UINT kSendTimeoutMs = 10000;

static LRESULT Send(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hWnd, msg, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result))
        return -1;
    return (LRESULT)result;
}

std::string WindowText(HWND hWnd)
{
    LRESULT len = Send(hWnd, WM_GETTEXTLENGTH, 0, 0);
    if (len <= 0)
        return std::string();
    std::string text((size_t)len + 1, '\0');
    Send(hWnd, WM_GETTEXT, (WPARAM)text.size(), (LPARAM)&text[0]);
    text.resize(strlen(text.c_str()));
    return text;
}

std::string ClassName(HWND hWnd)
{
    char name[256] = "";
    GetClassNameA(hWnd, name, sizeof(name));
    return name;
}

struct EnumData {
    DWORD pid;
    std::vector<HWND> windows;
};

static BOOL CALLBACK CollectWindow(HWND hWnd, LPARAM lParam)
{
    EnumData* data = (EnumData*)lParam;
    DWORD pid = 0;
    GetWindowThreadProcessId(hWnd, &pid);
    if (pid == data->pid && IsWindowVisible(hWnd))
        data->windows.push_back(hWnd);
    return TRUE;
}

std::vector<HWND> ProcessWindows(DWORD pid)
{
    EnumData data;
    data.pid = pid;
    EnumWindows(CollectWindow, (LPARAM)&data);
    return data.windows;
}

static BOOL CALLBACK CollectChild(HWND hWnd, LPARAM lParam)
{
    ((std::vector<HWND>*)lParam)->push_back(hWnd);
    return TRUE;
}

static std::vector<HWND> Children(HWND hWnd)
{
    std::vector<HWND> children;
    EnumChildWindows(hWnd, CollectChild, (LPARAM)&children);
    return children;
}

static std::string WithoutAmpersands(const std::string& text)
{
    std::string out;
    for (char c : text)
        if (c != '&')
            out += c;
    return out;
}

/* Draws into a w x h memory bitmap compatible with the screen and returns its pixels as
   32-bit BGRA, top row first. */
template <typename Draw>
static std::vector<DWORD> DrawnPixels(int w, int h, Draw draw)
{
    std::vector<DWORD> pixels;
    if (w <= 0 || h <= 0)
        return pixels;
    HDC hScreen = GetDC(NULL);
    HDC hMem = CreateCompatibleDC(hScreen);
    HBITMAP hBmp = CreateCompatibleBitmap(hScreen, w, h);
    HGDIOBJ old = SelectObject(hMem, hBmp);
    draw(hMem, hScreen);
    SelectObject(hMem, old);
    BITMAPINFO bi;
    ZeroMemory(&bi, sizeof(bi));
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    pixels.resize((size_t)w * h);
    GetDIBits(hMem, hBmp, 0, (UINT)h, pixels.data(), &bi, DIB_RGB_COLORS);
    DeleteObject(hBmp);
    DeleteDC(hMem);
    ReleaseDC(NULL, hScreen);
    return pixels;
}

/* The pixels of a screen rectangle. */
static std::vector<DWORD> CaptureScreen(const RECT& rc)
{
    int w = rc.right - rc.left, h = rc.bottom - rc.top;
    return DrawnPixels(w, h, [&](HDC hMem, HDC hScreen) { BitBlt(hMem, 0, 0, w, h, hScreen, rc.left, rc.top, SRCCOPY); });
}

std::vector<DWORD> CaptureWindow(HWND hWnd, int* width, int* height)
{
    RedrawWindow(hWnd, NULL, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rc;
    GetWindowRect(hWnd, &rc);
    *width = rc.right - rc.left;
    *height = rc.bottom - rc.top;
    return CaptureScreen(rc);
}

/* A system icon drawn over a background colour, as the message box's icon control shows it. */
static std::vector<DWORD> RenderIcon(LPCSTR id, int w, int h, DWORD background)
{
    return DrawnPixels(w, h, [&](HDC hMem, HDC) {
        HBRUSH hBrush = CreateSolidBrush(RGB((background >> 16) & 0xFF, (background >> 8) & 0xFF, background & 0xFF));
        RECT rc = {0, 0, w, h};
        FillRect(hMem, &rc, hBrush);
        DeleteObject(hBrush);
        DrawIconEx(hMem, 0, 0, LoadIconA(NULL, id), 0, 0, 0, NULL, DI_NORMAL | DI_DEFAULTSIZE);
    });
}

static double MeanDifference(const std::vector<DWORD>& a, const std::vector<DWORD>& b)
{
    if (a.size() != b.size() || a.empty())
        return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            sum += abs((int)((a[i] >> shift) & 0xFF) - (int)((b[i] >> shift) & 0xFF));
    return sum / (double)(a.size() * 3);
}

/* Which system icon a message box shows, told by comparing its pixels with each icon's. */
static std::string IdentifyIcon(HWND hBox)
{
    HWND hIcon = NULL;
    for (HWND hChild : Children(hBox)) {
        LONG style = GetWindowLongA(hChild, GWL_STYLE);
        if (ClassName(hChild) == "Static" && (style & SS_TYPEMASK) == SS_ICON && IsWindowVisible(hChild))
            hIcon = hChild;
    }
    if (!hIcon)
        return "none";
    struct Candidate { LPCSTR id; const char* name; };
    const Candidate candidates[] = {{IDI_HAND, "error"}, {IDI_EXCLAMATION, "warning"},
                                    {IDI_ASTERISK, "information"}, {IDI_QUESTION, "question"}};
    RECT rc;
    GetWindowRect(hIcon, &rc);
    int w = GetSystemMetrics(SM_CXICON), h = GetSystemMetrics(SM_CYICON);
    if (rc.right - rc.left < w || rc.bottom - rc.top < h)
        return "none";
    rc.right = rc.left + w;
    rc.bottom = rc.top + h;
    std::string best = "none";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::vector<DWORD> shown = CaptureScreen(rc);
        DWORD background = shown.empty() ? 0 : shown[0];
        bool blank = true;
        for (DWORD p : shown)
            blank = blank && ((p & 0xFFFFFF) == (background & 0xFFFFFF));
        double bestDiff = 1e9;
        for (const Candidate& c : candidates) {
            double diff = MeanDifference(shown, RenderIcon(c.id, w, h, background));
            if (diff < bestDiff) {
                bestDiff = diff;
                best = c.name;
            }
        }
        if (!blank && bestDiff < 4.0)
            return best;
        Sleep(kPollMs);
    }
    return "unknown";
}

static bool ReadMessageBox(HWND hBox, MessageBoxInfo* box)
{
    box->hWnd = hBox;
    box->caption = WindowText(hBox);
    box->text.clear();
    box->buttons.clear();
    box->buttonIds.clear();
    for (HWND hChild : Children(hBox)) {
        std::string cls = ClassName(hChild);
        LONG style = GetWindowLongA(hChild, GWL_STYLE);
        if (cls == "Static" && (style & SS_TYPEMASK) != SS_ICON) {
            std::string text = WindowText(hChild);
            if (text.size() > box->text.size())
                box->text = text;
        } else if (cls == "Button" && IsWindowVisible(hChild)) {
            box->buttons.push_back(WithoutAmpersands(WindowText(hChild)));
            box->buttonIds.push_back(GetDlgCtrlID(hChild));
        }
    }
    box->icon = IdentifyIcon(hBox);
    return !box->buttons.empty();
}

Program::Program(const std::string& commandLine, const std::string& dir)
{
    ZeroMemory(&m_pi, sizeof(m_pi));
    STARTUPINFOA si;
    ZeroMemory(&si, sizeof(si));
    si.cb = sizeof(si);
    std::string cmd = commandLine;
    if (!CreateProcessA(NULL, &cmd[0], NULL, NULL, FALSE, 0, NULL, dir.empty() ? NULL : dir.c_str(), &si, &m_pi))
        ZeroMemory(&m_pi, sizeof(m_pi));
}

Program::~Program()
{
    if (m_pi.hProcess) {
        if (Running())
            TerminateProcess(m_pi.hProcess, 99);
        WaitForSingleObject(m_pi.hProcess, 5000);
        CloseHandle(m_pi.hProcess);
        CloseHandle(m_pi.hThread);
    }
}

bool Program::Running() const
{
    return m_pi.hProcess && WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::WaitMessageBox(MessageBoxInfo* box, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        for (HWND hWnd : ProcessWindows(m_pi.dwProcessId)) {
            /* A box is read once shown: before that its text may not be set yet. */
            if (ClassName(hWnd) == "#32770" && hWnd != m_hDlg && IsWindowVisible(hWnd) && ReadMessageBox(hWnd, box))
                return true;
        }
        if (!Running())
            return false;
        Sleep(kPollMs);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

bool Program::Answer(const MessageBoxInfo& box, int buttonId)
{
    for (int id : box.buttonIds) {
        if (id == buttonId) {
            PostMessageA(box.hWnd, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), (LPARAM)GetDlgItem(box.hWnd, buttonId));
            DWORD start = GetTickCount();
            while (IsWindow(box.hWnd) && IsWindowVisible(box.hWnd) && GetTickCount() - start < 10000)
                Sleep(kPollMs);
            return true;
        }
    }
    return false;
}

HWND Program::WaitWindow(const char* className, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        for (HWND hWnd : ProcessWindows(m_pi.dwProcessId)) {
            if (ClassName(hWnd) == className) {
                m_hDlg = hWnd;
                return hWnd;
            }
        }
        if (!Running())
            return NULL;
        Sleep(kPollMs);
    } while (GetTickCount() - start < timeoutMs);
    return NULL;
}

std::string Program::Text(int id) const { return WindowText(GetDlgItem(m_hDlg, id)); }
bool Program::Visible(int id) const { return IsWindowVisible(GetDlgItem(m_hDlg, id)) != FALSE; }
bool Program::Enabled(int id) const { return IsWindowEnabled(GetDlgItem(m_hDlg, id)) != FALSE; }
bool Program::Checked(int id) const { return Send(GetDlgItem(m_hDlg, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

bool Program::Click(int id)
{
    HWND hCtl = GetDlgItem(m_hDlg, id);
    if (!hCtl || !IsWindowVisible(hCtl) || !IsWindowEnabled(hCtl))
        return false;
    LONG type = GetWindowLongA(hCtl, GWL_STYLE) & BS_TYPEMASK;
    if (type == BS_AUTORADIOBUTTON || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON || type == BS_CHECKBOX)
        return Send(hCtl, BM_CLICK, 0, 0) != -1;
    return PostMessageA(m_hDlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)hCtl) != FALSE;
}

bool Program::SetText(int id, const std::string& text)
{
    return Send(GetDlgItem(m_hDlg, id), WM_SETTEXT, 0, (LPARAM)text.c_str()) != -1;
}

/* Item texts of a combo or list box. Asked for in UTF-16 and converted here: Wine hands an
   ANSI request across processes back unconverted. */
static std::vector<std::string> Items(HWND hCtl, UINT countMsg, UINT lenMsg, UINT textMsg)
{
    std::vector<std::string> items;
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutW(hCtl, countMsg, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &count) || (LRESULT)count < 0)
        return items;
    for (DWORD_PTR i = 0; i < count; ++i) {
        DWORD_PTR len = 0;
        SendMessageTimeoutW(hCtl, lenMsg, (WPARAM)i, 0, SMTO_NORMAL, kSendTimeoutMs, &len);
        std::wstring wide((size_t)((LRESULT)len > 0 ? len : 0) + 1, L'\0');
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(hCtl, textMsg, (WPARAM)i, (LPARAM)&wide[0], SMTO_NORMAL, kSendTimeoutMs, &ignored);
        char text[4096] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, text, sizeof(text), NULL, NULL);
        items.push_back(text);
    }
    return items;
}

std::vector<std::string> Program::ComboItems(int id) const
{
    return Items(GetDlgItem(m_hDlg, id), CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::vector<std::string> Program::ListItems(int id) const
{
    return Items(GetDlgItem(m_hDlg, id), LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT);
}

bool Program::SelectListItem(int id, int index)
{
    HWND hCtl = GetDlgItem(m_hDlg, id);
    if (!hCtl || !IsWindowVisible(hCtl) || !IsWindowEnabled(hCtl))
        return false;
    if (Send(hCtl, LB_SETCURSEL, (WPARAM)index, 0) == LB_ERR)
        return false;
    return PostMessageA(m_hDlg, WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), (LPARAM)hCtl) != FALSE;
}

bool Program::TypeComboText(int id, const std::string& text)
{
    HWND hCtl = GetDlgItem(m_hDlg, id);
    if (!hCtl || !IsWindowVisible(hCtl) || !IsWindowEnabled(hCtl))
        return false;
    HWND hEdit = FindWindowExA(hCtl, NULL, "Edit", NULL);
    if (!hEdit)
        return false;
    /* The edit field tells the combo box, which tells the dialog, as with typed text. */
    Send(hEdit, WM_SETTEXT, 0, (LPARAM)text.c_str());
    Send(hCtl, CB_SHOWDROPDOWN, TRUE, 0);
    Send(hCtl, CB_SHOWDROPDOWN, FALSE, 0);
    return true;
}

bool Program::WaitText(int id, const std::string& expected, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (Text(id) == expected)
            return true;
        Sleep(kPollMs);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

bool Program::WaitEnabled(int id, bool enabled, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    do {
        if (Enabled(id) == enabled)
            return true;
        Sleep(kPollMs);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}

int Program::WaitExit(DWORD timeoutMs)
{
    if (!m_pi.hProcess || WaitForSingleObject(m_pi.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(m_pi.hProcess, &code);
    return (int)code;
}

}  // namespace robot
