// What the tests hold the host to, stated once: the key vocabulary, the title
// banner's rectangle, the area a game may rely on, the services' names, the
// texts of the "Error" boxes, and the key records the tests queue. The unit
// tests, the fuzzer, the self-test and the console-window test's module read
// it; the host keeps its own table (console/key_translation.cpp), so each is a
// check of the other.
#pragma once

#include <windows.h>

#include <cstring>

// Each key of the table: its code with no modifier, with Shift, Ctrl and Alt.
struct key_row {
    WORD virtual_key;
    const char* name;    // as the self-test's messages name it
    const char* x_name;  // as X (and xdotool) names it
    int plain, shift, ctrl, alt;
};

constexpr key_row key_rows[] = {
    {VK_HOME, "Home", "Home", 71, 2071, 3071, 0},     {VK_UP, "Up", "Up", 72, 2072, 3072, 0},
    {VK_PRIOR, "Page Up", "Prior", 73, 2073, 3073, 0}, {VK_LEFT, "Left", "Left", 75, 2075, 3075, 0},
    {VK_RIGHT, "Right", "Right", 77, 2077, 3077, 0},  {VK_END, "End", "End", 79, 2079, 3079, 0},
    {VK_DOWN, "Down", "Down", 80, 2080, 3080, 0},     {VK_NEXT, "Page Down", "Next", 81, 2081, 3081, 0},
    {VK_F1, "F1", "F1", 59, 59, 59, 1059},            {VK_F2, "F2", "F2", 60, 60, 60, 1060},
    {VK_F3, "F3", "F3", 61, 61, 61, 1061},            {VK_F4, "F4", "F4", 62, 62, 62, 1062},
    {VK_F5, "F5", "F5", 63, 63, 63, 1063},            {VK_F6, "F6", "F6", 64, 64, 64, 1064},
    {VK_F7, "F7", "F7", 65, 65, 65, 1065},            {VK_F8, "F8", "F8", 66, 66, 66, 1066},
    {VK_F9, "F9", "F9", 67, 67, 67, 1067},            {VK_F10, "F10", "F10", 0, 0, 0, 0},
    {VK_F11, "F11", "F11", 0, 0, 0, 0},               {VK_F12, "F12", "F12", 0, 0, 0, 0},
};

// The table's code for a key with the modifiers of `state`: Alt wins over
// Shift, and Shift over Ctrl; a key outside the table gives 0.
constexpr int key_code(WORD virtual_key, DWORD state) {
    for (const key_row& row : key_rows) {
        if (row.virtual_key != virtual_key) continue;
        if (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) return row.alt;
        if (state & SHIFT_PRESSED) return row.shift;
        if (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) return row.ctrl;
        return row.plain;
    }
    return 0;
}

// The codes and characters the tests name. Alt+F4 and the exit character
// (Ctrl+X gives it) end the process when pressed; the Alt codes run from
// Alt+F1 to Alt+F9; the first coded_keys rows of the table have codes.
namespace keys {
constexpr int up = key_code(VK_UP, 0), down = key_code(VK_DOWN, 0);
constexpr int shift_page_down = key_code(VK_NEXT, SHIFT_PRESSED);
constexpr int alt_f1 = key_code(VK_F1, LEFT_ALT_PRESSED), alt_f4 = key_code(VK_F4, LEFT_ALT_PRESSED);
constexpr int alt_f9 = key_code(VK_F9, LEFT_ALT_PRESSED);
constexpr int exit_character = 24;
constexpr int coded_keys = 17;
static_assert(key_rows[coded_keys - 1].plain != 0 && key_rows[coded_keys].plain == 0,
              "the coded keys come first in the table");
}  // namespace keys

// Whether `code` is one the vocabulary has: 0, a code of the table's.
inline bool in_vocabulary(int code) {
    if (code == 0) return true;
    for (const key_row& row : key_rows)
        if (code == row.plain || code == row.shift || code == row.ctrl || code == row.alt) return true;
    return false;
}

// The banner: spaces in rows 1-8, columns 23-55; dark grey (0x80) on rows 1-2,
// light grey (0x70) below; os_display_title(0) blanks its cells in `erased`.
namespace banner {
constexpr int top = 1, bottom = 8, left = 23, right = 55, last_dark_row = 2;
constexpr WORD dark = 0x80, light = 0x70, erased = 0x07;
constexpr bool covers(int x, int y) { return y >= top && y <= bottom && x >= left && x <= right; }
// A cell as docs/banner-capture.txt draws the banner: '#' a light grey space,
// '+' a dark grey one, '.' any other cell.
constexpr char picture(char character, WORD attributes) {
    return character != ' ' ? '.' : attributes == light ? '#' : attributes == dark ? '+' : '.';
}
}  // namespace banner

// The area a game may rely on: the host's buffer is the size the console
// gives a new one, and a game draws within 80 x 25.
namespace game_area {
constexpr int width = 80, height = 25;
}  // namespace game_area

// The services the host exports by name, and nothing else.
constexpr const char* service_names[] = {"os_display_title", "os_fade",     "os_get_input",
                                         "os_init",          "os_pause",    "os_put_font",
                                         "os_put_tile",      "os_sound",    "os_update_client",
                                         "os_zoom"};

// The host's "Error" boxes: the caption, and the text of each launch fault.
namespace box {
constexpr const char caption[] = "Error";
constexpr const char load_failed[] = "main: LoadLibrary failed";
constexpr const char no_entry_found[] = "main: GetProcAddress failed";
}  // namespace box

// A record of another kind (focus, menu, mouse, window size), all else zero.
inline INPUT_RECORD other_record(WORD type) {
    INPUT_RECORD record;
    std::memset(&record, 0, sizeof record);
    record.EventType = type;
    return record;
}

// A key record as the console queues it: pressed unless `down` is false,
// standing for `repeat` presses.
inline INPUT_RECORD key_record(WORD virtual_key, unsigned char character, DWORD control_state,
                               bool down = true, WORD repeat = 1) {
    INPUT_RECORD record = other_record(KEY_EVENT);
    KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    key.bKeyDown = down ? TRUE : FALSE;
    key.wRepeatCount = repeat;
    key.wVirtualKeyCode = virtual_key;
    key.uChar.AsciiChar = static_cast<CHAR>(character);
    key.dwControlKeyState = control_state;
    return record;
}
