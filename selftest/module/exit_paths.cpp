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
    HANDLE input = fresh_input();
    const INPUT_RECORD record = key_record(c.virtual_key, c.character, c.state, c.down);
    OK_EQ(1, queue_records(input, &record, 1), "the record is queued");
    int key = -1, character = -1;
    for (int i = 0; i < 20 && waiting_records(input) > 0; ++i) {
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

// kernel32's CtrlRoutine, which starts the console's event threads: Wine
// exports it, Windows does not, so under Windows' rules only the console's own
// deliveries (FOR_THE_CONSOLE) find it.
LPTHREAD_START_ROUTINE ctrl_routine(bool for_the_console = false) {
    if (windows_rules() && !for_the_console) return nullptr;
    return reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CtrlRoutine")));
}

// An event as the console delivers it: a thread at CtrlRoutine runs the
// handlers, then the default one.
bool start_event_thread(LPTHREAD_START_ROUTINE routine, DWORD event) {
    void* parameter = reinterpret_cast<void*>(static_cast<ULONG_PTR>(event));
    HANDLE thread = routine != nullptr ? CreateThread(nullptr, 0, routine, parameter, 0, nullptr) : nullptr;
    return thread != nullptr && CloseHandle(thread);
}

// Ctrl+Break is raised for this process's group (the runner made it its own),
// the documented way. The close event comes when the player closes the console
// window, which no program can do on Windows. Under Windows' rules the console
// delivers either where Wine's call fails (in a terminal) or cannot be made:
// handlers, then Windows' default handling (handle_console_events_as_windows).
bool raise_event(DWORD event) {
    if (event == CTRL_BREAK_EVENT && GenerateConsoleCtrlEvent(event, GetCurrentProcessId())) return true;
    const DWORD error = GetLastError();
    if (windows_rules() && start_event_thread(ctrl_routine(true), event)) return true;
    SetLastError(error);
    return false;
}

// The host's handler gives the console back, then the default handling ends
// the process. Where the console cannot raise the event, a thread at kernel32's
// CtrlRoutine (where there is one) delivers it as Wine's console would.
int deliver_console_event(DWORD event, const char* name) {
    const LPTHREAD_START_ROUTINE routine = ctrl_routine();
    const bool documented = event == CTRL_BREAK_EVENT;
    if (!documented && routine == nullptr && !windows_rules()) {
        SKIPPED("no program can raise %s on Windows, where only closing the console window does",
                name);
        record_line("NOTE\tnot-run");
        return 0;
    }
    witnessed_setup();
    // Wine's CtrlRoutine ignores every event in a process group of its own, not
    // Ctrl+C alone, while the group's Ctrl+C flag is set; cleared, the event
    // reaches the process as it does on Windows.
    if (under_wine()) SetConsoleCtrlHandler(nullptr, FALSE);
    if (!raise_event(event)) {
        const DWORD error = GetLastError();
        if (routine == nullptr) {
            OK(false, "%s is raised for the host: error %lu", name, error);
            return selftest::survived;
        }
        if (documented)
            figure("%s: GenerateConsoleCtrlEvent fails with error %lu, as Wine's console does in "
                   "a terminal; a thread at kernel32's CtrlRoutine delivers it", name, error);
        start_event_thread(routine, event);
    }
    Sleep(10000);
    OK(false, "%s: the console's default handling ends the process after the host's handler", name);
    return selftest::survived;
}

// Windows' default handling of a console event ends the process with
// STATUS_CONTROL_C_EXIT, Wine's with 0: under Windows' rules the witness
// installs this as the first handler, the last to be called.
BOOL WINAPI windows_default_handling(DWORD) {
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
    return TRUE;
}

DWORD input_mode_before_crash = 0;

// The crash is seen last here, after the host's own filter: the player's
// console must be back by then. The process then ends with the crash's code.
LONG WINAPI last_crash_filter(EXCEPTION_POINTERS* exception) {
    OK_SHOWN(true, player_buffer(), "a crash: the player's buffer is active before the process ends");
    OK_EQ(input_mode_before_crash, console_input_mode(),
          "a crash: the player's input mode is back before the process ends");
    OK_EQ(write_fault_code(), exception->ExceptionRecord->ExceptionCode,
          "a crash: the exception is the write's fault (an access violation; under qemu-i386 an illegal "
          "instruction)");
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

// Alt+F4 ends the process whatever else is held; the exit character, from
// Ctrl+X or any key that types it, polled or during a pause, but not released.
constexpr unsigned char exit_char = keys::exit_character;
constexpr DWORD ctrl = LEFT_CTRL_PRESSED, all_held = RIGHT_ALT_PRESSED | SHIFT_PRESSED | LEFT_CTRL_PRESSED;
int alt_f4_polled(int, char**) { return run_exit_case({VK_F4, 0, LEFT_ALT_PRESSED, true, false, true}); }
int alt_f4_with_modifiers(int, char**) { return run_exit_case({VK_F4, 0, all_held, true, false, true}); }
int ctrl_x_polled(int, char**) { return run_exit_case({'X', exit_char, ctrl, true, false, true}); }
int char_24_polled(int, char**) { return run_exit_case({VK_F10, exit_char, 0, true, false, true}); }
int ctrl_x_in_pause(int, char**) { return run_exit_case({'X', exit_char, ctrl, true, true, true}); }
int ctrl_x_released(int, char**) { return run_exit_case({'X', exit_char, ctrl, false, false, false}); }
int ctrl_break_event(int, char**) { return deliver_console_event(CTRL_BREAK_EVENT, "Ctrl+Break"); }
int close_event(int, char**) { return deliver_console_event(CTRL_CLOSE_EVENT, "the close event"); }

void handle_console_events_as_windows() { SetConsoleCtrlHandler(windows_default_handling, TRUE); }

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
