/* The installed release text (through the release-string tool) and the running-product probe. */
#ifndef ZFIX_PROBE_H
#define ZFIX_PROBE_H

void LoadCurrentZorelVersion64(const char* lpWord);
int IsZorelRunning(void);

#endif
