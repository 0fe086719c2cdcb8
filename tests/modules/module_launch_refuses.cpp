// A game module whose own initialisation refuses to load: DllMain answers
// FALSE to DLL_PROCESS_ATTACH, so LoadLibrary fails although the file is a
// valid DLL of the right bitness with a dll_main (tests/wine/test_run_command.sh).
#include <windows.h>

#include "os_services.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    return reason == DLL_PROCESS_ATTACH ? FALSE : TRUE;
}

int dll_main(int, char**) { return 0; }
