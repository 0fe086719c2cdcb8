// os_init, the at-exit restore and the four services this host ignores.
#include <cstdlib>

#include "console_state.h"
#include "os_services.h"

console_handle_set console_handles = {nullptr, nullptr, nullptr};
saved_input_mode initial_input_mode = {false, false, nullptr, 0};

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

// Remembers the input mode as the player's console had it, the first time only.
void take_initial_input_mode() {
    if (initial_input_mode.taken) return;
    initial_input_mode.taken = true;
    initial_input_mode.input = console_handles.input;
    initial_input_mode.known = GetConsoleMode(console_handles.input, &initial_input_mode.mode) != 0;
}

}  // namespace

// Makes the console show the buffer that was active before the game started,
// and gives its input mode back.
extern "C" void restore_initial_buffer(void) {
    SetConsoleActiveScreenBuffer(console_handles.initial_output);
    if (initial_input_mode.known) SetConsoleMode(initial_input_mode.input, initial_input_mode.mode);
}

extern "C" int os_init(void) {
    console_handles.input = take_std_handle(STD_INPUT_HANDLE);
    console_handles.initial_output = take_std_handle(STD_OUTPUT_HANDLE);

    console_handles.screen_buffer =
        CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (console_handles.screen_buffer == INVALID_HANDLE_VALUE) fail_setup();
    if (!SetConsoleActiveScreenBuffer(console_handles.screen_buffer)) fail_setup();

    // From here on every way out of the process brings the initial buffer back.
    std::atexit(restore_initial_buffer);

    // No line input, echo or processed input: Ctrl+C arrives as a key.
    take_initial_input_mode();
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
