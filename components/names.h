/* Names that carry a build timestamp: 8 digits, '-' or '_', 4 digits (lib_20260921-1234.jar). */
#ifndef ZFIX_NAMES_H
#define ZFIX_NAMES_H

#include <stddef.h>

/* Finds in lpDir a file whose name differs from lpWanted only by its timestamp (in the revert mode
   only the part before the timestamp must agree); 1 with its name in lpFound, else 0. */
int NameStart(const char* lpDir, const char* lpWanted, char* lpFound, size_t cbFound);

#endif
