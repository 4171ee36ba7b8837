/* The wizard's controls as its pages use them, and the string-table texts they show. */
#ifndef ZFIX_CONTROLS_H
#define ZFIX_CONTROLS_H

#include <windows.h>

#include <string>

void Show(HWND hDlg, int id, BOOL bShow);
void Enable(HWND hDlg, int id, BOOL bEnable);
void Focus(HWND hDlg, int id);
/* Presses a button of the dialog once the current message is done. */
void PostCommand(HWND hDlg, int id);

std::string ControlText(HWND hWnd);
std::string ComboItemText(HWND hCombo, int index);

/* A string-table text with up to three text arguments. */
std::string FormatString(int id, const char* a, const char* b = "", const char* c = "");

#endif
