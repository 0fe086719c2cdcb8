// The game's screen buffer, through the host's own handle. The host makes it
// unshared, as it must, and Windows' console then refuses every other way to it
// while it is active (CONOUT$ fails with ERROR_SHARING_VIOLATION; Wine lets it
// open). So before os_init the module points the host's imports of
// CreateConsoleScreenBuffer and SetConsoleActiveScreenBuffer at watchers that
// call the real functions and note what the host asked for, got and made active.
// Under Windows' rules they also apply its rules on buffer sizes, and a watcher
// of WriteConsoleOutputA grows the shown buffer while the game draws.
#pragma once

#include <windows.h>

// One CreateConsoleScreenBuffer call of the host's, as it made it.
struct buffer_request {
    DWORD access, share, flags;
    bool security, reserved;  // whether it passed security attributes, a reserved pointer
    HANDLE made;
};

// Redirects the host executable's imports; false when it does not import them
// all by name from KERNEL32 (then nothing is watched). The real functions go
// back before the host unloads the module, or its at-exit restore would call
// into code no longer mapped.
bool watch_host_buffers();
void unwatch_host_buffers();

// The host's calls so far: how many buffers it asked for, the last request,
// the buffer it last made active (nullptr before any), and the one it made
// last and draws into (INVALID_HANDLE_VALUE before os_init made one).
int host_buffer_count();
buffer_request last_host_request();
HANDLE last_host_activated();
inline HANDLE host_buffer() { return last_host_request().made; }
