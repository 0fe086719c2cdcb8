// os_init: what the services do before it, what it makes of the console, and
// os_init again; and the normal run, which goes through the whole contract.
#include <cstring>

#include "module.h"

// Before os_init the host has no buffer and no input handle.
void check_before_init(HANDLE player) {
    screen_copy before;
    read_top(player, 10, &before);
    OK_EQ(0, os_put_font('Z', 0x4F, 0, 0), "before os_init: os_put_font returns 0");
    OK_EQ(0, os_put_tile(3, 0, 0, 0, 'Z', 0x4F, 1, 0), "before os_init: os_put_tile returns 0");
    os_display_title(1);
    screen_copy after;
    read_top(player, 10, &after);
    screen_diff diff = compare_screens(before, after);
    OK_EQ(0, diff.mismatches, "before os_init: the services leave the player's console alone");

    FlushConsoleInputBuffer(console_input());
    const INPUT_RECORD key = key_record('K', 'k', 0);
    queue_records(console_input(), &key, 1);
    const DWORD waiting = waiting_records(console_input());
    int code = 55, character = 66;
    os_get_input(&code, &character);
    OK(code == 0 && character == 0, "before os_init: os_get_input reports no key: %d/%d", code,
       character);
    OK(waiting_records(console_input()) >= waiting && still_queued(key),
       "before os_init: os_get_input takes no record");
    os_get_input(nullptr, nullptr);
    FlushConsoleInputBuffer(console_input());
}

namespace {

// Windows makes a new buffer as large as the player's window, Wine as large as
// the player's whole buffer. A game may rely on 80 x 25; a smaller window (a
// small terminal pane) gives a smaller buffer, and what lies beyond it is not
// shown.
void check_game_buffer_size(HANDLE screen, HANDLE player) {
    CONSOLE_SCREEN_BUFFER_INFO game = {}, console = {};
    GetConsoleScreenBufferInfo(screen, &game);
    GetConsoleScreenBufferInfo(player, &console);
    const COORD window = window_size(console);
    const int window_x = window.X, window_y = window.Y;
    OK_EITHER(game.dwSize.X == window_x && game.dwSize.Y == window_y,
              game.dwSize.X == console.dwSize.X && game.dwSize.Y == console.dwSize.Y,
              "os_init: the game's buffer is %dx%d, the size of the player's window (%dx%d) "
              "or of its whole buffer (%dx%d)", game.dwSize.X, game.dwSize.Y, window_x, window_y,
              console.dwSize.X, console.dwSize.Y);
    figure("buffers: the player's %dx%d with a %dx%d window; the game's %dx%d", console.dwSize.X,
           console.dwSize.Y, window_x, window_y, game.dwSize.X, game.dwSize.Y);
    if (game.dwSize.X < game_area::width || game.dwSize.Y < game_area::height)
        warning("the game's buffer is %dx%d, smaller than the %dx%d a game may rely on: enlarge "
                "the console window or terminal pane", game.dwSize.X, game.dwSize.Y,
                game_area::width, game_area::height);
}

}  // namespace

HANDLE check_setup(HANDLE player) {
    DWORD player_mode = 0;
    GetConsoleMode(console_input(), &player_mode);
    OK(os_init() != 0, "os_init returns nonzero once it has set the title");
    char title[64] = "";
    GetConsoleTitleA(title, sizeof title);
    OK(std::strcmp(title, "Umberdeep") == 0, "os_init titles the window \"Umberdeep\": <%s>",
       title);
    // The host's own handle: Windows refuses CONOUT$ while its unshared buffer
    // is active.
    const buffer_request made = last_host_request();
    HANDLE screen = made.made;
    OK(host_buffer_count() == 1 && screen != INVALID_HANDLE_VALUE,
       "os_init makes one screen buffer: %d asked for", host_buffer_count());
    OK(made.access == (GENERIC_READ | GENERIC_WRITE) && made.share == 0 && !made.security &&
           made.flags == CONSOLE_TEXTMODE_BUFFER && !made.reserved,
       "os_init asks for a text buffer with read and write access, unshared, without security "
       "attributes: access 0x%lx, share %lu, flags %lu, security %d, reserved %d",
       made.access, made.share, made.flags, made.security, made.reserved);
    OK(last_host_activated() == screen, "os_init makes the buffer it made active");
    OK_SHOWN(false, player_buffer(), "os_init makes a buffer of its own active");
    DWORD mode = 99;
    GetConsoleMode(screen, &mode);
    OK_EQ(0, mode, "os_init: the game's buffer has output mode 0");
    GetConsoleMode(console_input(), &mode);
    const DWORD input_bits = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                             ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT | 0x200;
    OK_EQ(0, mode & input_bits,
          "os_init: no line, echo, processed, window, mouse or terminal input (mode 0x%lx)",
          mode);
    CONSOLE_CURSOR_INFO cursor = {};
    GetConsoleCursorInfo(screen, &cursor);
    OK(!cursor.bVisible, "os_init hides the cursor");
    OK_EQ(1, cursor.dwSize, "os_init sets the cursor's size to 1");
    check_game_buffer_size(screen, player);
    return screen;
}

// Each further os_init makes another buffer active; the host then draws there,
// and at exit the player's buffer still comes back (the witness checks).
void check_reinit() {
    int titled = 0;
    for (int i = 0; i < 97; ++i) titled += os_init() != 0;
    OK_EQ(97, titled, "os_init 97 times more: each call returns nonzero");
    for (int i = 0; i < 3; ++i) {
        HANDLE before = host_buffer();
        OK(os_init() != 0, "os_init again (%d) returns nonzero", i + 2);
        HANDLE now = host_buffer();
        OK(now != before && now != INVALID_HANDLE_VALUE && last_host_activated() == now,
           "os_init again (%d) makes another buffer and makes it active", i + 2);
        screen_copy expected;
        fill_screen(now, 50 + i, &expected);
        screen_copy before_expected;
        read_screen(before, &before_expected);
        OK(os_put_font('Q', 0x1E, 1, 1) != 0, "after os_init again (%d) os_put_font succeeds", i + 2);
        expected.at(1, 1) = make_cell('Q', 0x1E);
        OK_SCREEN(now, expected, "after os_init again (%d) the host draws in the new buffer", i + 2);
        OK_SCREEN(before, before_expected, "after os_init again (%d) the buffer before it is left alone", i + 2);
        DWORD mode = 99;
        GetConsoleMode(now, &mode);
        OK_EQ(0, mode, "after os_init again (%d) the new buffer has output mode 0", i + 2);
    }
    expect_key(key_record(VK_NEXT, 0, SHIFT_PRESSED), 2081, 0, "after os_init again: Shift+Page Down");
}

// Loads the witness and sets the console up.
void witnessed_setup() {
    load_witness();
    os_init();
    OK_SHOWN(false, player_buffer(), "os_init makes a buffer of its own active");
}

// The normal run: the whole contract inside one run, which returns
// selftest::entry_result.
int whole_contract(int argc, char** argv) {
    check_arguments(argc, argv);
    load_witness();
    check_before_init(player_buffer());
    HANDLE screen = check_setup(player_buffer());
    check_cells(screen);
    check_coordinates(screen);
    check_banner(screen);
    check_inert(screen);
    check_key_table();
    check_other_records();
    check_sequences();
    check_null_pointers();
    check_pauses();
    check_drain(200);
    check_reinit();
    const COORD game = buffer_size(screen);
    figure("buffers: the game's first buffer is %dx%d at the end of the run", game.X, game.Y);
    return selftest::entry_result;
}

// Standard output to a file: the set-up alone, which must not write there.
int set_up_only(int, char**) {
    witnessed_setup();
    return 0;
}
