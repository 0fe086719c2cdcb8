// The ways a run ends once os_init has registered its at-exit handler.
// argv[1] picks the scenario; results go to probe.out, and exit_witness.dll
// (loaded here, never freed) writes witness.out after the at-exit list ran.
//
// Every scenario first gives the console a distinctive input mode, makes
// standard output a real handle to the initial
// buffer (pin_initial_buffer: under Wine the standard handle would otherwise
// follow the active buffer), marks that buffer 'I', calls os_init and marks the
// host's private buffer 'P'. witness.out then tells which one is active at the
// very end. With "as_started" as argv[2], standard output stays as the process
// got it (a file, or under Wine the handle that follows the active buffer), and
// a program run after the host in the same console tells what the player gets
// back.
#include <cstring>

#include "os_services.h"
#include "probe.h"

namespace {

// How a scenario returns when the host did not end the process itself.
constexpr int survived_status = 5;

// An input mode no console starts with: line input and echo, quick-edit and
// insert off. The host must give exactly this back, not some default.
constexpr DWORD player_input_mode =
    ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_EXTENDED_FLAGS;

void witnessed_setup(bool pin_standard_output) {
    HANDLE player_input = open_console_input();
    SetConsoleMode(player_input, player_input_mode);
    DWORD mode = 0;
    report("player_mode=%lu", GetConsoleMode(player_input, &mode) ? mode : 999999ul);
    HANDLE initial = pin_standard_output ? pin_initial_buffer() : open_active_buffer();
    report("player_output_mode=%lu", GetConsoleMode(initial, &mode) ? mode : 999999ul);
    mark_buffer(initial, 'I');
    report("witness_loaded=%d", LoadLibraryA("exit_witness.dll") != nullptr);
    report("init=%d", os_init());
    HANDLE now = open_active_buffer();
    report("private_was_unmarked=%d", read_mark(now) != 'I');
    mark_buffer(now, 'P');
    report("during=%c", read_mark(open_active_buffer()));
}

// Queues one record and polls until the host ends the process; returns only
// when it did not.
int feed_and_poll(const INPUT_RECORD& record) {
    HANDLE input = open_console_input();
    FlushConsoleInputBuffer(input);
    report("queued=%lu", static_cast<unsigned long>(queue_records(input, &record, 1)));
    int key = -1;
    int character = -1;
    for (int poll = 0; poll < 200; ++poll) {
        os_get_input(&key, &character);
        if (waiting_records(input) == 0 && poll > 0) break;
    }
    report("survived key=%d char=%d", key, character);
    return survived_status;
}

// Delivers a console event the way the console does: a thread started at
// kernel32's CtrlRoutine, which runs the handlers and then the default one,
// which ends the process. Returns only when nothing ended it.
int deliver_console_event(DWORD event) {
    auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine")));
    report("ctrl_routine=%d", routine != nullptr);
    if (routine == nullptr) return survived_status;
    HANDLE thread = CreateThread(nullptr, 0, routine,
                                 reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
    WaitForSingleObject(thread, 10000);
    Sleep(2000);
    report("survived");
    return survived_status;
}

// Notes the code of the exception on its way, and lets it go on: the exit
// status must be this code. (Under qemu-i386 a write to a no-access page comes
// as another exception than on real hardware.)
LONG WINAPI note_exception(EXCEPTION_POINTERS* exception) {
    report("exception=%ld", static_cast<long>(exception->ExceptionRecord->ExceptionCode));
    return EXCEPTION_CONTINUE_SEARCH;
}

// A write where nothing may be written: an access violation, as a stray
// pointer gives. Not the null page: Wine run by root maps it, and the write
// then goes through.
int crash() {
    int* volatile nowhere =
        static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    report("crash_page=%d", nowhere != nullptr);
    AddVectoredExceptionHandler(1, note_exception);
    *nowhere = 1;
    report("survived");
    return survived_status;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH)
        report("detach=%s", reserved == nullptr ? "freelibrary" : "process_exit");
    return TRUE;
}

GAME_ENTRY {
    const char* scenario = argc > 1 ? argv[1] : "";
    const bool pin = !(argc > 2 && std::strcmp(argv[2], "as_started") == 0);
    if (std::strcmp(scenario, "mode_failure") == 0) {
        // Standard input is redirected from a file: os_init must end the run.
        witnessed_setup(pin);
        report("init_returned");
        return survived_status;
    }
    witnessed_setup(pin);
    if (std::strcmp(scenario, "normal") == 0) return 0;
    if (std::strcmp(scenario, "alt_f4") == 0)
        return feed_and_poll(key_record(VK_F4, 0, LEFT_ALT_PRESSED));
    if (std::strcmp(scenario, "ctrl_x") == 0)
        return feed_and_poll(key_record('X', 24, LEFT_CTRL_PRESSED));
    if (std::strcmp(scenario, "char_24") == 0)
        return feed_and_poll(key_record(VK_F10, 24, 0));
    if (std::strcmp(scenario, "ctrl_x_released") == 0)
        return feed_and_poll(key_record('X', 24, LEFT_CTRL_PRESSED, false));
    if (std::strcmp(scenario, "ctrl_break") == 0) return deliver_console_event(CTRL_BREAK_EVENT);
    if (std::strcmp(scenario, "ctrl_close") == 0) return deliver_console_event(CTRL_CLOSE_EVENT);
    if (std::strcmp(scenario, "crash") == 0) return crash();
    if (std::strcmp(scenario, "skip_at_exit") == 0) {
        // Leaves without the runtime's at-exit list: the witness must then see
        // the private buffer, which shows that it can tell the two apart.
        ExitProcess(0);
    }
    report("unknown scenario <%s>", scenario);
    return 3;
}
