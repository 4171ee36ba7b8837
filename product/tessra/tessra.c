/* tessra.dll: the product's release-strings library (sample build). */
#include "tessra.h"

#include <string.h>

static HMODULE g_self;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        g_self = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

DWORD TessraReleaseText(char* buf, DWORD size)
{
    const char* text;
    DWORD len, n;
    if (!TessraFindReleaseText(g_self, &text, &len))
        len = 0;
    if (buf && size > 0) {
        n = len < size - 1 ? len : size - 1;
        if (n)
            memcpy(buf, text, n);
        buf[n] = '\0';
    }
    return len;
}
