/* The labels of a run: the list of labels a revert can go back to (and, for a web-access add-on
   fix, the installed add-on labels), and the label rules applied with this fix's kind. */
#ifndef ZFIX_FIX_LABELS_H
#define ZFIX_FIX_LABELS_H

#include <windows.h>

/* Owned copies, trimmed; the list grows as needed. */
extern char** gpcanFixLabels;
extern int giFixLabels;
/* The last installed label that contains "RQA", or NULL; it points into the list. */
extern char* lpRqaLabel;

/* The list: emptied, appended to (owned, trimmed copy) and shortened by its last label. */
void ClearFixLabels(void);
void AddFixLabel(const char* lpLabel);
void DropLastFixLabel(void);

/* The backup directory name of a label for this fix (LABEL_DIR_MAX + 1 bytes); returns lpOut. */
char* LabelDirName(const char* lpLabel, char* lpOut);
/* TRUE when the release text lpCurrent is the label lpLabel: it begins with the whole label, or
   both have the same backup directory name. */
BOOL IsSameRelease(const char* lpCurrent, const char* lpLabel);

/* New texts the caller frees: the label cut at its first '|' (the release text without the
   date), and two labels cut so, joined by "+". */
char* LabelRelease(const char* lpLabel);
char* JoinLabels(const char* lpA, const char* lpB);

/* The last part of a path (a file name of the fix, a backup copy, a folder), after its last '\\' or '/'. */
const char* FixFileBaseName(const char* lpPath);
/* The name of a file's backup copy: its stem, the entry number in four digits and ".IIB"; and
   the copy's path relative to the program directory, below the label's backup directory. */
void BackupCopyName(const char* lpFile, DWORD dwFileEntry, char* lpOut, size_t size);
char* BackupCopyPath(const char* lpLabel, const char* lpFile, DWORD dwFileEntry, char* lpOut, size_t size);

#endif
