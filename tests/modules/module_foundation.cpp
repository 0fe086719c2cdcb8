// Launch and console set-up, seen from inside the game module.
// argv[1] picks the scenario; results go to probe.out.
#include <cstring>

#include "os_services.h"
#include "probe.h"

namespace {

int report_arguments(int argc, char** argv) {
    report("argc=%d", argc);
    for (int i = 0; i < argc; ++i) report("argv[%d]=<%s>", i, argv[i]);
    return 0;
}

int report_setup() {
    HANDLE before = open_active_buffer();
    mark_buffer(before, 'I');
    const int title_set = os_init();
    HANDLE now = open_active_buffer();
    CONSOLE_CURSOR_INFO cursor = {};
    GetConsoleCursorInfo(now, &cursor);
    DWORD output_mode = 99;
    GetConsoleMode(now, &output_mode);
    DWORD input_mode = 99;
    GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &input_mode);
    char title[64] = {};
    GetConsoleTitleA(title, sizeof title);
    report("init=%d", title_set != 0);
    report("active_is_initial=%d", read_mark(now) == 'I');
    report("title=<%s>", title);
    report("cursor_visible=%d cursor_size=%lu", cursor.bVisible ? 1 : 0,
           static_cast<unsigned long>(cursor.dwSize));
    report("input_mode=%lu output_mode=%lu", static_cast<unsigned long>(input_mode),
           static_cast<unsigned long>(output_mode));
    return 0;
}

}  // namespace

// Tells how the module left the process: unloaded by the host's FreeLibrary
// (lpReserved is NULL) or still mapped when the process ended (non-NULL).
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH)
        report("detach=%s", reserved == nullptr ? "freelibrary" : "process_exit");
    return TRUE;
}

GAME_ENTRY {
    const char* scenario = argc > 1 ? argv[1] : "";
    if (std::strcmp(scenario, "args") == 0) return report_arguments(argc, argv);
    if (std::strcmp(scenario, "setup") == 0) return report_setup();
    if (std::strcmp(scenario, "return7") == 0) {
        // exit_witness.dll, when present, reports at the very end whether this
        // module was still mapped.
        report("witness_loaded=%d", LoadLibraryA("exit_witness.dll") != nullptr);
        report("entry_returning");
        return 7;
    }
    report("unknown scenario <%s>", scenario);
    return 3;
}
