#ifndef ZFIX_CMDLINE_H
#define ZFIX_CMDLINE_H

#include <windows.h>

/* Turns the command line into gwOptions and gszRevertLabel; "extract" is carried out here.
   The text is split in place. FALSE when a word was not understood. */
BOOL ParseCommandLine(char* lpCmdLine);

#endif
