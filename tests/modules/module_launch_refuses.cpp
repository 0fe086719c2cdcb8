// A game module whose own initialisation refuses to load: DllMain answers
// FALSE to DLL_PROCESS_ATTACH, so LoadLibrary fails although the file is a
// valid DLL of the right bitness with a dll_main.
#include "probe.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        report("attach_refused");
        return FALSE;
    }
    return TRUE;
}

GAME_ENTRY {
    (void)argc;
    (void)argv;
    report("entry_called");
    return 0;
}
