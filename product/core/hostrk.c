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
    /* Started right after its files were written (a set-up, an upgrade), it may find the writer's
       handle still open for a moment under load: a sharing violation is waited out for up to 10 s. */
    HMODULE hLib = NULL;
    for (int i = 0; i < 500; ++i) {
        hLib = LoadLibraryA(path);
        if (hLib || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(20);
    }
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
