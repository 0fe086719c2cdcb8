// What the self-test's module sees of the console: whole-buffer copies, a fill
// pattern that shows every write, the queue of key records, and the figures a long
// run watches (handles, memory, the high-resolution clock).
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "console_view.h"
#include "contract.h"

// A copy of every cell of a screen buffer, row after row.
struct screen_copy {
    int width = 0;
    int height = 0;
    std::vector<CHAR_INFO> cells;

    CHAR_INFO& at(int x, int y) { return cells[static_cast<size_t>(y) * width + x]; }
    const CHAR_INFO& at(int x, int y) const { return cells[static_cast<size_t>(y) * width + x]; }
};

inline unsigned char cell_char(const CHAR_INFO& cell) {
    return static_cast<unsigned char>(cell.Char.AsciiChar);
}

inline bool same_cell(const CHAR_INFO& a, const CHAR_INFO& b) {
    return cell_char(a) == cell_char(b) && a.Attributes == b.Attributes;
}

inline CHAR_INFO make_cell(unsigned char character, WORD attributes) {
    CHAR_INFO cell;
    std::memset(&cell, 0, sizeof cell);
    cell.Char.AsciiChar = static_cast<CHAR>(character);
    cell.Attributes = attributes;
    return cell;
}

// Reads the whole buffer back, a row at a time. False when the console refuses.
inline bool read_screen(HANDLE buffer, screen_copy* copy) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(buffer, &info)) return false;
    copy->width = info.dwSize.X;
    copy->height = info.dwSize.Y;
    copy->cells.assign(static_cast<size_t>(copy->width) * copy->height, make_cell(0, 0));
    for (int y = 0; y < copy->height; ++y) {
        SMALL_RECT region = {0, static_cast<SHORT>(y), static_cast<SHORT>(copy->width - 1),
                             static_cast<SHORT>(y)};
        if (!ReadConsoleOutputA(buffer, &copy->at(0, y), COORD{static_cast<SHORT>(copy->width), 1},
                                COORD{0, 0}, &region))
            return false;
    }
    return true;
}

// A cell of the fill pattern: never a space, never an upper-case letter, and an
// attribute (foreground 1-6 on background 0-3) that no host service writes on
// its own, so that any write the host makes shows up as a change.
inline CHAR_INFO pattern_cell(int x, int y, int seed) {
    static const char characters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    const int k = x + 7 * y + 3 * seed;
    const WORD foreground = static_cast<WORD>(1 + (x + 3 * y + seed) % 6);
    const WORD background = static_cast<WORD>(((x / 3 + y + seed) % 4) << 4);
    return make_cell(static_cast<unsigned char>(characters[k % 36]), foreground | background);
}

// The pattern the buffer holds after fill_screen(buffer, seed).
inline screen_copy pattern_screen(int width, int height, int seed) {
    screen_copy copy;
    copy.width = width;
    copy.height = height;
    copy.cells.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) copy.at(x, y) = pattern_cell(x, y, seed);
    return copy;
}

// Fills every cell of the buffer with the pattern, in one console write.
// Returns the size it filled through *copy (optional).
inline bool fill_screen(HANDLE buffer, int seed, screen_copy* copy = nullptr) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(buffer, &info)) return false;
    screen_copy pattern = pattern_screen(info.dwSize.X, info.dwSize.Y, seed);
    SMALL_RECT region = {0, 0, static_cast<SHORT>(pattern.width - 1),
                         static_cast<SHORT>(pattern.height - 1)};
    const BOOL ok = WriteConsoleOutputA(buffer, pattern.cells.data(), info.dwSize, COORD{0, 0},
                                        &region);
    if (copy != nullptr) *copy = pattern;
    return ok != 0;
}

// How two copies differ over the cells both hold: the number of differing
// cells and the first of them. A buffer may grow or shrink while it is shown
// (the player resizes the terminal); that changes no cell the game wrote.
struct screen_diff {
    int mismatches = 0;
    int x = -1;
    int y = -1;
    CHAR_INFO expected = {};
    CHAR_INFO actual = {};
};

inline screen_diff compare_screens(const screen_copy& expected, const screen_copy& actual) {
    screen_diff diff;
    const int width = expected.width < actual.width ? expected.width : actual.width;
    const int height = expected.height < actual.height ? expected.height : actual.height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (same_cell(expected.at(x, y), actual.at(x, y))) continue;
            if (diff.mismatches++ == 0) {
                diff.x = x;
                diff.y = y;
                diff.expected = expected.at(x, y);
                diff.actual = actual.at(x, y);
            }
        }
    return diff;
}

// "mismatches=N first=(x,y) expected=XX/AAAA got=XX/AAAA", or "mismatches=0".
inline void describe_diff(const screen_diff& diff, char* text, size_t size) {
    if (diff.mismatches == 0) {
        std::snprintf(text, size, "mismatches=0");
    } else {
        std::snprintf(text, size, "mismatches=%d first=(%d,%d) expected=%02x/%04x got=%02x/%04x",
                      diff.mismatches, diff.x, diff.y, cell_char(diff.expected),
                      diff.expected.Attributes, cell_char(diff.actual), diff.actual.Attributes);
    }
}

// Queues records on the console input, in chunks; returns how many the console
// took. Under Windows' rules a focus record, such as the console queues when
// its window gains or loses the focus, comes before every third write.
inline DWORD queue_records(HANDLE input, const INPUT_RECORD* records, DWORD count,
                           DWORD chunk = 256) {
    static unsigned writes = 0;
    if (windows_rules() && ++writes % 3 == 0) {
        const INPUT_RECORD focus = other_record(FOCUS_EVENT);
        DWORD written = 0;
        WriteConsoleInputA(input, &focus, 1, &written);
    }
    DWORD total = 0;
    while (total < count) {
        const DWORD length = count - total < chunk ? count - total : chunk;
        DWORD written = 0;
        if (!WriteConsoleInputA(input, records + total, length, &written) || written == 0) break;
        total += written;
    }
    return total;
}

inline DWORD waiting_records(HANDLE input) {
    DWORD waiting = 0;
    if (!GetNumberOfConsoleInputEvents(input, &waiting)) return 0xFFFFFFFF;
    return waiting;
}

// Milliseconds from the high-resolution counter.
inline double counter_ms() {
    static LARGE_INTEGER frequency = {};
    if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// A numbered stream of key-down records: record i carries character
// 'a' + i % 26 and, every 26 records, the next key of the table with a code of
// its own (Home to F9), so that a lost, repeated or reordered record shows in
// what the host reports.
inline const key_row& sequence_key_of(unsigned i) { return key_rows[(i / 26) % 17]; }

inline INPUT_RECORD sequence_record(unsigned i) {
    return key_record(sequence_key_of(i).virtual_key, static_cast<unsigned char>('a' + i % 26), 0);
}

inline bool sequence_matches(unsigned i, int key_code, int char_code) {
    return key_code == sequence_key_of(i).plain && char_code == 'a' + static_cast<int>(i % 26);
}

// ---------------------------------------------------------------------------
// What a long run watches for growth.

// Open handles, counted by asking for each possible handle value's flags:
// Wine answers GetProcessHandleCount with 0, so the count is taken this way on
// both platforms. Handle values are multiples of 4.
inline DWORD count_open_handles() {
    DWORD open = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
    }
    return open;
}

// Committed private memory, summed over the address space: Wine reports no
// PrivateUsage, while VirtualQuery sees every committed private region.
inline SIZE_T committed_private_bytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}
