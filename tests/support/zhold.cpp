/* zhold FILE none|read|rw|rwd|d STOPFILE: holds FILE open (read and write) with that sharing until
   STOPFILE exists, so that tests meet a file locked by another process. Prints "holding" once
   the file is open. */
#include <windows.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: zhold FILE none|read|rw|rwd|d STOPFILE\n");
        return 2;
    }
    DWORD share = 0;
    if (!strcmp(argv[2], "read")) share = FILE_SHARE_READ;
    else if (!strcmp(argv[2], "rw")) share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    else if (!strcmp(argv[2], "rwd")) share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    else if (!strcmp(argv[2], "d")) share = FILE_SHARE_DELETE;
    /* A process that has just ended (an installer run of the test before, a copy) may still hold
       the file for a moment under load: a sharing violation is waited out for up to 10 s. */
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int i = 0; i < 500; ++i) {
        h = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, share, NULL, OPEN_EXISTING, 0, NULL);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(20);
    }
    if (h == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "zhold: cannot open %s: %lu\n", argv[1], (unsigned long)GetLastError());
        return 1;
    }
    printf("holding\n");
    fflush(stdout);
    while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES)
        Sleep(20);
    CloseHandle(h);
    return 0;
}
