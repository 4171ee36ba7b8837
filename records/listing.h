/* The listings of the installed fixes ("listfix", "fixdetails"). */
#ifndef ZFIX_LISTING_H
#define ZFIX_LISTING_H

char* ReadPatchInfo(void);
char* ReadListingFile(const char* lpPath);

#endif
