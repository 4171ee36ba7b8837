/* HOSTRK.EXE, the sample product's server. While it runs it holds the product's core library
   pomvi.dll loaded, as the real server does, so that an installer finds the product running.
   It ends when the file named by its first argument appears (or when it is killed). */
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof(path));
    char* slash = strrchr(path, '\\');
    if (slash)
        strcpy(slash + 1, "pomvi.dll");
    HMODULE hLib = LoadLibraryA(path);
    if (!hLib) {
        fprintf(stderr, "HOSTRK: cannot load %s: %lu\n", path, (unsigned long)GetLastError());
        return 1;
    }
    printf("HOSTRK: running\n");
    fflush(stdout);
    while (argc < 2 || GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES)
        Sleep(50);
    FreeLibrary(hLib);
    return 0;
}
