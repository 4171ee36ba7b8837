/* zmkfix FIX.exe: a fix executable with the carried resources and no files, made from the stub
   beside this program (for the demo and tests, until fixes come from the package builder). */
#include "fixture.h"

#include <stdio.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: zmkfix FIX.exe\n");
        return 2;
    }
    if (!fixture::MakePackage(argv[1])) {
        fprintf(stderr, "zmkfix: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
