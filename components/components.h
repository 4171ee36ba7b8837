/* The updaters of whole component trees that a fix carries as cabinets or zip archives. Each takes
   the installed archive's path, the temporary file with its new (or restored) content and the
   backup path; nonzero when the component was updated. */
#ifndef ZFIX_COMPONENTS_H
#define ZFIX_COMPONENTS_H

int ProcessDojo(const char* lpDataDir, const char* lpFileName, const char* lpTempName, const char* lpBackName);
int ProcessOsgi(const char* lpFileName, const char* lpTempName, const char* lpBackName);
int ProcessKWS(const char* lpFileName, const char* lpTempName, const char* lpBackName);
int ProcessCkEditor(const char* lpFileName, const char* lpTempName, const char* lpBackName, const char* lpDataDir);

#endif
