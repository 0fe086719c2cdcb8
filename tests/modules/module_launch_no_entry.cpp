// A DLL that loads fine but exports no dll_main (only a look-alike name), so
// the host's look-up of the entry fails.
#include "probe.h"

extern "C" __declspec(dllexport) int dll_main_(int, char**) {
    report("lookalike_called");
    return 0;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) report("attached");
    if (reason == DLL_PROCESS_DETACH)
        report("detach=%s", reserved == nullptr ? "freelibrary" : "process_exit");
    return TRUE;
}
