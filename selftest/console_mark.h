// The player's buffer is told from any other by a mark the runner puts in its
// last cell (selftest::player_mark); anyone in the console reads the active
// buffer's last cell to see which buffer the console shows.
#pragma once

#include <windows.h>

#include "check.h"

// The buffer the console shows now; inheritable when asked, for a child's
// standard handles.
inline HANDLE open_console(const char* name, bool inheritable = false) {
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
