// Not a game module: a helper DLL that a test module loads and never frees.
// Its DLL_PROCESS_DETACH runs inside ExitProcess, after the host's at-exit list,
// so from there it sees the console as the process leaves it, and writes
// "witness.out" in the current folder (console_witness.h).
#include "console_witness.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Only the process exit counts; an early FreeLibrary would see the run
    // still going and is not what the tests ask about.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) write_witness("witness.out", true);
    return TRUE;
}
