/* The copies of ZOREL.INI and PATCH.INI that an upgrade keeps in a label's backup directory. */
#ifndef ZFIX_INI_COPIES_H
#define ZFIX_INI_COPIES_H

#include <windows.h>

/* Removes the directory of a label's backup after its two INI copies (ZOREL_INI.BCK,
   PATCH_INI.BCK); TRUE when the directory itself is gone. Other files keep it in place. */
BOOL RemoveDir(const char* lpDir);

#endif
