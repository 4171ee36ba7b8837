/* The release text in tessra.dll, written by the carried release-string tool (the upgrade and the
   base release restore both write it). */
#ifndef ZFIX_RELEASE_STRING_H
#define ZFIX_RELEASE_STRING_H

#include <windows.h>

/* Runs UpdateVersion.exe "<program directory>" "<label>" write and waits for it; FALSE when the
   tool cannot be started. */
BOOL UpdateTessra64(const char* lpLabel);

#endif
