#include "installer/text.h"

#include <windows.h>

void TrimTrailingBlanks(char* lpText)
{
    size_t len = strlen(lpText);
    while (len > 0 && lpText[len - 1] == ' ')
        lpText[--len] = '\0';
}

char* UpperCase(char* lpText)
{
    CharUpperA(lpText);
    return lpText;
}
