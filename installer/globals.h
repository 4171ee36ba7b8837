/* The global run state of one installer run. Every routine reads and writes it directly. */
#ifndef ZFIX_GLOBALS_H
#define ZFIX_GLOBALS_H

#include <windows.h>
#include <stdio.h>

#include "package/fix_format.h"

#define MODE_UPGRADE   1
#define MODE_REVERT    2
#define MODE_AMBIGUOUS 3
#define MODE_FAILED    4   /* after a failed upgrade */

/* Option bits of gwOptions. */
#define OPTIONS_NOUSER     0x02
#define OPTIONS_REVERT     0x04
#define OPTIONS_LISTFIX    0x08
#define OPTIONS_FIXDETAILS 0x10
#define OPTIONS_CONTENTS   0x20
#define OPTIONS_EXTRACT    0x40
#define OPTIONS_FORCE      0x80

/* String ids with a name of their own: the stub's, and the fix's own from the format. */
#define STR_CAPTION        3
#define STR_HELP           4
using zfix::STR_TITLE;
using zfix::STR_STRINGS_LIB;
using zfix::STR_RELEASE_TEXT;
using zfix::STRR_HOTFIX;
using zfix::STR_LP;

#define PATH_BUFFER        260
#define LABEL_BUFFER       100
#define REVERT_LABEL_SIZE  288
#define DATA_DIR_BUFFER    521

extern HINSTANCE ghInstance;
extern char gszModulePath[520];
extern char gszStartDir[1040];
extern WORD gwOptions;
extern char gszRevertLabel[REVERT_LABEL_SIZE];
extern char** gpStrings;
extern int giStringCount;
extern const char* gszPatchIniName;
extern char* gpTempDir;
extern char gszLicenseCopyPath[PATH_BUFFER];
extern char gszUpdateVersionPath[PATH_BUFFER];
extern char gszCabarcPath[PATH_BUFFER];
extern HGLOBAL ghLicenseBlock;
extern DWORD gdwLicenseLength;
extern char* gpProgramDir;
extern char** gpZorelData;
extern int giPartitions;
extern BYTE* gpDataValid;
extern char* gpSystemDir;
extern int giMode;
extern int dwUpgradeType;
extern BOOL gbJvmUpdated;
extern HWND ghMainDlg;
extern HWND ghGaugeFile;
extern HWND ghGaugeTotal;
extern int giDlgState;
extern BOOL gbCloseNoAsk;
extern char canLabelDir[PATH_BUFFER];
extern char canCurrentVersion[128];
extern DWORD gdwChecksums;
extern DWORD gdwFileEntries;
/* Backup copies of the label a revert restores: the progress range of its checks and restore. */
extern DWORD dwNumBackupFiles;

/* String n of the string table; an empty text when the table has no such entry. Before the
   table is loaded, the text comes straight from the executable's resources. */
const char* Str(int id);

/* TRUE when string id is exactly text. */
BOOL StrIs(int id, const char* text);

/* TRUE in an unattended run (no user answers). */
BOOL Unattended(void);

#endif
