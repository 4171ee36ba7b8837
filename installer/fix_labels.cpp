#include "installer/fix_labels.h"

#include "installer/globals.h"
#include "installer/log.h"
#include "installer/paths.h"
#include "installer/text.h"
#include "package/fix_record.h"

#include <stdlib.h>
#include <string.h>

char** gpcanFixLabels = NULL;
int giFixLabels = 0;
static int giFixLabelRoom = 0;
char* lpRqaLabel = NULL;

#define FIX_LABELS_ROOM 52

void ClearFixLabels(void)
{
    lpRqaLabel = NULL;  /* it points into the list */
    for (int i = 0; i < giFixLabels; ++i)
        free(gpcanFixLabels[i]);
    giFixLabels = 0;
}

void AddFixLabel(const char* lpLabel)
{
    /* The list starts with room for 52 labels and grows rather than refuse a label. */
    if (giFixLabels == giFixLabelRoom) {
        int room = giFixLabelRoom ? giFixLabelRoom * 2 : FIX_LABELS_ROOM;
        char** grown = (char**)realloc(gpcanFixLabels, (size_t)room * sizeof(char*));
        if (!grown) {
            LOG_ALLOC_FAILURE();
            return;
        }
        gpcanFixLabels = grown;
        giFixLabelRoom = room;
    }
    char* copy = (char*)calloc(LABEL_BUFFER + 1, 1);
    if (!copy) {
        LOG_ALLOC_FAILURE();
        return;
    }
    CopyText(copy, LABEL_BUFFER, lpLabel);
    zfix::TrimLabel(copy);
    gpcanFixLabels[giFixLabels++] = copy;
}

void DropLastFixLabel(void)
{
    if (giFixLabels > 0)
        free(gpcanFixLabels[--giFixLabels]);
}

char* LabelDirName(const char* lpLabel, char* lpOut)
{
    return zfix::LabelDirName(lpLabel, lpOut, Str(STRR_HOTFIX));
}

BOOL IsSameRelease(const char* lpCurrent, const char* lpLabel)
{
    return zfix::IsSameRelease(lpCurrent, lpLabel, Str(STRR_HOTFIX));
}

char* LabelRelease(const char* lpLabel)
{
    size_t len = strcspn(lpLabel, "|");
    char* out = (char*)malloc(len + 1);
    if (out) {
        memcpy(out, lpLabel, len);
        out[len] = '\0';
    }
    return out;
}

char* JoinLabels(const char* lpA, const char* lpB)
{
    size_t a = strcspn(lpA, "|"), b = strcspn(lpB, "|");
    char* out = (char*)malloc(a + b + 2);
    if (out) {
        memcpy(out, lpA, a);
        out[a] = '+';
        memcpy(out + a + 1, lpB, b);
        out[a + b + 1] = '\0';
    }
    return out;
}

/* The last part of a path (a file name of the fix, a backup copy, a folder), after its last '\\' or '/'. */
const char* FixFileBaseName(const char* lpPath)
{
    const char* base = lpPath;
    for (const char* p = lpPath; *p; ++p)
        if (*p == '\\' || *p == '/')
            base = p + 1;
    return base;
}

/* The backup copy name of a file: its stem, the entry number in four digits and ".IIB". */
void BackupCopyName(const char* lpFile, DWORD dwFileEntry, char* lpOut, size_t size)
{
    char szBase[PATH_BUFFER], szStem[PATH_BUFFER];
    CopyText(szBase, sizeof(szBase), FixFileBaseName(lpFile));
    StripFileExtension(szBase, szStem, sizeof(szStem));
    FormatText(lpOut, size, "%s%04d.IIB", szStem, (int)dwFileEntry);
}

char* BackupCopyPath(const char* lpLabel, const char* lpFile, DWORD dwFileEntry, char* lpOut, size_t size)
{
    char szDir[zfix::LABEL_DIR_MAX + 1], szName[PATH_BUFFER + 16];  /* a name and "nnnn.IIB" */
    LabelDirName(lpLabel, szDir);
    BackupCopyName(lpFile, dwFileEntry, szName, sizeof(szName));
    FormatText(lpOut, size, "%s\\%s", szDir, szName);
    return lpOut;
}
