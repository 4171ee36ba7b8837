/* Checks of a label's backup copies and installed files against the checksums the fix registry
   records for them. */
#ifndef ZFIX_VALIDATE_H
#define ZFIX_VALIDATE_H

#include "records/label_check.h"

#endif
