// The host's process-wide console state: the handles os_init takes and creates.
#pragma once

#include <windows.h>

struct console_handle_set {
    HANDLE input;           // standard input, a console input buffer
    HANDLE initial_output;  // standard output as it was when os_init ran
    HANDLE screen_buffer;   // the private buffer the game draws into
};

// Null until os_init sets them; written only by os_init, never closed.
extern console_handle_set console_handles;

// The input mode the console had before the first os_init switched it off, and
// the input handle it was read from. It belongs to the console, which the game
// shares with whatever started it, so it is given back at exit. Taken once:
// a later os_init would read the 0 it set itself. Not taken when the read
// failed; then nothing is given back.
struct saved_input_mode {
    bool taken;
    bool known;
    HANDLE input;
    DWORD mode;
};

// Empty until os_init takes it; written only by os_init, read at exit.
extern saved_input_mode initial_input_mode;

// The at-exit handler os_init registers: makes the initial buffer active again,
// then gives the console its input mode back.
extern "C" void restore_initial_buffer(void);
