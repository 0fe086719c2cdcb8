// What anyone in the console can see of it, the runner and the test module
// alike: which console this is, which buffer it shows, the input mode; and
// Windows' console rules where Wine's console differs.
#pragma once

#include <windows.h>

#include "check.h"

// Windows' console rules where Wine's console differs, applied under Wine
// when the runner is started with --windows-rules (it sets
// windows_rules_variable, and the hosts it starts inherit it), so that the
// checks' Windows branches run under Wine too and a check that passes only
// under Wine fails there:
//  - CONOUT$ is refused with ERROR_SHARING_VIOLATION while a buffer made
//    unshared is shown (open_console below; module/host_buffer.cpp notes which);
//  - a new buffer is as large as the shown buffer's window, and a buffer shown
//    again takes the size of the one shown before, as under a pseudo-console;
//    the shown buffer grows once while the game draws, as when the player
//    enlarges the terminal; each resize queues a window-size record
//    (module/host_buffer.cpp);
//  - a focus record comes before every third write of input (queue_records);
//  - kernel32 has no CtrlRoutine to look up, and Ctrl+Break raised for a
//    process group reaches it as Windows' console delivers it, ending the
//    process with STATUS_CONTROL_C_EXIT by default; the player closes the
//    console window in the close scenario (module/exit_paths.cpp);
//  - the player's buffer is shown again when the process ends holding the
//    game's (the witness, once its own checks are done);
//  - the player's buffer is taller than its window (the runner).
constexpr const char* windows_rules_variable = "UMBERDEEP_SELFTEST_WINDOWS_RULES";
constexpr const char* unshared_shown_variable = "UMBERDEEP_SELFTEST_UNSHARED_SHOWN";

inline bool under_wine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
// On Windows the rules are what the console does already.
inline bool windows_rules() {
    return under_wine() && GetEnvironmentVariableA(windows_rules_variable, nullptr, 0) > 0;
}
// Whether the console answers as Wine's does: under Wine, without Windows' rules.
inline bool wine_answers() { return under_wine() && !windows_rules(); }

#define OK_EITHER(windows, wine, ...) OK_THAT(compare_either((windows), (wine), wine_answers()), __VA_ARGS__)

// The buffer the console shows now; inheritable when asked, for a child's
// standard handles. Whether it is an unshared one the process's environment
// keeps (module/host_buffer.cpp notes it), so that every copy of the test
// module in the process sees the same.
inline HANDLE open_console(const char* name, bool inheritable = false) {
    if (windows_rules() && GetEnvironmentVariableA(unshared_shown_variable, nullptr, 0) > 0 &&
        std::strcmp(name, "CONOUT$") == 0) {
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

// Which buffer the console shows: the player's, or another; `error` is
// nonzero when the console could not tell. The player's buffer is known by
// what it is, not by its size or its cells, which a resize or a terminal that
// resizes a buffer shown again may change: a probe character is written to
// its top-left cell through PLAYER (a handle opened on it before the game made
// a buffer of its own, which stays bound to it) and read back through a fresh
// CONOUT$, then the cell is put back. Windows refuses CONOUT$ with
// ERROR_SHARING_VIOLATION while an unshared buffer is shown: not the
// player's, which is shared.
struct buffer_shown {
    bool player;
    DWORD error;
};

inline buffer_shown shown_buffer(HANDLE player) {
    HANDLE active = open_console("CONOUT$");
    if (active == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return {false, error == ERROR_SHARING_VIOLATION ? 0 : error};
    }
    buffer_shown shown = {false, 0};
    CHAR_INFO original = {}, seen = {}, probe = {}, read_back = {};
    if (access_top_left(player, &original, false) && access_top_left(active, &seen, false)) {
        probe = original;
        probe.Char.AsciiChar = '\x04';
        while (probe.Char.AsciiChar == original.Char.AsciiChar || probe.Char.AsciiChar == seen.Char.AsciiChar)
            ++probe.Char.AsciiChar;
        if (access_top_left(player, &probe, true) && access_top_left(active, &read_back, false))
            shown.player = read_back.Char.AsciiChar == probe.Char.AsciiChar;
        else
            shown.error = GetLastError();
        access_top_left(player, &original, true);
    } else {
        shown.error = GetLastError();
    }
    CloseHandle(active);
    return shown;
}

// Passes when the console shows the player's buffer (WANT_PLAYER) or another
// one (!WANT_PLAYER); a console that cannot tell fails, with its error code.
inline outcome compare_shown(bool want_player, HANDLE player) {
    const buffer_shown shown = shown_buffer(player);
    outcome o = {shown.error == 0 && shown.player == want_player, ""};
    if (shown.error != 0)
        std::snprintf(o.detail, sizeof o.detail, ": the console cannot tell, error %lu",
                      static_cast<unsigned long>(shown.error));
    else if (!o.passed)
        std::snprintf(o.detail, sizeof o.detail, ": it shows %s", shown.player ? "the player's" : "another");
    return o;
}
#define OK_SHOWN(want_player, player, ...) OK_THAT(compare_shown((want_player), (player)), __VA_ARGS__)

inline DWORD console_input_mode() {
    HANDLE input = open_console("CONIN$");
    DWORD mode = 0xFFFFFFFF;
    if (input != INVALID_HANDLE_VALUE) {
        GetConsoleMode(input, &mode);
        CloseHandle(input);
    }
    return mode;
}

// The size of the window a buffer's information describes.
inline COORD window_size(const CONSOLE_SCREEN_BUFFER_INFO& info) {
    return COORD{static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1),
                 static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1)};
}

// Gives BUFFER the size SIZE and a window of WINDOW (at its top-left), in the
// order the console allows: a window never larger than its buffer. Under
// Windows' rules it then queues the window-size record that Windows' console
// queues on every change of a buffer's size, whatever the input mode.
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
    INPUT_RECORD record = {};
    record.EventType = WINDOW_BUFFER_SIZE_EVENT;
    record.Event.WindowBufferSizeEvent.dwSize = size;
    DWORD written = 0;
    WriteConsoleInputA(input, &record, 1, &written);
    CloseHandle(input);
}
