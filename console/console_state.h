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

// The at-exit handler os_init registers: makes the initial buffer active again.
extern "C" void restore_initial_buffer(void);
