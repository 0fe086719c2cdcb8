// The player's buffer is told from any other by a mark the runner puts in its
// last cell (selftest::player_mark); anyone in the console reads the active
// buffer's last cell to see which buffer the console shows.
#pragma once

#include <windows.h>

#include "check.h"

// Windows' console rules where Wine's console differs, applied when the
// runner is started with --windows-rules (it sets windows_rules_variable, and
// the hosts it starts inherit it), so that the checks' Windows branches run
// under Wine too and a check that passes only under Wine fails there:
//  - CONOUT$ is refused with ERROR_SHARING_VIOLATION while a buffer made
//    unshared is shown (open_console below; module/host_buffer.cpp notes which);
//  - a new buffer is as large as the shown buffer's window (module/host_buffer.cpp);
//  - the player's buffer is shown again when the process ends holding the
//    game's (the witness, once its own checks are done);
//  - the player's buffer is taller than its window (the runner).
constexpr const char* windows_rules_variable = "UMBERDEEP_SELFTEST_WINDOWS_RULES";
constexpr const char* unshared_shown_variable = "UMBERDEEP_SELFTEST_UNSHARED_SHOWN";

inline bool windows_rules() { return GetEnvironmentVariableA(windows_rules_variable, nullptr, 0) > 0; }

// What the console shows, as the process's environment keeps it: every copy
// of the test module in the process sees the same.
inline void note_unshared_shown(bool shown) { SetEnvironmentVariableA(unshared_shown_variable, shown ? "1" : nullptr); }
inline bool unshared_shown() { return GetEnvironmentVariableA(unshared_shown_variable, nullptr, 0) > 0; }

// The buffer the console shows now; inheritable when asked, for a child's
// standard handles.
inline HANDLE open_console(const char* name, bool inheritable = false) {
    if (windows_rules() && unshared_shown() && std::strcmp(name, "CONOUT$") == 0) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, inheritable ? TRUE : FALSE};
    return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &security, OPEN_EXISTING, 0, nullptr);
}

inline SMALL_RECT last_cell(HANDLE buffer) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(buffer, &info)) return SMALL_RECT{0, 0, 0, 0};
    const SHORT x = static_cast<SHORT>(info.dwSize.X - 1);
    const SHORT y = static_cast<SHORT>(info.dwSize.Y - 1);
    return SMALL_RECT{x, y, x, y};
}

inline bool access_last_cell(HANDLE buffer, CHAR_INFO* cell, bool write) {
    SMALL_RECT region = last_cell(buffer);
    return (write ? WriteConsoleOutputA(buffer, cell, COORD{1, 1}, COORD{0, 0}, &region)
                  : ReadConsoleOutputA(buffer, cell, COORD{1, 1}, COORD{0, 0}, &region)) != 0;
}

// Whether the active buffer is the player's: its last cell holds the mark.
inline bool player_buffer_shown() {
    HANDLE active = open_console("CONOUT$");
    CHAR_INFO cell = {};
    const bool marked = active != INVALID_HANDLE_VALUE && access_last_cell(active, &cell, false) &&
                        cell.Char.AsciiChar == selftest::player_mark;
    if (active != INVALID_HANDLE_VALUE) CloseHandle(active);
    return marked;
}

inline DWORD console_input_mode() {
    HANDLE input = open_console("CONIN$");
    DWORD mode = 0xFFFFFFFF;
    if (input != INVALID_HANDLE_VALUE) {
        GetConsoleMode(input, &mode);
        CloseHandle(input);
    }
    return mode;
}
