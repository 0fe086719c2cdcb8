// os_init, the at-exit restore and the four services this host ignores.
#include <cstdlib>

#include "console_state.h"
#include "os_services.h"

console_handle_set console_handles = {nullptr, nullptr, nullptr};
player_console initial_console = {false, nullptr, nullptr, false, 0};

namespace {

[[noreturn]] void fail_setup() { std::exit(1); }

HANDLE take_std_handle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (handle == INVALID_HANDLE_VALUE) fail_setup();
    return handle;
}

// Wine's console on a terminal starts reading the terminal's keys only once a
// program reads or peeks at its input; os_get_input counts the waiting records
// before it reads, and that count alone never starts it, so typed keys would
// never arrive. One peek, which takes nothing and never waits, starts it. On
// Windows it changes nothing.
void start_terminal_input() {
    INPUT_RECORD record;
    DWORD seen = 0;
    PeekConsoleInputA(console_handles.input, &record, 1, &seen);
}

// Takes the player's console as it is before the game changes anything: a
// handle bound to the buffer it shows, and its input mode.
void take_player_console() {
    initial_console.taken = true;
    HANDLE shown = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    initial_console.buffer = shown != INVALID_HANDLE_VALUE ? shown : console_handles.initial_output;
    initial_console.input = console_handles.input;
    initial_console.input_mode_known =
        GetConsoleMode(console_handles.input, &initial_console.input_mode) != 0;
}

// The crash filter that was installed before the host's, handed every crash on.
LPTOP_LEVEL_EXCEPTION_FILTER previous_crash_filter = nullptr;

// Ctrl+C typed in the game is a key like any other: with processed input off
// the console queues it as one and raises no event. A terminal whose own
// driver turns Ctrl+C into an interrupt (Wine's console on a terminal does)
// raises the event instead and never queues the key, so the key is queued
// here, pressed and released, as the console would have queued it.
void queue_ctrl_c_key() {
    INPUT_RECORD key[2] = {};
    for (INPUT_RECORD& record : key) {
        record.EventType = KEY_EVENT;
        record.Event.KeyEvent.wRepeatCount = 1;
        record.Event.KeyEvent.wVirtualKeyCode = 'C';
        record.Event.KeyEvent.wVirtualScanCode = 0x2E;
        record.Event.KeyEvent.uChar.AsciiChar = 3;
        record.Event.KeyEvent.dwControlKeyState = LEFT_CTRL_PRESSED;
    }
    key[0].Event.KeyEvent.bKeyDown = TRUE;
    DWORD written = 0;
    WriteConsoleInputA(initial_console.input, key, 2, &written);
}

// The Ctrl+C event does not end the game: its key reaches the game instead.
// Ctrl+Break and the console's close, logoff and shutdown events end the
// process without the runtime's at-exit list; FALSE lets the default handling
// end it exactly as it would have, once the console is given back.
BOOL WINAPI on_console_event(DWORD event) {
    if (event == CTRL_C_EVENT) {
        queue_ctrl_c_key();
        return TRUE;
    }
    restore_initial_buffer();
    return FALSE;
}

// A crash ends the process without the at-exit list too. The crash still goes
// on to the filter before this one, or to the system, and keeps its status.
LONG WINAPI restore_on_crash(EXCEPTION_POINTERS* exception) {
    restore_initial_buffer();
    return previous_crash_filter != nullptr ? previous_crash_filter(exception)
                                            : EXCEPTION_CONTINUE_SEARCH;
}

// Gives the console back on the ways out that skip the at-exit list. Not a
// vectored handler: that would also see exceptions the module handles itself.
void guard_abnormal_exits() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
    previous_crash_filter = SetUnhandledExceptionFilter(restore_on_crash);
}

}  // namespace

extern "C" void restore_initial_buffer(void) {
    SetConsoleActiveScreenBuffer(initial_console.buffer);
    if (initial_console.input_mode_known)
        SetConsoleMode(initial_console.input, initial_console.input_mode);
}

extern "C" int os_init(void) {
    const bool first_setup = !initial_console.taken;
    console_handles.input = take_std_handle(STD_INPUT_HANDLE);
    console_handles.initial_output = take_std_handle(STD_OUTPUT_HANDLE);
    if (first_setup) take_player_console();

    console_handles.screen_buffer =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (console_handles.screen_buffer == INVALID_HANDLE_VALUE) fail_setup();
    if (!SetConsoleActiveScreenBuffer(console_handles.screen_buffer)) fail_setup();

    // From here on the player's console comes back however the process ends:
    // through the at-exit list, a console event or a crash.
    std::atexit(restore_initial_buffer);
    if (first_setup) guard_abnormal_exits();

    // No line input, echo or processed input: Ctrl+C arrives as a key.
    if (!SetConsoleMode(console_handles.input, 0)) fail_setup();
    // No processed output and no wrapping.
    if (!SetConsoleMode(console_handles.screen_buffer, 0)) fail_setup();

    CONSOLE_CURSOR_INFO hidden_cursor = {1, FALSE};
    SetConsoleCursorInfo(console_handles.screen_buffer, &hidden_cursor);

    const int titled = SetConsoleTitleA("Umberdeep") ? 1 : 0;
    start_terminal_input();
    return titled;
}

extern "C" void os_sound(...) {}
extern "C" void os_fade(...) {}
extern "C" void os_zoom(...) {}
extern "C" void os_update_client(...) {}
