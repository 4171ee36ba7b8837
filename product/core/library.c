/* pomvi.dll (the digest library) and nzorel.dll of the sample product: small real libraries
   with a version resource and one export each. */
#include <windows.h>

__declspec(dllexport) DWORD SampleLibraryVersion(void);
BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved);

__declspec(dllexport) DWORD SampleLibraryVersion(void)
{
    return SAMPLE_VERSION_NUMBER;
}

BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID lpReserved)
{
    (void)hInstance;
    (void)dwReason;
    (void)lpReserved;
    return TRUE;
}
