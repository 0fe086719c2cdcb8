// What the self-test's module sees of the console: buffer copies and their
// compare, a fill pattern that shows every write, records queued and described.
#pragma once

#include <windows.h>

#include <climits>
#include <cstdio>
#include <vector>

#include "console_view.h"
#include "contract.h"

// A copy of every cell of a screen buffer, or of its top rows, row after row.
struct screen_copy {
    int width = 0, height = 0;
    std::vector<CHAR_INFO> cells;
    CHAR_INFO& at(int x, int y) { return cells[static_cast<size_t>(y) * width + x]; }
    const CHAR_INFO& at(int x, int y) const { return cells[static_cast<size_t>(y) * width + x]; }
};

inline unsigned char cell_char(const CHAR_INFO& cell) { return static_cast<unsigned char>(cell.Char.AsciiChar); }
inline bool same_cell(const CHAR_INFO& a, const CHAR_INFO& b) {
    return cell_char(a) == cell_char(b) && a.Attributes == b.Attributes;
}
inline CHAR_INFO make_cell(unsigned char character, WORD attributes) {
    CHAR_INFO cell = {};
    cell.Char.AsciiChar = static_cast<CHAR>(character);
    cell.Attributes = attributes;
    return cell;
}

// A record, a size, a cell as a check's text: "key down vk 0x41 char 0x61
// state 0x000", "80x25", "61/0007".
struct text { char s[80]; };

template <typename... Args>
text format_text(const char* format, Args... args) {
    text t = {};
    std::snprintf(t.s, sizeof t.s, format, args...);
    return t;
}

inline text describe(const INPUT_RECORD& record) {
    static const char* const kinds[] = {"", "key", "mouse", "", "window-size", "", "", "", "menu",
                                        "", "", "", "", "", "", "", "focus"};
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    if (record.EventType != KEY_EVENT)
        return format_text("%s record", record.EventType <= FOCUS_EVENT ? kinds[record.EventType] : "?");
    return format_text("key %s vk 0x%02x char 0x%02x state 0x%03lx", key.bKeyDown ? "down" : "up",
                       key.wVirtualKeyCode, static_cast<unsigned char>(key.uChar.AsciiChar),
                       static_cast<unsigned long>(key.dwControlKeyState));
}
inline text describe(COORD size) { return format_text("%dx%d", size.X, size.Y); }
inline text describe(const CHAR_INFO& cell) {
    return format_text("%02x/%04x", cell_char(cell), cell.Attributes);
}

// Whether A is B as a check can tell: by type, and a key by its press, key,
// character and modifiers, not its repeat count (the console may merge a press
// into an identical one queued before).
inline bool same_record(const INPUT_RECORD& a, const INPUT_RECORD& b) {
    if (a.EventType != b.EventType) return false;
    if (a.EventType != KEY_EVENT) return true;
    const KEY_EVENT_RECORD& x = a.Event.KeyEvent;
    const KEY_EVENT_RECORD& y = b.Event.KeyEvent;
    return x.bKeyDown == y.bKeyDown && x.wVirtualKeyCode == y.wVirtualKeyCode &&
           x.dwControlKeyState == y.dwControlKeyState && x.uChar.AsciiChar == y.uChar.AsciiChar;
}

inline COORD buffer_size(HANDLE buffer) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(buffer, &info);
    return info.dwSize;
}

// Reads back the buffer's top ROWS or all of it, a row at a time, writing
// nothing (the player's too). False when the console refuses.
inline bool read_screen(HANDLE buffer, screen_copy* copy, int rows = SHRT_MAX) {
    const COORD size = buffer_size(buffer);
    *copy = {size.X, rows < size.Y ? rows : size.Y, {}};
    copy->cells.resize(static_cast<size_t>(copy->width) * copy->height);
    for (SHORT y = 0; y < copy->height; ++y) {
        SMALL_RECT region = {0, y, static_cast<SHORT>(size.X - 1), y};
        if (!ReadConsoleOutputA(buffer, &copy->at(0, y), COORD{size.X, 1}, COORD{0, 0}, &region))
            return false;
    }
    return copy->width > 0;
}

// A cell of the fill pattern: no space, no capital, and an attribute (colour
// 1-6 on 0-3) no service writes on its own, so that every host write shows.
inline CHAR_INFO pattern_cell(int x, int y, int seed) {
    static const char characters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const int k = x + 7 * y + 3 * seed;
    const WORD foreground = static_cast<WORD>(1 + (x + 3 * y + seed) % 6);
    const WORD background = static_cast<WORD>(((x / 3 + y + seed) % 4) << 4);
    return make_cell(static_cast<unsigned char>(characters[k % 36]), foreground | background);
}

// Fills the whole buffer with the pattern in one console write; *COPY (optional) gets it.
inline bool fill_screen(HANDLE buffer, int seed, screen_copy* copy = nullptr) {
    const COORD size = buffer_size(buffer);
    screen_copy pattern = {size.X, size.Y, {}};
    for (int y = 0; y < size.Y; ++y)
        for (int x = 0; x < size.X; ++x) pattern.cells.push_back(pattern_cell(x, y, seed));
    SMALL_RECT region = {0, 0, static_cast<SHORT>(size.X - 1), static_cast<SHORT>(size.Y - 1)};
    const BOOL ok = WriteConsoleOutputA(buffer, pattern.cells.data(), size, COORD{0, 0}, &region);
    if (copy != nullptr) *copy = pattern;
    return ok != 0 && size.X > 0;
}

// How many of the cells both copies hold differ, and the first: a buffer may
// grow or shrink while shown (a resized terminal), which changes no game cell.
inline outcome compare_screens(const screen_copy& expected, const screen_copy& actual) {
    int mismatches = 0;
    text first = {};
    const int width = expected.width < actual.width ? expected.width : actual.width;
    const int height = expected.height < actual.height ? expected.height : actual.height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (!same_cell(expected.at(x, y), actual.at(x, y)) && mismatches++ == 0)
                first = format_text(" first=(%d,%d) expected=%s got=%s", x, y, describe(expected.at(x, y)).s,
                                    describe(actual.at(x, y)).s);
    outcome o = {mismatches == 0, ""};
    if (!o.passed) std::snprintf(o.detail, sizeof o.detail, ": mismatches=%d%s", mismatches, first.s);
    return o;
}

// Passes when the buffer holds `expected` cell for cell (compare_screens).
inline outcome compare_buffer(HANDLE buffer, const screen_copy& expected) {
    screen_copy now;
    if (read_screen(buffer, &now)) return compare_screens(expected, now);
    return {false, ": the buffer cannot be read back"};
}
#define OK_SCREEN(buffer, expected, ...) OK_THAT(compare_buffer((buffer), (expected)), __VA_ARGS__)

inline bool single_byte_code_page(UINT code_page) {
    CPINFO info;
    return GetCPInfo(code_page, &info) && info.MaxCharSize == 1;
}

// Queues records in chunks; returns how many the console took. Under Windows'
// rules a focus record, as the console queues on a focus change, comes before
// every third write.
inline DWORD queue_records(HANDLE input, const INPUT_RECORD* records, DWORD count, DWORD chunk = 256) {
    static unsigned writes = 0;
    DWORD written = 0, total = 0;
    if (windows_rules() && ++writes % 3 == 0) {
        const INPUT_RECORD focus = other_record(FOCUS_EVENT);
        WriteConsoleInputA(input, &focus, 1, &written);
    }
    while (total < count) {
        const DWORD length = count - total < chunk ? count - total : chunk;
        if (!WriteConsoleInputA(input, records + total, length, &written) || written == 0) break;
        total += written;
    }
    return total;
}

inline DWORD waiting_records(HANDLE input) {
    DWORD waiting = 0;
    return GetNumberOfConsoleInputEvents(input, &waiting) ? waiting : 0xFFFFFFFF;
}

// Milliseconds from the high-resolution counter.
inline double counter_ms() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// A numbered stream of key-down records: record i carries 'a' + i % 26 and,
// every 26, the next coded key (Home to F9): a lost, repeated or reordered
// record shows in what the host reports.
inline const key_row& sequence_key_of(unsigned i) { return key_rows[(i / 26) % keys::coded_keys]; }
inline INPUT_RECORD sequence_record(unsigned i) {
    return key_record(sequence_key_of(i).virtual_key, static_cast<unsigned char>('a' + i % 26), 0);
}
// Queues the stream's first COUNT records; returns how many the console took.
inline DWORD queue_sequence(HANDLE input, unsigned count, DWORD chunk = 256) {
    std::vector<INPUT_RECORD> records;
    for (unsigned i = 0; i < count; ++i) records.push_back(sequence_record(i));
    return queue_records(input, records.data(), count, chunk);
}
inline bool sequence_matches(unsigned i, int key_code, int char_code) {
    return key_code == sequence_key_of(i).plain && char_code == 'a' + static_cast<int>(i % 26);
}
