// The console the runner runs in: taken at the start with an input mode no
// console starts with, given back after every scenario, and released as it was
// found at the end.
#include "runner.h"

player_console player;

// A Windows console's buffer is far taller than its window (120 x 9001 behind
// 120 x 30 by default); under its rules the player's is made so too, and again
// after every scenario, since a buffer shown again takes the size of the one
// shown before.
static void lay_out_as_windows() {
    if (windows_rules())
        resize_buffer(player.buffer, COORD{player.size.X, static_cast<SHORT>(player.size.Y + 200)},
                      player.window);
}

bool take_console() {
    player.input = open_console("CONIN$", true);
    player.buffer = open_console("CONOUT$", true);
    if (player.input == INVALID_HANDLE_VALUE || player.buffer == INVALID_HANDLE_VALUE) return false;
    GetConsoleMode(player.input, &player.original_mode);
    GetConsoleMode(player.buffer, &player.output_mode);
    GetConsoleCursorInfo(player.buffer, &player.cursor);
    GetConsoleTitleA(player.title, sizeof player.title);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(player.buffer, &info);
    player.size = info.dwSize;
    player.window = window_size(info);
    lay_out_as_windows();
    SetConsoleMode(player.input, distinct_input_mode);
    GetConsoleMode(player.input, &player.test_mode);
    return true;
}

// Whatever the host did: the player's buffer active, its modes, cursor and
// size, an empty input queue.
void give_console_back() {
    SetConsoleActiveScreenBuffer(player.buffer);
    SetConsoleMode(player.input, player.test_mode);
    SetConsoleMode(player.buffer, player.output_mode);
    SetConsoleCursorInfo(player.buffer, &player.cursor);
    lay_out_as_windows();
    FlushConsoleInputBuffer(player.input);
}

void release_console() {
    give_console_back();
    if (windows_rules()) resize_buffer(player.buffer, player.size, player.window);
    SetConsoleMode(player.input, player.original_mode);
    SetConsoleTitleA(player.title);
}

// What a launch that fails must leave as it was: the player's title, cursor and
// every cell the window shows. Only the window is read, row by row, as Wine's
// own console tests do: the player sees nothing beyond it, and a Windows
// console's buffer runs to thousands of rows.
std::string console_state() {
    char title[256] = "";
    GetConsoleTitleA(title, sizeof title);
    CONSOLE_CURSOR_INFO cursor = {};
    GetConsoleCursorInfo(player.buffer, &cursor);
    std::string state = std::string(title) + (cursor.bVisible ? "|visible|" : "|hidden|") +
            std::to_string(cursor.dwSize) + "|";
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(player.buffer, &info)) return state;
    const COORD window = window_size(info);
    std::vector<CHAR_INFO> row(window.X);
    for (SHORT y = info.srWindow.Top; y <= info.srWindow.Bottom; ++y) {
        SMALL_RECT region = {info.srWindow.Left, y, info.srWindow.Right, y};
        ReadConsoleOutputA(player.buffer, row.data(), COORD{window.X, 1}, COORD{0, 0}, &region);
        for (const CHAR_INFO& cell : row)
            state += {cell.Char.AsciiChar, static_cast<char>(cell.Attributes & 0xFF)};
    }
    return state;
}
