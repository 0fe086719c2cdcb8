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

// The player's console as the first os_init found it, before anything changed:
// the buffer it showed and its input mode. It belongs to the console, which the
// game shares with whatever started it, so it is given back however the process
// ends. Taken once: a later os_init would find the game's own buffer active and
// the input mode it set itself.
struct player_console {
    bool taken;
    // A CONOUT$ handle opened while the player's buffer was active, which stays
    // bound to that buffer; the standard output handle when CONOUT$ could not
    // be opened. Standard output itself may be a file, or (under Wine) follow
    // whichever buffer is active.
    HANDLE buffer;
    HANDLE input;
    bool input_mode_known;  // false when the mode could not be read: nothing is given back
    DWORD input_mode;
};

// Empty until the first os_init takes it; written only then, before any
// handler that reads it is installed, so every thread may read it afterwards.
extern player_console initial_console;

// Gives the player's console back: makes the player's buffer active again and
// sets the input mode it had. Run at exit, on Ctrl+Break and the console's
// close, logoff and shutdown events, and on a crash; safe to run more than
// once and from any thread. Results are ignored.
extern "C" void restore_initial_buffer(void);
