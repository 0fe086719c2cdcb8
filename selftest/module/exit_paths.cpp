// Every way the game ends: the keys that end it, polled or during a pause (and
// a released one that must not), the console's events, a crash, a failed
// set-up, the calibration that skips the host's at-exit list, and a launch
// that must never reach the entry. The runner checks the exit status and the
// player's console afterwards; the witness, the console at the very end.
#include "module.h"

namespace {

// A record that must end the process (or must not), polled or during a pause.
struct exit_case {
    WORD virtual_key;
    unsigned char character;
    DWORD state;
    bool down, in_pause, ends;
};

int run_exit_case(const exit_case& c) {
    witnessed_setup();
    FlushConsoleInputBuffer(console_input());
    const INPUT_RECORD record = key_record(c.virtual_key, c.character, c.state, c.down);
    OK_EQ(1, queue_records(console_input(), &record, 1), "the record is queued");
    int key = -1, character = -1;
    for (int i = 0; i < 20 && waiting_records(console_input()) > 0; ++i) {
        if (c.in_pause) os_pause();
        else os_get_input(&key, &character);
    }
    // Reached only when the record left the process running.
    if (c.ends)
        OK(false, c.in_pause ? "the record ends the process during os_pause"
                             : "the record ends the process inside os_get_input");
    else
        OK(key == 0 && character == 0, "the record reads as no key and the game goes on: %d/%d",
           key, character);
    return selftest::survived;
}

// A console event as the console delivers it: a thread started at kernel32's
// CtrlRoutine runs the handlers, then the default one, which ends the process.
int deliver_console_event(DWORD event) {
    witnessed_setup();
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "CtrlRoutine")));
    if (routine == nullptr) {
        SKIPPED("the console event: kernel32 has no CtrlRoutine to deliver it with");
        return 0;
    }
    HANDLE thread = CreateThread(nullptr, 0, routine,
                                 reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
    WaitForSingleObject(thread, 10000);
    Sleep(2000);
    OK(false, "the console's default handling ends the process after the host's handler");
    return selftest::survived;
}

DWORD input_mode_before_crash = 0;

// The crash is seen last here, after the host's own filter: the player's
// console must be back by then. The process then ends with the crash's code.
LONG WINAPI last_crash_filter(EXCEPTION_POINTERS* exception) {
    OK(player_buffer_shown(), "a crash: the player's buffer is active before the process ends");
    OK_EQ(input_mode_before_crash, console_input_mode(),
          "a crash: the player's input mode is back before the process ends");
    OK_EQ(EXCEPTION_ACCESS_VIOLATION, exception->ExceptionRecord->ExceptionCode,
          "a crash: the exception is the write's access violation");
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int alt_f4_polled(int, char**) { return run_exit_case({VK_F4, 0, LEFT_ALT_PRESSED, true, false, true}); }
int alt_f4_with_modifiers(int, char**) {
    return run_exit_case({VK_F4, 0, RIGHT_ALT_PRESSED | SHIFT_PRESSED | LEFT_CTRL_PRESSED, true, false, true});
}
int ctrl_x_polled(int, char**) { return run_exit_case({'X', 24, LEFT_CTRL_PRESSED, true, false, true}); }
int char_24_polled(int, char**) { return run_exit_case({VK_F10, 24, 0, true, false, true}); }
int ctrl_x_in_pause(int, char**) { return run_exit_case({'X', 24, LEFT_CTRL_PRESSED, true, true, true}); }
int ctrl_x_released(int, char**) { return run_exit_case({'X', 24, LEFT_CTRL_PRESSED, false, false, false}); }
int ctrl_break_event(int, char**) { return deliver_console_event(CTRL_BREAK_EVENT); }
int close_event(int, char**) { return deliver_console_event(CTRL_CLOSE_EVENT); }

// A write where nothing may be written, as a stray pointer gives. Not the null
// page: Wine run by root maps it.
int crash(int, char**) {
    input_mode_before_crash = console_input_mode();
    SetUnhandledExceptionFilter(last_crash_filter);
    witnessed_setup();
    int* volatile nowhere =
        static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    *nowhere = 1;
    OK(false, "a write to a no-access page crashes");
    return selftest::survived;
}

// Standard input from a file: os_init cannot set the input mode and must end
// the process.
int set_up_fails(int, char**) {
    witnessed_setup();
    OK(false, "os_init ends the process when the input mode cannot be set");
    return selftest::survived;
}

int leave_by_exit_process(int, char**) {
    witnessed_setup();
    ExitProcess(selftest::skipped_exit_status);
    return selftest::survived;
}

// The launch faults: the host must not call the entry of a module it could not
// load, or of one that refused to load.
int never_runs(int, char**) {
    OK(false, "the entry of a module the host could not load is never called");
    return selftest::survived;
}
