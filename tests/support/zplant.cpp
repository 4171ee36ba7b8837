/* zplant: a program that a test plants where no program of the fix belongs. Run, it writes its
   command line to its own path with ".ran" appended, so that a test sees that it was started. */
#include <windows.h>

#include <stdio.h>

int main()
{
    char path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 1;
    lstrcatA(path, ".ran");
    FILE* f = fopen(path, "wb");
    if (!f)
        return 1;
    fputs(GetCommandLineA(), f);
    fclose(f);
    return 0;
}
