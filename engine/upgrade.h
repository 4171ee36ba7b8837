#ifndef ZFIX_UPGRADE_H
#define ZFIX_UPGRADE_H

/* Runs the upgrade or revert of the identified release; 1 on success. */
int UpgradeZorelVersion(void);

#endif
