// What anyone in the console can see of it, runner and test module alike:
// which console this is, which buffer it shows, the input mode. With
// --windows-rules the runner sets windows_rules_variable, which the hosts
// inherit, and Windows' console rules apply under Wine, so that a check that
// passes only under Wine fails there:
//  - CONOUT$ fails with ERROR_SHARING_VIOLATION while an unshared buffer is
//    shown (open_console);
//  - a new buffer is as large as the shown buffer's window; a buffer shown again
//    takes the size of the one shown before, as under a pseudo-console; the
//    shown buffer grows once while the game draws, as when the player enlarges
//    the terminal; each resize queues a window-size record (module/host_buffer.cpp);
//  - a focus record comes before every third write of input (queue_records);
//  - kernel32 has no CtrlRoutine; Ctrl+Break ends a process group with
//    STATUS_CONTROL_C_EXIT by default; the player closes the console window in
//    the close scenario (exit_paths.cpp);
//  - the player's buffer is shown again when the process ends holding the
//    game's (the witness), and is taller than its window (the runner).
#pragma once

#include <windows.h>

#include "check.h"

constexpr const char* windows_rules_variable = "UMBERDEEP_SELFTEST_WINDOWS_RULES";
constexpr const char* unshared_shown_variable = "UMBERDEEP_SELFTEST_UNSHARED_SHOWN";
// Set where 32-bit Wine runs under qemu-i386 (write_fault_code).
constexpr const char* emulated_x86_variable = "UMBERDEEP_SELFTEST_EMULATED_X86";

inline bool is_set(const char* variable) { return GetEnvironmentVariableA(variable, nullptr, 0) > 0; }
inline bool under_wine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
// On Windows the rules are what the console does already.
inline bool windows_rules() { return under_wine() && is_set(windows_rules_variable); }
// The exception a write to a no-access page raises: the access violation, but
// an illegal instruction under qemu-i386, which reports the fault so.
inline DWORD write_fault_code() {
    return under_wine() && is_set(emulated_x86_variable) ? EXCEPTION_ILLEGAL_INSTRUCTION : EXCEPTION_ACCESS_VIOLATION;
}
// The console answers as Wine's does under Wine, without Windows' rules.
#define OK_EITHER(windows, wine, ...) \
    OK_THAT(compare_either((windows), (wine), under_wine() && !windows_rules()), __VA_ARGS__)

// CONIN$, or the buffer the console shows (CONOUT$); inheritable when asked,
// for a child's standard handles. The process's environment notes an unshared
// buffer shown (module/host_buffer.cpp), so every copy of the module sees it.
inline HANDLE open_console(const char* name, bool inheritable = false) {
    if (windows_rules() && is_set(unshared_shown_variable) && std::strcmp(name, "CONOUT$") == 0) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, inheritable ? TRUE : FALSE};
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &security, OPEN_EXISTING, 0, nullptr);
}

inline bool access_top_left(HANDLE buffer, CHAR_INFO* cell, bool write) {
    SMALL_RECT region = {0, 0, 0, 0};
    return (write ? WriteConsoleOutputA(buffer, cell, COORD{1, 1}, COORD{0, 0}, &region)
                  : ReadConsoleOutputA(buffer, cell, COORD{1, 1}, COORD{0, 0}, &region)) != 0;
}

// Passes when the console shows the player's buffer (WANT_PLAYER) or another;
// a console that cannot tell fails, with its error code. A probe character
// written to the top-left cell through PLAYER (opened before the game made a
// buffer) is read back through a fresh CONOUT$, then the cell put back: a
// resize may change the buffer's size and cells, not what it is.
inline outcome compare_shown(bool want_player, HANDLE player) {
    HANDLE active = open_console("CONOUT$");
    DWORD error = GetLastError();
    bool shows_player = false;
    if (active != INVALID_HANDLE_VALUE) {
        CHAR_INFO original = {}, seen = {};
        const bool read = access_top_left(player, &original, false) && access_top_left(active, &seen, false);
        CHAR_INFO probe = original;
        probe.Char.AsciiChar = '\x04';
        while (probe.Char.AsciiChar == original.Char.AsciiChar || probe.Char.AsciiChar == seen.Char.AsciiChar)
            ++probe.Char.AsciiChar;
        const bool probed = read && access_top_left(player, &probe, true) &&
                            access_top_left(active, &seen, false);
        error = probed ? 0 : GetLastError();
        shows_player = probed && seen.Char.AsciiChar == probe.Char.AsciiChar;
        if (read) access_top_left(player, &original, true);
        CloseHandle(active);
    } else if (error == ERROR_SHARING_VIOLATION) {
        error = 0;
    }
    outcome o = {error == 0 && shows_player == want_player, ""};
    if (error != 0)
        std::snprintf(o.detail, sizeof o.detail, ": the console cannot tell, error %lu",
                      static_cast<unsigned long>(error));
    else if (!o.passed)
        std::snprintf(o.detail, sizeof o.detail, ": it shows %s", shows_player ? "the player's" : "another");
    return o;
}
#define OK_SHOWN(want_player, player, ...) OK_THAT(compare_shown((want_player), (player)), __VA_ARGS__)

// A handle's console mode, or 0xFFFFFFFF where it has none.
inline DWORD console_mode(HANDLE handle) {
    DWORD mode = 0xFFFFFFFF;
    return GetConsoleMode(handle, &mode) ? mode : 0xFFFFFFFF;
}
inline DWORD console_input_mode() {
    HANDLE input = open_console("CONIN$");
    const DWORD mode = console_mode(input);
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    return mode;
}

// The size of the window a buffer's information describes.
inline COORD window_size(const CONSOLE_SCREEN_BUFFER_INFO& info) {
    return COORD{static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1),
                 static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1)};
}

// Gives BUFFER the size SIZE and a window of WINDOW (at its top-left), in the
// order the console allows: a window never larger than its buffer. Under
// Windows' rules it queues the window-size record Windows' console queues on
// every change of a buffer's size, whatever the input mode.
inline void resize_buffer(HANDLE buffer, COORD size, COORD window) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(buffer, &info)) return;
    const COORD now = window_size(info);
    const SMALL_RECT fitting = {0, 0, static_cast<SHORT>((window.X < now.X ? window.X : now.X) - 1),
                                static_cast<SHORT>((window.Y < now.Y ? window.Y : now.Y) - 1)};
    SetConsoleWindowInfo(buffer, TRUE, &fitting);
    const bool resized = (size.X != info.dwSize.X || size.Y != info.dwSize.Y) &&
                         SetConsoleScreenBufferSize(buffer, size);
    const SMALL_RECT whole = {0, 0, static_cast<SHORT>(window.X - 1), static_cast<SHORT>(window.Y - 1)};
    SetConsoleWindowInfo(buffer, TRUE, &whole);
    if (!resized || !windows_rules()) return;
    HANDLE input = open_console("CONIN$");
    INPUT_RECORD record = {WINDOW_BUFFER_SIZE_EVENT, {}};
    record.Event.WindowBufferSizeEvent.dwSize = size;
    DWORD written = 0;
    WriteConsoleInputA(input, &record, 1, &written);
    CloseHandle(input);
}
