/* The check of a label's installed files against the checksums the fix registry records for
   them, which the listings print and the revert's base release check relies on. */
#ifndef ZFIX_LABEL_CHECK_H
#define ZFIX_LABEL_CHECK_H

#include <windows.h>

#include <stdio.h>

/* Checks the program directory's files of lpLabel's registry section and writes a tab, the
   path and a line end to lpListing for each file that still has its recorded checksum, and
   the path followed by " overwritten." for each that has another one (a fix installed on top
   of the label replaces its files, so that does not make the label any less installed).
   2 when the section was read to its end, 1 when an entry could not be read. */
int CheckValidLabel(const char* lpLabel, FILE* lpListing);

#endif
