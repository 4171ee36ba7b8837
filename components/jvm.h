/* The JVM updater and the restore of the gold JVM before an upgrade. */
#ifndef ZFIX_JVM_H
#define ZFIX_JVM_H

#include <windows.h>

/* Nonzero when the JVM was updated (the wizard warns otherwise). */
int ProcessJvm(const char* lpFileName, const char* lpTempName, const char* lpBackName);
/* Nonzero when the gold JVM is in place for entry dwEntry. */
int RestoreGoldJvm(const char* lpFileName, DWORD dwEntry);

#endif
