/* Where the product lives: program directory, data directories (one per partition), system
   directory, and the start-up checks on the program directory. */
#ifndef ZFIX_LOCATION_H
#define ZFIX_LOCATION_H

#include <windows.h>

#define DEFAULT_PROGRAM_DIR "C:\\VORIN\\HALVEX"

BOOL IsWow64(void);
BOOL FindZorelProgram(void);
BOOL FindZorelData(void);
BOOL FindSystem(void);
BOOL CheckZorelProgramDir(void);
BOOL CheckPatchFile(void);

/* lpDir\lpName into lpOut (size bytes). A path that does not fit ends the run: logged, shown
   unless the run is unattended, exit code 1; a shorter path would name another file. */
void JoinPath(char* lpOut, size_t size, const char* lpDir, const char* lpName);

#endif
