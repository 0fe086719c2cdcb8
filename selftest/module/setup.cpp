// os_init: what the services do before it, what it makes of the console, and
// os_init again.
#include <cstring>

#include "module.h"

// Before os_init the host has no buffer and no input handle.
void check_before_init(HANDLE player) {
    check_context before_init("before os_init");
    screen_copy before, after;
    read_screen(player, &before, 10);
    OK_EQ(0, os_put_font('Z', 0x4F, 0, 0), "os_put_font returns 0");
    OK_EQ(0, os_put_tile(3, 0, 0, 0, 'Z', 0x4F, 1, 0), "os_put_tile returns 0");
    os_display_title(1);
    read_screen(player, &after, 10);
    OK_THAT(compare_screens(before, after), "the services leave the player's console alone");

    const INPUT_RECORD key = key_record('K', 'k', 0);
    queue_records(fresh_input(), &key, 1);
    const DWORD waiting = waiting_records(console_input());
    int code = 55, character = 66;
    os_get_input(&code, &character);
    OK(code == 0 && character == 0, "os_get_input reports no key: %d/%d", code, character);
    OK(waiting_records(console_input()) >= waiting && still_queued(key), "os_get_input takes no record");
    os_get_input(nullptr, nullptr);
    fresh_input();
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
    const text size = describe(game.dwSize), window_text = describe(window), whole = describe(console.dwSize);
    OK_EITHER(game.dwSize.X == window.X && game.dwSize.Y == window.Y,
              game.dwSize.X == console.dwSize.X && game.dwSize.Y == console.dwSize.Y,
              "os_init: the game's buffer is %s, the size of the player's window (%s) or of its whole "
              "buffer (%s)", size.s, window_text.s, whole.s);
    figure("buffers: the player's %s with a %s window; the game's %s", whole.s, window_text.s, size.s);
    if (game.dwSize.X < game_area::width || game.dwSize.Y < game_area::height)
        warning("the game's buffer is %s, smaller than the %dx%d a game may rely on: enlarge "
                "the console window or terminal pane", size.s, game_area::width, game_area::height);
}

}  // namespace

HANDLE check_setup(HANDLE player) {
    OK(os_init() != 0, "os_init returns nonzero once it has set the title");
    char title[64] = "";
    GetConsoleTitleA(title, sizeof title);
    OK(std::strcmp(title, "Umberdeep") == 0, "os_init titles the window \"Umberdeep\": <%s>", title);
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
    OK_EQ(0, console_mode(screen), "os_init: the game's buffer has output mode 0");
    const DWORD mode = console_mode(console_input());
    const DWORD input_bits = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                             ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT | 0x200;
    OK_EQ(0, mode & input_bits, "os_init: no line, echo, processed, window, mouse or terminal input (mode 0x%lx)",
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
        char name[32];
        std::snprintf(name, sizeof name, "os_init again (%d)", i + 2);
        check_context again(name);
        HANDLE before = host_buffer();
        OK(os_init() != 0, "returns nonzero");
        HANDLE now = host_buffer();
        OK(now != before && now != INVALID_HANDLE_VALUE && last_host_activated() == now,
           "makes another buffer and makes it active");
        screen_copy expected, before_expected;
        fill_screen(now, 50 + i, &expected);
        read_screen(before, &before_expected);
        OK(os_put_font('Q', 0x1E, 1, 1) != 0, "then os_put_font succeeds");
        expected.at(1, 1) = make_cell('Q', 0x1E);
        OK_SCREEN(now, expected, "then the host draws in the new buffer");
        OK_SCREEN(before, before_expected, "then the buffer before it is left alone");
        OK_EQ(0, console_mode(now), "the new buffer has output mode 0");
    }
    expect_key(key_record(VK_NEXT, 0, SHIFT_PRESSED), keys::shift_page_down, 0,
               "after os_init again: Shift+Page Down");
}
