// The self-test's game module. The runner starts the host under test with this
// module as Umberdeep.dll and a scenario as argv[1]; the module calls the
// services and checks, beside each call, what the console then holds. Results
// go to the results file in the current folder (check.h), never to the console.
//
// The same DLL, copied as witness.dll, is the witness: loaded and never freed,
// its DLL_PROCESS_DETACH runs after the host's at-exit list and checks that the
// player's console is back.
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "check.h"
#include "results_file.h"
#include "console_mark.h"
#include "contract.h"
#include "os_services.h"
#include "host_buffer.h"
#include "screen.h"

void record_line(const char* line) { append_to_results_file(line); }

// The bench scenario, a measurement rather than checks (module_bench.cpp).
int run_bench(int argc, char** argv);

namespace {

bool is_witness = false;
bool entry_returned = false;
DWORD player_input_mode = 0;  // the witness's reading when it was loaded
HANDLE player_buffer_at_load = INVALID_HANDLE_VALUE;  // the witness's, likewise
HANDLE input = nullptr;       // CONIN$

// ------------------------------------------------------------------ screens

// Passes when the buffer holds `expected` cell for cell; a failure names the
// first cell that differs.
bool check_screen(HANDLE buffer, const screen_copy& expected, const char* file, int line,
                  const char* format, ...) {
    screen_copy now;
    char detail[160] = ": the buffer cannot be read back";
    screen_diff diff;
    diff.mismatches = -2;
    if (read_screen(buffer, &now)) {
        diff = compare_screens(expected, now);
        detail[0] = ':';
        detail[1] = ' ';
        describe_diff(diff, detail + 2, sizeof detail - 2);
    }
    va_list args;
    va_start(args, format);
    record_formatted(diff.mismatches == 0 ? "PASS" : "FAIL", file, line,
                     diff.mismatches == 0 ? nullptr : detail, format, args);
    va_end(args);
    return diff.mismatches == 0;
}
#define OK_SCREEN(buffer, expected, ...) \
    check_screen((buffer), (expected), __FILE__, __LINE__, __VA_ARGS__)

// The top rows of a buffer, the player's included, without writing to it.
bool read_top(HANDLE buffer, int rows, screen_copy* copy) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(buffer, &info)) return false;
    copy->width = info.dwSize.X;
    copy->height = rows < info.dwSize.Y ? rows : info.dwSize.Y;
    copy->cells.assign(static_cast<size_t>(copy->width) * copy->height, make_cell(0, 0));
    SMALL_RECT region = {0, 0, static_cast<SHORT>(copy->width - 1),
                         static_cast<SHORT>(copy->height - 1)};
    return ReadConsoleOutputA(buffer, copy->cells.data(),
                              COORD{static_cast<SHORT>(copy->width),
                                    static_cast<SHORT>(copy->height)},
                              COORD{0, 0}, &region) != 0;
}

bool single_byte_code_page(UINT code_page) {
    CPINFO info;
    return GetCPInfo(code_page, &info) && info.MaxCharSize == 1;
}

// ------------------------------------------------------------------ launch

void check_arguments(int argc, char** argv) {
    const int passed = sizeof selftest::passed_arguments / sizeof selftest::passed_arguments[0];
    OK_EQ(passed + 2, argc, "the entry gets the argument count");
    const char* name = argc > 0 ? argv[0] : "";
    const size_t length = std::strlen(name);
    const char host[] = "UmberdeepSafeMode.exe";
    OK(length >= sizeof host - 1 && lstrcmpiA(name + length - (sizeof host - 1), host) == 0,
       "argv[0] names the host: <%s>", name);
    for (int i = 0; i < passed; ++i)
        OK(argc > i + 2 && std::strcmp(argv[i + 2], selftest::passed_arguments[i]) == 0,
           "argv[%d] reaches the entry unchanged: <%s>", i + 2, selftest::passed_arguments[i]);
}

void load_witness() {
    OK(LoadLibraryA(selftest::witness_file) != nullptr, "the witness DLL loads");
}

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

    FlushConsoleInputBuffer(input);
    const INPUT_RECORD key = key_record('K', 'k', 0);
    DWORD written = 0;
    WriteConsoleInputA(input, &key, 1, &written);
    int code = 55, character = 66;
    os_get_input(&code, &character);
    OK(code == 0 && character == 0, "before os_init: os_get_input reports no key: %d/%d", code,
       character);
    OK_EQ(1, waiting_records(input), "before os_init: os_get_input takes no record");
    os_get_input(nullptr, nullptr);
    FlushConsoleInputBuffer(input);
}

HANDLE check_setup(HANDLE player) {
    DWORD player_mode = 0;
    GetConsoleMode(input, &player_mode);
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
    OK(!player_buffer_shown(), "os_init makes a buffer of its own active");
    DWORD mode = 99;
    GetConsoleMode(screen, &mode);
    OK_EQ(0, mode, "os_init: the game's buffer has output mode 0");
    GetConsoleMode(input, &mode);
    const DWORD input_bits = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                             ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT | 0x200;
    OK_EQ(0, mode & input_bits,
          "os_init: no line, echo, processed, window, mouse or terminal input (mode 0x%lx)",
          mode);
    CONSOLE_CURSOR_INFO cursor = {};
    GetConsoleCursorInfo(screen, &cursor);
    OK(!cursor.bVisible, "os_init hides the cursor");
    OK_EQ(1, cursor.dwSize, "os_init sets the cursor's size to 1");
    // Windows makes a new buffer as large as the player's window, Wine as
    // large as the player's whole buffer.
    CONSOLE_SCREEN_BUFFER_INFO game = {}, console = {};
    GetConsoleScreenBufferInfo(screen, &game);
    GetConsoleScreenBufferInfo(player, &console);
    const int window_x = console.srWindow.Right - console.srWindow.Left + 1;
    const int window_y = console.srWindow.Bottom - console.srWindow.Top + 1;
    const bool as_window = game.dwSize.X == window_x && game.dwSize.Y == window_y;
    const bool as_buffer = game.dwSize.X == console.dwSize.X && game.dwSize.Y == console.dwSize.Y;
    OK(as_window || as_buffer,
       "os_init: the game's buffer is %dx%d, the size of the player's window (%dx%d, Windows) "
       "or of its buffer (%dx%d, Wine)", game.dwSize.X, game.dwSize.Y, window_x, window_y,
       console.dwSize.X, console.dwSize.Y);
    figure("the game's buffer: %dx%d, the size of the player's %s", game.dwSize.X, game.dwSize.Y,
           as_window && as_buffer ? "window, which shows its whole buffer"
           : as_window            ? "window (as Windows makes it)"
                                  : "whole buffer (as Wine makes it)");
    return screen;
}

// ------------------------------------------------------------------ cells

// One cell written by os_put_font and by os_put_tile: what the call passes,
// and what the cell must hold. x and y below 0 count from the right and bottom.
struct cell_case {
    int character, attr, x, y;
    unsigned char want_char;
    WORD want_attr;
};

const cell_case cell_cases[] = {
    {65, 0x0E, 0, 0, 'A', 0x0E},  // a yellow capital A on black in the top-left cell
    {'m', 0x2C, 40, 12, 'm', 0x2C},
    {'z', 0x9F, -1, -1, 'z', 0x9F},
    {0x141, 0x1F, 1, 2, 'A', 0x1F},  // the character's low byte
    {INT_MIN + 'b', 0x3D, 2, 2, 'b', 0x3D},
    {0x7FFFFF61, 0x2E, 3, 2, 'a', 0x2E},
    {'c', 0x1004F, 4, 2, 'c', 0x4F},  // the attribute's low 16 bits
    {'f', INT_MIN + 0x1E, 5, 2, 'f', 0x1E},
};

// Bytes 128-255 stand for characters of the output code page.
const cell_case high_cases[] = {
    {0xE9, 0x5A, 3, 4, 0xE9, 0x5A},
    {-23, 0x5A, 4, 4, 0xE9, 0x5A},
    {0x80, 0x07, 5, 4, 0x80, 0x07},
    {0xFF, 0x07, 6, 4, 0xFF, 0x07},
};

// Tile numbers that draw their text fallback, with the three unread arguments.
const intptr_t tile_cases[][4] = {{0, 0, 0, 0}, {37, -1, INTPTR_MAX, 12345}, {INT_MAX, 1, 2, 3}};

void check_cell(HANDLE screen, const cell_case& c, int tile_case) {
    screen_copy expected;
    fill_screen(screen, tile_case, &expected);
    const int x = c.x < 0 ? expected.width + c.x : c.x;
    const int y = c.y < 0 ? expected.height + c.y : c.y;
    expected.at(x, y) = make_cell(c.want_char, c.want_attr);
    const intptr_t* t = tile_cases[tile_case];
    OK(os_put_font(c.character, c.attr, x, y) != 0, "os_put_font(%d, 0x%x, %d, %d) returns nonzero",
       c.character, c.attr, x, y);
    OK_SCREEN(screen, expected, "os_put_font(%d, 0x%x, %d, %d) writes 0x%02x in 0x%02x there, and no other cell",
              c.character, c.attr, x, y, c.want_char, c.want_attr);
    fill_screen(screen, tile_case);
    OK(os_put_tile(static_cast<int>(t[0]), t[1], t[2], t[3], c.character, c.attr, x, y) != 0,
       "os_put_tile(%d, ...) returns nonzero", static_cast<int>(t[0]));
    OK_SCREEN(screen, expected, "os_put_tile(%d, %lld, %lld, %lld, %d, 0x%x, %d, %d) writes the same cell",
              static_cast<int>(t[0]), static_cast<long long>(t[1]), static_cast<long long>(t[2]),
              static_cast<long long>(t[3]), c.character, c.attr, x, y);
}

void check_cells(HANDLE screen) {
    int n = 0;
    for (const cell_case& c : cell_cases) check_cell(screen, c, n++ % 3);
    const UINT code_page = GetConsoleOutputCP();
    if (single_byte_code_page(code_page)) {
        for (const cell_case& c : high_cases) check_cell(screen, c, n++ % 3);
    } else {
        SKIPPED("characters 128-255 read back: output code page %u has no one-byte characters",
                code_page);
    }

    screen_copy expected;
    fill_screen(screen, 9, &expected);
    os_put_tile(-1, 1, 2, 3, 'B', 0x1F, 5, 5);
    os_put_tile(INT_MIN, 0, 0, 0, 'B', 0x1F, 0, 0);
    OK_SCREEN(screen, expected, "os_put_tile with a negative tile draws nothing");
}

// Coordinates outside 0..32767 never reach the console (narrowed to 16 bits,
// 65536 would be column 0), and nothing outside the buffer lands in it.
void check_coordinates(HANDLE screen) {
    screen_copy base;
    fill_screen(screen, 10, &base);
    const int refused[] = {INT_MIN, -65536, -1, 32768, 65535, 65536, 65536 + 3, INT_MAX};
    for (int v : refused) {
        OK_EQ(0, os_put_font('Z', 0x4F, v, 0), "os_put_font at x=%d returns 0", v);
        OK_EQ(0, os_put_font('Z', 0x4F, 0, v), "os_put_font at y=%d returns 0", v);
        OK_EQ(0, os_put_tile(0, 0, 0, 0, 'Z', 0x4F, v, v), "os_put_tile at x=y=%d returns 0", v);
    }
    // In range but beyond the buffer: a row below it is refused; a column to its
    // right gets the console's answer, whatever it is.
    OK_EQ(0, os_put_font('Z', 0x4F, 0, base.height), "os_put_font at y=%d, below the buffer, returns 0",
          base.height);
    OK_EQ(0, os_put_font('Z', 0x4F, 0, 32767), "os_put_font at y=32767 returns 0");
    os_put_font('Z', 0x4F, base.width, 0);
    os_put_font('Z', 0x4F, 32767, 32767);
    OK_SCREEN(screen, base, "writes outside the buffer change no cell");
}

// ------------------------------------------------------------------ banner

bool inside_banner(int x, int y) {
    return y >= banner::top && y <= banner::bottom && x >= banner::left && x <= banner::right;
}

// Rows 0-9 of the shown banner as docs/banner-capture.txt draws them ('#' a
// light grey space, '+' a dark grey one, '.' any other cell), as figures:
// tests/wine/test_selftest.sh compares them with that file.
void banner_picture_figures(const screen_copy& shown) {
    figure("banner rows below: '+' a dark grey cell, '#' a light grey one, '.' any other");
    for (int y = 0; y < 10 && y < shown.height; ++y) {
        std::string row;
        for (int x = 0; x < shown.width; ++x) {
            const CHAR_INFO& cell = shown.at(x, y);
            const bool space = cell_char(cell) == ' ';
            row += space && cell.Attributes == banner::light ? '#' : space && cell.Attributes == banner::dark ? '+' : '.';
        }
        figure("banner row %d: %s", y, row.c_str());
    }
}

// The cells os_display_title(show) changes over a pattern, each checked.
std::vector<char> check_shown_banner(HANDLE screen, int show, screen_copy* base) {
    fill_screen(screen, 20 + show, base);
    os_display_title(show);
    screen_copy shown;
    read_screen(screen, &shown);
    std::vector<char> changed(base->cells.size(), 0);
    int dark = 0, light = 0, wrong = 0;
    char first_wrong[64] = "none";
    for (int y = 0; y < base->height; ++y)
        for (int x = 0; x < base->width; ++x) {
            const CHAR_INFO& cell = shown.at(x, y);
            if (same_cell(base->at(x, y), cell)) continue;
            changed[static_cast<size_t>(y) * base->width + x] = 1;
            const WORD want = y <= banner::last_dark_row ? banner::dark : banner::light;
            if (inside_banner(x, y) && cell_char(cell) == ' ' && cell.Attributes == want) {
                ++(want == banner::dark ? dark : light);
            } else if (wrong++ == 0) {
                std::snprintf(first_wrong, sizeof first_wrong, "(%d,%d)=%02x/%04x", x, y,
                              cell_char(cell), cell.Attributes);
            }
        }
    if (show == 1) banner_picture_figures(shown);
    OK(dark > 0 && light > 0, "os_display_title(%d) paints cells: %d dark grey, %d light grey",
       show, dark, light);
    OK_EQ(0, wrong,
          "os_display_title(%d): every painted cell is a space, 0x80 on rows 1-2, 0x70 on rows "
          "3-8, within columns 23-55; first other: %s",
          show, first_wrong);
    return changed;
}

screen_copy erased(const screen_copy& base, const std::vector<char>& changed) {
    screen_copy expected = base;
    for (size_t i = 0; i < expected.cells.size(); ++i)
        if (changed[i]) expected.cells[i] = make_cell(' ', 0x07);
    return expected;
}

void check_banner(HANDLE screen) {
    screen_copy base;
    const std::vector<char> first = check_shown_banner(screen, 1, &base);
    os_display_title(0);
    OK_SCREEN(screen, erased(base, first),
              "os_display_title(0) blanks exactly the painted cells to 0x07, all others kept");
    for (int show : {2, -1}) {
        OK(check_shown_banner(screen, show, &base) == first,
           "os_display_title(%d) paints the same cells as os_display_title(1)", show);
    }
    fill_screen(screen, 30, &base);
    os_display_title(0);
    OK_SCREEN(screen, erased(base, first), "os_display_title(0) alone blanks the same cells");
    fill_screen(screen, 31, &base);
    os_display_title(1);
    screen_copy once;
    read_screen(screen, &once);
    os_display_title(1);
    OK_SCREEN(screen, once, "os_display_title(1) twice leaves the picture of once");

}

// The inert services leave every cell, the active buffer and the modes alone.
void check_inert(HANDLE screen) {
    screen_copy expected;
    fill_screen(screen, 40, &expected);
    os_sound(1, 2, 3);
    os_fade();
    os_zoom(INT_MAX, nullptr);
    os_update_client(-1, "text", 2.5);
    const int buffers = host_buffer_count();
    OK_SCREEN(screen, expected, "os_sound, os_fade, os_zoom and os_update_client change no cell");
    OK(host_buffer_count() == buffers && last_host_activated() == screen,
       "os_sound, os_fade, os_zoom and os_update_client make and show no other buffer");
    DWORD mode = 99;
    GetConsoleMode(input, &mode);
    OK_EQ(0, mode & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT),
          "the inert services leave the input mode alone");
}

// ------------------------------------------------------------------ keys

// Whether the queue holds `record` alone. The console is shared: it queues
// focus and menu records of its own when the player clicks, and the player
// may press a key, at any moment.
bool queued_alone(const INPUT_RECORD& record) {
    INPUT_RECORD seen[2] = {};
    DWORD count = 0;
    PeekConsoleInputA(input, seen, 2, &count);
    const KEY_EVENT_RECORD& a = seen[0].Event.KeyEvent;
    const KEY_EVENT_RECORD& b = record.Event.KeyEvent;
    return count == 1 && seen[0].EventType == record.EventType &&
           (record.EventType != KEY_EVENT ||
            (a.bKeyDown == b.bKeyDown && a.wVirtualKeyCode == b.wVirtualKeyCode &&
             a.dwControlKeyState == b.dwControlKeyState && a.uChar.AsciiChar == b.uChar.AsciiChar));
}

// Queues `record` alone and checks what os_get_input makes of it; where a
// record the check did not queue came in beside it, says so and tries once more.
void expect_key(const INPUT_RECORD& record, int key, int character, const char* name) {
    DWORD written = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        FlushConsoleInputBuffer(input);
        WriteConsoleInputA(input, &record, 1, &written);
        if (queued_alone(record) || attempt == 1) break;
        figure("input: a record the checks did not queue came in beside %s (a click, a focus "
               "change or a key pressed meanwhile); tried once more", name);
    }
    int got_key = -12345, got_char = -12345;
    os_get_input(&got_key, &got_char);
    const DWORD left = waiting_records(input);
    OK(written == 1 && got_key == key && got_char == character && left == 0,
       "%s gives %d/%d: got %d/%d, %lu queued, %lu left", name, key, character, got_key,
       got_char, static_cast<unsigned long>(written), static_cast<unsigned long>(left));
}

// Modifiers held, each tried with every key of the table (contract.h).
struct modifiers {
    DWORD state;
    const char* name;
};

const modifiers modifier_rows[] = {
    {0, "no modifier"},
    {SHIFT_PRESSED, "Shift"},
    {LEFT_CTRL_PRESSED, "left Ctrl"},
    {RIGHT_CTRL_PRESSED, "right Ctrl"},
    {SHIFT_PRESSED | LEFT_CTRL_PRESSED, "Shift+left Ctrl"},
    {SHIFT_PRESSED | RIGHT_CTRL_PRESSED, "Shift+right Ctrl"},
    {LEFT_ALT_PRESSED, "left Alt"},
    {RIGHT_ALT_PRESSED, "right Alt"},
    {LEFT_ALT_PRESSED | SHIFT_PRESSED, "left Alt+Shift"},
    {RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED, "right Alt+left Ctrl"},
};

// Bits of the control-key state that change nothing, one set per case in turn.
const DWORD ignored_bits[] = {0, NUMLOCK_ON, CAPSLOCK_ON, ENHANCED_KEY,
                              NUMLOCK_ON | CAPSLOCK_ON | SCROLLLOCK_ON | ENHANCED_KEY};

void check_key_table() {
    unsigned n = 0;
    for (const key_row& key : key_rows)
        for (const modifiers& held : modifier_rows) {
            const int code = key_code(key.virtual_key, held.state);
            if (code == 1062) continue;  // Alt+F4 ends the run: its own scenario
            const DWORD extra = ignored_bits[n++ % 5];
            char name[96];
            std::snprintf(name, sizeof name, "%s with %s (state 0x%03lx)", key.name, held.name,
                          static_cast<unsigned long>(held.state | extra));
            expect_key(key_record(key.virtual_key, 0, held.state | extra), code, 0, name);
        }
}

struct record_case {
    INPUT_RECORD record;
    int key, character;
    const char* name;
};

INPUT_RECORD other_record(WORD type) {
    INPUT_RECORD record;
    std::memset(&record, 0, sizeof record);
    record.EventType = type;
    return record;
}

void check_other_records() {
    const record_case cases[] = {
        {key_record('A', 'a', 0), 0, 'a', "a"},
        {key_record('A', 'A', SHIFT_PRESSED | CAPSLOCK_ON), 0, 'A', "Shift+A"},
        {key_record('A', 'a', LEFT_ALT_PRESSED), 0, 'a', "Alt+a"},
        {key_record(VK_NUMPAD8, '8', NUMLOCK_ON), 0, '8', "keypad 8 with Num Lock"},
        {key_record(VK_INSERT, 0, ENHANCED_KEY), 0, 0, "Insert"},
        {key_record(VK_ESCAPE, 27, 0), 0, 27, "Esc"},
        {key_record(VK_SHIFT, 0, SHIFT_PRESSED), 0, 0, "Shift alone"},
        {key_record(VK_F13, 0, 0), 0, 0, "F13"},
        {key_record('C', 3, LEFT_CTRL_PRESSED), 0, 3, "Ctrl+C (an ordinary key)"},
        {key_record(0, 0x7F, 0), 0, 127, "character 127"},
        {key_record(VK_UP, 0, 0, true, 3), 72, 0, "Up standing for three auto-repeats"},
        {key_record('A', 'a', 0, false), 0, 0, "the release of a"},
        {key_record(VK_F1, 0, LEFT_ALT_PRESSED, false), 0, 0, "the release of Alt+F1"},
        {key_record('X', 24, LEFT_CTRL_PRESSED, false), 0, 0, "the release of Ctrl+X"},
        {other_record(FOCUS_EVENT), 0, 0, "a focus record"},
        {other_record(MENU_EVENT), 0, 0, "a menu record"},
        {other_record(MOUSE_EVENT), 0, 0, "a mouse record"},
        {other_record(WINDOW_BUFFER_SIZE_EVENT), 0, 0, "a window-size record"},
    };
    for (const record_case& c : cases) expect_key(c.record, c.key, c.character, c.name);

    // Typed characters 128-255 arrive as signed bytes, through the input code page.
    const record_case signed_cases[] = {
        {key_record(0, 0xE9, 0), 0, -23, "character 0xE9"},
        {key_record('E', 0xE9, RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED), 0, -23, "AltGr+E typing 0xE9"},
        {key_record(0, 0x80, 0), 0, -128, "character 0x80"},
        {key_record(0, 0xFF, 0), 0, -1, "character 0xFF"},
    };
    if (single_byte_code_page(GetConsoleCP())) {
        for (const record_case& c : signed_cases) expect_key(c.record, c.key, c.character, c.name);
    } else {
        SKIPPED("typed characters 128-255: input code page %u has no one-byte characters",
                GetConsoleCP());
    }
}

// Several records: one per call, in order.
void check_sequences() {
    FlushConsoleInputBuffer(input);
    int k[3] = {55, 55, 55}, c[3] = {66, 66, 66};
    os_get_input(&k[0], &c[0]);
    OK(k[0] == 0 && c[0] == 0, "an empty queue gives 0/0: got %d/%d", k[0], c[0]);

    const INPUT_RECORD press_release[] = {key_record('A', 'a', 0), key_record('A', 'a', 0, false),
                                          other_record(FOCUS_EVENT), key_record('X', 'x', 0)};
    DWORD written = 0;
    WriteConsoleInputA(input, press_release, 4, &written);
    int got[4][2];
    for (auto& pair : got) os_get_input(&pair[0], &pair[1]);
    OK(got[0][0] == 0 && got[0][1] == 'a' && got[1][0] == 0 && got[1][1] == 0 && got[2][1] == 0 &&
           got[3][1] == 'x' && waiting_records(input) == 0,
       "a press, its release, a focus record and a key take one call each: %d/%d %d/%d %d/%d %d/%d",
       got[0][0], got[0][1], got[1][0], got[1][1], got[2][0], got[2][1], got[3][0], got[3][1]);
}

// Null out-pointers: the other output is still written and the record taken.
void check_null_pointers() {
    DWORD written = 0;
    FlushConsoleInputBuffer(input);
    INPUT_RECORD key = key_record('Q', 'q', 0);
    WriteConsoleInputA(input, &key, 1, &written);
    int character = -7;
    os_get_input(nullptr, &character);
    OK(character == 'q' && waiting_records(input) == 0,
       "os_get_input(NULL, &char) writes the character and takes the record: %d", character);
    key = key_record(VK_UP, 0, 0);
    WriteConsoleInputA(input, &key, 1, &written);
    int code = -7;
    os_get_input(&code, nullptr);
    OK(code == 72 && waiting_records(input) == 0,
       "os_get_input(&key, NULL) writes the key code and takes the record: %d", code);
    key = key_record('Z', 'z', 0);
    WriteConsoleInputA(input, &key, 1, &written);
    os_get_input(nullptr, nullptr);
    OK_EQ(0, waiting_records(input), "os_get_input(NULL, NULL) takes the record");
    key = key_record(VK_F9, 0, RIGHT_ALT_PRESSED);
    WriteConsoleInputA(input, &key, 1, &written);
    os_get_input(&code, &character);
    OK(code == 1067 && character == 0, "after polls with null pointers a key arrives whole: %d/%d",
       code, character);
    code = character = -7;
    os_get_input(nullptr, &character);
    os_get_input(&code, nullptr);
    OK(code == 0 && character == 0,
       "os_get_input with one null pointer on an empty queue writes 0 to the other: %d/%d", code,
       character);
}

// ------------------------------------------------------------------ pause

// What the pauses returned, and how long they really lasted by the
// performance counter, which the tick count they wait on cannot show.
struct pause_figures {
    int fewest = INT_MAX, most = 0;
    double shortest_ms = 1e9, longest_ms = 0;
};

pause_figures check_pauses() {
    FlushConsoleInputBuffer(input);
    pause_figures seen;
    DWORD shortest_ticks = 0xFFFFFFFF;
    int above_ticks = 0;
    for (int i = 0; i < 5; ++i) {
        const double start = counter_ms();
        const DWORD ticks_before = GetTickCount();
        const int result = os_pause();
        const DWORD ticks = GetTickCount() - ticks_before;
        const double lasted = counter_ms() - start;
        if (ticks < shortest_ticks) shortest_ticks = ticks;
        if (result < seen.fewest) seen.fewest = result;
        if (result > seen.most) seen.most = result;
        if (lasted > seen.longest_ms) seen.longest_ms = lasted;
        if (lasted < seen.shortest_ms) seen.shortest_ms = lasted;
        above_ticks += result > static_cast<int>(ticks);
    }
    OK(shortest_ticks >= 40, "os_pause lasts at least 40 ms by the tick count: %lu",
       static_cast<unsigned long>(shortest_ticks));
    OK(seen.fewest >= 40 && seen.most <= 5000, "os_pause returns 40 to 5000: %d to %d",
       seen.fewest, seen.most);
    OK_EQ(0, above_ticks, "os_pause returns no more than the ticks that passed around it");
    return seen;
}

// Records queued during a pause: its polls take some from the front, at most
// one each, and the rest come out of os_get_input afterwards, in order.
// Polls once for each of the sequence's records FROM..TO-1; returns how many
// came out other than queued, and describes the first of them in FIRST.
unsigned poll_sequence(unsigned from, unsigned to, char (&first)[64]) {
    unsigned wrong = 0;
    std::snprintf(first, sizeof first, "none");
    for (unsigned i = from; i < to; ++i) {
        int key = -1, character = -1;
        os_get_input(&key, &character);
        if (!sequence_matches(i, key, character) && wrong++ == 0)
            std::snprintf(first, sizeof first, "record %u gave %d/%d", i, key, character);
    }
    return wrong;
}

void check_drain(unsigned total) {
    std::vector<INPUT_RECORD> records;
    for (unsigned i = 0; i < total; ++i) records.push_back(sequence_record(i));
    FlushConsoleInputBuffer(input);
    const DWORD queued = queue_records(input, records.data(), total);
    const double start = counter_ms();
    os_pause();
    const double lasted = counter_ms() - start;
    const unsigned drained = total - waiting_records(input);
    OK_EQ(total, queued, "%u records queued for a pause", total);
    // Each poll sleeps at least about 1 ms (Sleep may end early by less than
    // a tick's remainder, never by a whole millisecond twice in a row).
    OK(drained >= 1 && drained < total && drained <= static_cast<unsigned>(lasted) + 1,
       "a pause of %.1f ms takes at least one record, at most one a poll, and leaves the rest: %u",
       lasted, drained);
    char first[64];
    const unsigned out_of_order = poll_sequence(drained, total, first);
    int key = -1, character = -1;
    os_get_input(&key, &character);
    OK(out_of_order == 0 && key == 0 && character == 0,
       "the records the pause left come out in order, then none: %u out of order, first %s, "
       "then %d/%d",
       out_of_order, first, key, character);
}

// ------------------------------------------------------------------ figures

// The fastest of five rounds of `count` calls, in milliseconds a call.
template <typename Call>
double cost_ms(int count, Call call) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const double start = counter_ms();
        for (int i = 0; i < count; ++i) call(i);
        const double each = (counter_ms() - start) / count;
        if (each < best) best = each;
    }
    return best;
}

void measure(const pause_figures& pauses) {
    FlushConsoleInputBuffer(input);
    const double sleep_ms = cost_ms(20, [](int) { Sleep(1); });
    const double raw_poll = cost_ms(20, [](int) {
        Sleep(1);
        DWORD waiting = 0;
        GetNumberOfConsoleInputEvents(input, &waiting);
    });
    const double poll = cost_ms(20, [](int) {
        int key = 0, character = 0;
        os_get_input(&key, &character);
    });
    // An empty poll sleeps as Sleep(1) does here: about 1 ms where the timer
    // runs at 1 ms (Wine, or a raised resolution), a whole tick of about
    // 15.6 ms where it does not (Windows' default).
    OK(poll >= raw_poll / 2 && poll <= raw_poll * 2 + 1.0,
       "an empty poll costs what Sleep(1) and a look at the queue cost: %.2f ms against %.2f ms",
       poll, raw_poll);
    figure("empty poll: %.2f ms through os_get_input, %.2f ms raw (Sleep(1) and the count); "
           "Sleep(1) lasts %.2f ms here: %s",
           poll, raw_poll, sleep_ms,
           sleep_ms > 5 ? "a timer tick (Windows' default 15.6 ms)"
                        : "about 1 ms (Wine, or a raised timer resolution)");

    // A cell write's cost swings more from run to run than the host adds to
    // it; --bench times it in alternating blocks, which this quick look cannot.
    figure("cell write: --bench times it (cell_host_mean and cell_ratio, in microseconds)");
    DWORD tick_100ns = 0, unused = 0;
    BOOL adjustment_off = FALSE;
    GetSystemTimeAdjustment(&unused, &tick_100ns, &adjustment_off);
    figure("pause: os_pause returned %d to %d ms; it lasted %.1f to %.1f ms by the performance "
           "counter; the system timer ticks every %.3f ms",
           pauses.fewest, pauses.most, pauses.shortest_ms, pauses.longest_ms, tick_100ns / 10000.0);
}

// ------------------------------------------------------------------ os_init again

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

// ------------------------------------------------------------------ scenarios

// The whole contract inside one run, which returns selftest::entry_result.
int run_console(int argc, char** argv) {
    check_arguments(argc, argv);
    load_witness();
    HANDLE player = open_console("CONOUT$");
    check_before_init(player);
    HANDLE screen = check_setup(player);
    check_cells(screen);
    check_coordinates(screen);
    check_banner(screen);
    check_inert(screen);
    check_key_table();
    check_other_records();
    check_sequences();
    check_null_pointers();
    const pause_figures pauses = check_pauses();
    check_drain(200);
    measure(pauses);
    check_reinit();
    return selftest::entry_result;
}

// Loads the witness and sets the console up.
void witnessed_setup() {
    load_witness();
    os_init();
    OK(!player_buffer_shown(), "os_init makes a buffer of its own active");
}

// A record that must end the process (or must not), polled or during a pause.
struct exit_case {
    const char* name;
    WORD virtual_key;
    unsigned char character;
    DWORD state;
    bool down, in_pause, ends;
};

const exit_case exit_cases[] = {
    {"alt_f4", VK_F4, 0, LEFT_ALT_PRESSED, true, false, true},
    {"alt_f4_modifiers", VK_F4, 0, RIGHT_ALT_PRESSED | SHIFT_PRESSED | LEFT_CTRL_PRESSED, true, false, true},
    {"ctrl_x", 'X', 24, LEFT_CTRL_PRESSED, true, false, true},
    {"char_24", VK_F10, 24, 0, true, false, true},
    {"ctrl_x_released", 'X', 24, LEFT_CTRL_PRESSED, false, false, false},
    {"pause_ctrl_x", 'X', 24, LEFT_CTRL_PRESSED, true, true, true},
};

int run_exit_case(const exit_case& c) {
    witnessed_setup();
    FlushConsoleInputBuffer(input);
    const INPUT_RECORD record = key_record(c.virtual_key, c.character, c.state, c.down);
    OK_EQ(1, queue_records(input, &record, 1), "the record is queued");
    int key = -1, character = -1;
    for (int i = 0; i < 20 && waiting_records(input) > 0; ++i) {
        if (c.in_pause) os_pause();
        else os_get_input(&key, &character);
    }
    // Reached only when the record left the process running.
    if (c.ends)
        OK(false, c.in_pause ? "the record ends the process during os_pause"
                             : "the record ends the process inside os_get_input");
    else
        OK(key == 0 && character == 0, "the record reads as no key and the game goes on: %d/%d",
           key, character);
    return selftest::survived;
}

// A console event as the console delivers it: a thread started at kernel32's
// CtrlRoutine runs the handlers, then the default one, which ends the process.
int deliver_console_event(DWORD event) {
    witnessed_setup();
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "CtrlRoutine")));
    if (routine == nullptr) {
        SKIPPED("the console event: kernel32 has no CtrlRoutine to deliver it with");
        return 0;
    }
    HANDLE thread = CreateThread(nullptr, 0, routine,
                                 reinterpret_cast<void*>(static_cast<ULONG_PTR>(event)), 0, nullptr);
    WaitForSingleObject(thread, 10000);
    Sleep(2000);
    OK(false, "the console's default handling ends the process after the host's handler");
    return selftest::survived;
}

// The crash is seen last here, after the host's own filter: the player's
// console must be back by then. The process then ends with the crash's code.
LONG WINAPI last_crash_filter(EXCEPTION_POINTERS* exception) {
    OK(player_buffer_shown(), "a crash: the player's buffer is active before the process ends");
    OK_EQ(player_input_mode, console_input_mode(),
          "a crash: the player's input mode is back before the process ends");
    char note[64];
    std::snprintf(note, sizeof note, "NOTE\texception\t%lu",
                  static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode));
    record_line(note);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A write where nothing may be written, as a stray pointer gives. Not the null
// page: Wine run by root maps it.
int crash() {
    player_input_mode = console_input_mode();
    SetUnhandledExceptionFilter(last_crash_filter);
    witnessed_setup();
    int* volatile nowhere =
        static_cast<int*>(VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
    *nowhere = 1;
    OK(false, "a write to a no-access page crashes");
    return selftest::survived;
}

// 10,000 queued records, each reported once and in order.
int flood() {
    witnessed_setup();
    const unsigned total = 10000;
    std::vector<INPUT_RECORD> records;
    for (unsigned i = 0; i < total; ++i) records.push_back(sequence_record(i));
    FlushConsoleInputBuffer(input);
    OK_EQ(total, queue_records(input, records.data(), total, 500), "10000 records queued");
    char first[64];
    const unsigned wrong = poll_sequence(0, total, first);
    int key = -1, character = -1;
    os_get_input(&key, &character);
    OK(wrong == 0 && waiting_records(input) == 0 && key == 0 && character == 0,
       "10000 polls report every record once and in order, then none: %u wrong, first %s, then %d/%d",
       wrong, first, key, character);
    for (int round = 0; round < 20; ++round) check_drain(500);
    return 0;
}

// 100,000 cell writes and 10,000 polls leave the buffer holding the last write
// of each cell, and the process's handles and memory where they were.
int soak() {
    witnessed_setup();
    HANDLE screen = host_buffer();
    screen_copy expected;
    fill_screen(screen, 60, &expected);
    const int cells = 100000;
    int written = 0;
    int keys_seen = 0;
    DWORD handles_before = 0, handles_middle = 0;
    SIZE_T memory_before = 0, memory_middle = 0;
    FlushConsoleInputBuffer(input);
    for (int i = -2000; i < cells; ++i) {  // the first 2,000 warm up
        if (i == 0 || i == cells / 2) {
            (i == 0 ? handles_before : handles_middle) = count_open_handles();
            (i == 0 ? memory_before : memory_middle) = committed_private_bytes();
        }
        if (i >= 0 && i % 500 == 0) {  // 200 keys among the polls
            const INPUT_RECORD key = key_record(VK_UP, 0, 0);
            queue_records(input, &key, 1);
        }
        const int cell = i < 0 ? i + 2000 : i;
        const int x = cell % expected.width, y = (cell / expected.width) % expected.height;
        const int character = 'a' + cell % 26, attr = 1 + cell % 15;
        written += os_put_font(character, attr, x, y) != 0 && i >= 0;
        expected.at(x, y) = make_cell(static_cast<unsigned char>(character), static_cast<WORD>(attr));
        if (i % 10 == 0) {
            int key = 0;
            os_get_input(&key, nullptr);
            keys_seen += key == 72;
        }
    }
    OK_EQ(cells, written, "100000 cell writes succeed");
    OK_EQ(200, keys_seen, "the 200 keys queued among 10000 polls are each reported");
    OK_SCREEN(screen, expected, "after 100000 writes the buffer holds the last write of every cell");
    const DWORD handles = count_open_handles();
    OK(handles <= handles_before + 2 && handles <= handles_middle,
       "110000 calls open no handles: %lu before, %lu halfway, %lu after",
       static_cast<unsigned long>(handles_before), static_cast<unsigned long>(handles_middle),
       static_cast<unsigned long>(handles));
    // 256 KiB over 110,000 calls: a leak of 3 bytes a call would show.
    const SIZE_T memory = committed_private_bytes();
    OK(memory <= memory_before + 262144 && memory <= memory_middle + 131072,
       "110000 calls keep their memory: %lu bytes before, %lu halfway, %lu after",
       static_cast<unsigned long>(memory_before), static_cast<unsigned long>(memory_middle),
       static_cast<unsigned long>(memory));
    return 0;
}

// The banner shown and erased 1,000 times over the pattern: the last showing is
// the first one's picture, and the end is one erase's.
int banner_toggled() {
    witnessed_setup();
    HANDLE screen = host_buffer();
    screen_copy first, once_erased, last;
    fill_screen(screen, 32);
    os_display_title(1);
    read_screen(screen, &first);
    os_display_title(0);
    read_screen(screen, &once_erased);
    fill_screen(screen, 32);
    for (int i = 0; i < 1000; ++i) {
        os_display_title(1);
        if (i == 999) read_screen(screen, &last);
        os_display_title(0);
    }
    OK(compare_screens(first, last).mismatches == 0,
       "os_display_title(1), the 1000th time, paints the picture of the first");
    OK_SCREEN(screen, once_erased, "os_display_title(1) then (0), 1000 times, ends as one erase does");
    return 0;
}

struct scenario {
    const char* name;
    int (*run)(int argc, char** argv);
};

const scenario scenarios[] = {
    {"console", run_console},
    {"setup_failure", [](int, char**) {
         witnessed_setup();
         OK(false, "os_init ends the process when the input mode cannot be set");
         return selftest::survived;
     }},
    {"redirected", [](int, char**) {
         witnessed_setup();
         return 0;
     }},
    {"ctrl_break", [](int, char**) { return deliver_console_event(CTRL_BREAK_EVENT); }},
    {"close", [](int, char**) { return deliver_console_event(CTRL_CLOSE_EVENT); }},
    {"crash", [](int, char**) { return crash(); }},
    {"flood", [](int, char**) { return flood(); }},
    {"banner_toggle", [](int, char**) { return banner_toggled(); }},
    {selftest::skip_at_exit, [](int, char**) {
         witnessed_setup();
         ExitProcess(selftest::skipped_exit_status);
         return selftest::survived;
     }},
    {"soak", [](int, char**) { return soak(); }},
    {"bench", run_bench},
};

// Whether argv[1], the scenario, is `name`: the command line's second word.
bool scenario_is(const char* name) {
    const char* command = GetCommandLineA();
    const char* end = command[0] == '"' ? std::strchr(command + 1, '"') : std::strchr(command, ' ');
    if (end == nullptr) return false;
    while (*++end == ' ') {
    }
    const size_t length = std::strlen(name);
    return std::strncmp(end, name, length) == 0 && (end[length] == ' ' || end[length] == '\0');
}

// Set when the entry returns; the witness, a copy of this DLL with data of its
// own, reads it from the process's environment.
constexpr char entry_returned_variable[] = "SELFTEST_ENTRY_RETURNED";

bool has_suffix(const char* text, const char* suffix) {
    const size_t length = std::strlen(text), tail = std::strlen(suffix);
    return length >= tail && lstrcmpiA(text + length - tail, suffix) == 0;
}

}  // namespace

// The module refuses to load when asked to, as a broken game would; the
// witness notes the player's input mode on load and checks the console at the
// very end; the module checks that the host unloads it after its entry returned.
// The witness's watch, taken over when the host unloads the module.
extern "C" __declspec(dllexport) bool selftest_watch_host_buffers() { return watch_host_buffers(); }

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH] = "";
        GetModuleFileNameA(self, path, sizeof path);
        is_witness = has_suffix(path, selftest::witness_file);
        if (is_witness) {
            player_input_mode = console_input_mode();
            player_buffer_at_load = open_console("CONOUT$");
        }
        // The host loads the module with the system's critical-error boxes
        // off (the runner starts it with the default error mode, so only the
        // host's own setting counts).
        if (!is_witness && !scenario_is(selftest::refuse_argument))
            OK((GetThreadErrorMode() & SEM_FAILCRITICALERRORS) != 0,
               "the host loads the module with critical-error boxes off: thread error mode 0x%lx",
               static_cast<unsigned long>(GetThreadErrorMode()));
        if (is_witness || !scenario_is(selftest::refuse_argument)) return TRUE;
        record_line("NOTE\trefused");
        return FALSE;
    }
    if (reason != DLL_PROCESS_DETACH) return TRUE;
    if (!is_witness && reserved == nullptr) {
        // Unloaded by the host: the witness, which stays, watches from here on.
        unwatch_host_buffers();
        using watch_fn = bool (*)();
        if (HMODULE witness = GetModuleHandleA(selftest::witness_file))
            if (auto watch = reinterpret_cast<watch_fn>(GetProcAddress(witness, "selftest_watch_host_buffers")))
                watch();
    }
    if (is_witness && reserved != nullptr && scenario_is(selftest::skip_at_exit)) {
        // Calibration: without the host's at-exit list nothing gives the console
        // back, and the witness must see that, or its other checks prove nothing.
        OK(!player_buffer_shown(), "without the at-exit list the game's buffer is still active");
        OK_EQ(0, console_input_mode(), "without the at-exit list the input mode is still 0");
    } else if (is_witness && reserved != nullptr) {
        OK(player_buffer_shown(), "at process exit the player's buffer is active again");
        OK_EQ(player_input_mode, console_input_mode(),
              "at process exit the player's input mode is back");
        const bool returned = GetEnvironmentVariableA(entry_returned_variable, nullptr, 0) > 0;
        OK_EQ(returned ? 0 : 1, GetModuleHandleA("Umberdeep.dll") != nullptr,
              "at process exit the module is mapped only when its entry did not return");
    }
    // Windows' console shows the player's buffer again once the game's last
    // handle closes: under its rules, so does the witness, its checks done.
    if (is_witness && reserved != nullptr && windows_rules())
        SetConsoleActiveScreenBuffer(player_buffer_at_load);
    if (!is_witness && entry_returned)
        OK(reserved == nullptr, "the host unloads the module after its entry returned");
    return TRUE;
}

int dll_main(int argc, char** argv) {
    input = open_console("CONIN$");
    OK(watch_host_buffers(), "the host's imports of CreateConsoleScreenBuffer and "
                             "SetConsoleActiveScreenBuffer are watched");
    const char* name = argc > 1 ? argv[1] : "";
    int result = -1;
    for (const scenario& s : scenarios)
        if (std::strcmp(s.name, name) == 0) result = s.run(argc, argv);
    for (const exit_case& c : exit_cases)
        if (std::strcmp(c.name, name) == 0) result = run_exit_case(c);
    OK(result != -1, "the scenario <%s> is known", name);
    entry_returned = true;
    SetEnvironmentVariableA(entry_returned_variable, "1");
    return result;
}
