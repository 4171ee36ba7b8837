/* The wizard: one modeless dialog (template 400) that walks licence, directories,
   identification, progress and finish. */
#ifndef ZFIX_DIALOG_H
#define ZFIX_DIALOG_H

#include <windows.h>

#define WM_START_IDENTIFY (WM_USER + 1)
#define WM_START_UPGRADE  (WM_USER + 2)

#define DLGSTATE_LICENSE  0
#define DLGSTATE_WELCOME  1
#define DLGSTATE_DIRS     2
#define DLGSTATE_UPGRADE  3
#define DLGSTATE_FINISHED 4

/* Registers the dialog's window class "UPZOREL", by which a second installer finds the first. */
BOOL RegisterDialogClass(void);
INT_PTR CALLBACK MainDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL ConfigureDialog(HWND hDlg, int state);

#endif
