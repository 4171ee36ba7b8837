/* The file checksum (CRC-32 of the whole content) and file version numbers. */
#ifndef ZFIX_CHECKSUM_H
#define ZFIX_CHECKSUM_H

#include <stdio.h>

extern char gszVersionInfo[251];

unsigned long FileChecksum(FILE* stream);
int GetFileVersionNumbers(const char* lpPath, int* major, int* minor, int* release, int* build);

#endif
