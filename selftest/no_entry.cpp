// The self-test's module without an entry: a DLL that loads but exports no
// dll_main (only a look-alike name), so the host's look-up of the entry fails.
// It notes in the results file that it was loaded, and how it was unloaded:
// the host must keep it until the process ends.
#include <windows.h>

#include "check.h"
#include "results_file.h"
#include "scenario.h"

void record_line(const char* line) { append_line(selftest::results_file, line); }

extern "C" __declspec(dllexport) int dll_main_(int, char**) { return 0; }

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) record_line("NOTE\tattached");
    if (reason == DLL_PROCESS_DETACH)
        record_line(reserved != nullptr ? "NOTE\tdetached-at-exit" : "NOTE\tfreed");
    return TRUE;
}
