/* Ids of the installer's resources: dialog 400, its controls, and the icon. */
#ifndef ZFIX_RESOURCE_H
#define ZFIX_RESOURCE_H

#define IDD_MAIN          400

#define IDC_BACK          1001
#define IDC_NEXT          1002
#define IDC_TEXT1         1003
#define IDC_TEXT2         1004
#define IDC_PROGDIR       1005
#define IDC_BROWSE_PROG   1006
#define IDC_TEXT3         1007
#define IDC_DATADIRS      1008
#define IDC_BROWSE_DATA   1009
#define IDC_TEXT4         1010
#define IDC_STATE         1011
#define IDC_TEXT5         1012
#define IDC_PROGRESS1     1013
#define IDC_PROGRESS2     1014
#define IDC_TEXT6         1015
#define IDC_TEXT7         1016
#define IDC_APPICON       1017
#define IDC_TEXT9         1018
#define IDC_LABELS        1019
#define IDC_LICENSE       1020
#define IDC_ACCEPT        1021
#define IDC_DECLINE       1022
#define IDC_ACCEPT_GROUP  1023

#define ZFIX_DIALOG_CLASS "UPZOREL"

#endif
