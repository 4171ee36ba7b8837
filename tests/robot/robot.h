/* A robot that runs a Windows program as a user meets it: it starts the program with an exact
   command line, reads and answers its message boxes, drives its dialog through the controls,
   and collects its exit code. Everything goes through the program's real windows. */
#ifndef ZFIX_ROBOT_H
#define ZFIX_ROBOT_H

#include <windows.h>

#include <string>
#include <vector>

namespace robot {

struct MessageBoxInfo {
    HWND hWnd = NULL;
    std::string caption;
    std::string text;
    std::string icon;                    /* "error", "warning", "information", "question" or "none" */
    std::vector<std::string> buttons;    /* button texts, '&' removed, in child order */
    std::vector<int> buttonIds;
};

class Program {
public:
    /* Starts commandLine (the exact text handed to CreateProcess) in directory dir (empty: ours). */
    Program(const std::string& commandLine, const std::string& dir = std::string());
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Started() const { return m_pi.hProcess != NULL; }
    DWORD ProcessId() const { return m_pi.dwProcessId; }

    /* Waits for a message box of the program; false when none came within the time. */
    bool WaitMessageBox(MessageBoxInfo* box, DWORD timeoutMs = 15000);
    /* Presses the button of the box with this id (IDOK, IDCANCEL, IDYES, IDNO, ...). */
    bool Answer(const MessageBoxInfo& box, int buttonId);

    /* Waits until the program's visible top-level window of the class exists. */
    HWND WaitWindow(const char* className, DWORD timeoutMs = 15000);
    HWND Dialog() const { return m_hDlg; }

    /* Controls of the dialog found by WaitWindow. */
    std::string Text(int id) const;
    bool Visible(int id) const;
    bool Enabled(int id) const;
    bool Checked(int id) const;
    /* Clicks a button, radio button or check box, as a user would: only when it is visible
       and enabled. */
    bool Click(int id);
    bool SetText(int id, const std::string& text);
    std::vector<std::string> ComboItems(int id) const;
    std::vector<std::string> ListItems(int id) const;
    /* Selects list box entry index and notifies the dialog as a mouse click does. */
    bool SelectListItem(int id, int index);
    /* Types text into a combo box's edit field, then opens its list (as a user adding an entry). */
    bool TypeComboText(int id, const std::string& text);
    /* Waits until control id's text satisfies pred, or the time runs out. */
    bool WaitText(int id, const std::string& expected, DWORD timeoutMs = 15000);
    bool WaitEnabled(int id, bool enabled, DWORD timeoutMs = 15000);

    /* Waits for the program to end; its exit code, or -1 when it did not end in time. */
    int WaitExit(DWORD timeoutMs = 30000);
    bool Running() const;

private:
    PROCESS_INFORMATION m_pi;
    HWND m_hDlg = NULL;
};

/* Top-level windows of a process, visible ones only. */
std::vector<HWND> ProcessWindows(DWORD pid);
std::string WindowText(HWND hWnd);
/* The pixels of a window as the screen shows it (redrawn first), 32-bit BGRA, top row first. */
std::vector<DWORD> CaptureWindow(HWND hWnd, int* width, int* height);
std::string ClassName(HWND hWnd);

}  // namespace robot

#endif
