/* The identification page: what the wizard shows of identification, the revert labels on offer,
   and the start of the upgrade. */
#ifndef ZFIX_IDENTIFY_PAGE_H
#define ZFIX_IDENTIFY_PAGE_H

#include <windows.h>

/* The index of the add-on's own label, left out of the list of labels on offer. */
extern int giSkippedLabel;

void StartIdentify(HWND hDlg);
void StartUpgrade(HWND hDlg);
/* The user chose a label of the list (or left it). */
void RevertLabelChosen(HWND hDlg);

#endif
