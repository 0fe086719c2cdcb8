// Cell output and the title banner, checked over the whole screen buffer.
// Scenario "cells" (argv[1]) runs every check in one process and writes compact
// verdict lines to probe.out; "banner.txt" receives a text picture of rows 0-9
// after the banner was shown.
#include <cstdint>
#include <cstring>

#include "os_services.h"
#include "probe.h"

namespace {

constexpr int banner_top = 1;
constexpr int banner_bottom = 8;
constexpr int banner_left = 23;
constexpr int banner_right = 55;

bool inside_banner(int x, int y) {
    return y >= banner_top && y <= banner_bottom && x >= banner_left && x <= banner_right;
}

// The attribute a shown banner cell must have on screen row y.
WORD shown_attribute(int y) { return y <= banner_top + 1 ? 0x80 : 0x70; }

// Writes "NAME: result=R mismatches=..." for one write against an expected screen.
void report_write(const char* name, HANDLE screen, const screen_copy& expected, int result) {
    screen_copy now;
    char text[160];
    if (!read_screen(screen, &now)) {
        report("%s=readback_failed result=%d", name, result);
        return;
    }
    describe_diff(compare_screens(expected, now), text, sizeof text);
    report("%s=%s result=%d", name, text, result != 0);
}

// Before os_init the host has no buffer: writes fail and the console is left alone.
void check_before_init(HANDLE initial) {
    screen_copy before;
    fill_screen(initial, 11, &before);
    const int font = os_put_font(65, 0x0E, 0, 0);
    const int tile = os_put_tile(0, 0, 0, 0, 66, 0x1F, 1, 0);
    os_display_title(1);
    os_display_title(0);
    screen_copy after;
    char text[160];
    read_screen(initial, &after);
    describe_diff(compare_screens(before, after), text, sizeof text);
    report("before_init_font=%d", font);
    report("before_init_tile=%d", tile);
    report("before_init_screen=%s", text);
}

// The set of cells os_display_title(show) changed over pattern `seed`, with a
// verdict on each of them.
struct banner_observation {
    std::vector<char> changed;  // 1 for each cell the banner wrote, row after row
    int cells = 0;
    int dark = 0;
    int light = 0;
    int outside = 0;  // changed cells outside rows 1-8, columns 23-55
    int wrong = 0;    // changed cells inside that are not a space in the row's colour
    char first_bad[96] = "none";
};

banner_observation show_banner(HANDLE screen, int show, int seed, screen_copy* base,
                               screen_copy* shown) {
    banner_observation seen;
    fill_screen(screen, seed, base);
    os_display_title(show);
    read_screen(screen, shown);
    seen.changed.assign(base->cells.size(), 0);
    for (int y = 0; y < base->height; ++y)
        for (int x = 0; x < base->width; ++x) {
            const CHAR_INFO& now = shown->at(x, y);
            if (same_cell(base->at(x, y), now)) continue;
            seen.changed[static_cast<size_t>(y) * base->width + x] = 1;
            ++seen.cells;
            bool bad = false;
            if (!inside_banner(x, y)) {
                ++seen.outside;
                bad = true;
            } else if (cell_char(now) != ' ' || now.Attributes != shown_attribute(y)) {
                ++seen.wrong;
                bad = true;
            } else if (now.Attributes == 0x80) {
                ++seen.dark;
            } else {
                ++seen.light;
            }
            if (bad && std::strcmp(seen.first_bad, "none") == 0)
                std::snprintf(seen.first_bad, sizeof seen.first_bad, "(%d,%d)=%02x/%04x", x, y,
                              cell_char(now), now.Attributes);
        }
    return seen;
}

// What the buffer must hold after erasing: the banner's cells blank, all else `base`.
screen_copy erased_screen(const screen_copy& base, const std::vector<char>& changed) {
    screen_copy expected = base;
    for (size_t i = 0; i < expected.cells.size(); ++i)
        if (changed[i]) expected.cells[i] = make_cell(' ', 0x07);
    return expected;
}

// Rows 0-9 as text: '#' for a light-grey (0x70) space, '+' for a dark-grey
// (0x80) space, '.' for any other cell.
void write_banner_picture(const screen_copy& shown) {
    FILE* out = std::fopen("banner.txt", "wb");
    if (out == nullptr) return;
    for (int y = 0; y < 10 && y < shown.height; ++y) {
        for (int x = 0; x < shown.width; ++x) {
            const CHAR_INFO& cell = shown.at(x, y);
            char c = '.';
            if (cell_char(cell) == ' ' && cell.Attributes == 0x70) c = '#';
            if (cell_char(cell) == ' ' && cell.Attributes == 0x80) c = '+';
            std::fputc(c, out);
        }
        std::fputc('\n', out);
    }
    std::fclose(out);
}

void check_banner(HANDLE screen) {
    screen_copy base;
    screen_copy shown;
    banner_observation first;
    const int shows[] = {1, 2, -1};
    for (int i = 0; i < 3; ++i) {
        const int show = shows[i];
        const banner_observation seen = show_banner(screen, show, 20 + i, &base, &shown);
        if (i == 0) {
            first = seen;
            write_banner_picture(shown);
        }
        const bool same_set = seen.changed == first.changed;
        report("banner_show[%d]=cells=%d dark=%d light=%d outside=%d wrong=%d same_cells=%d "
               "first_bad=%s",
               show, seen.cells, seen.dark, seen.light, seen.outside, seen.wrong, same_set ? 1 : 0,
               seen.first_bad);

        // Erasing blanks exactly the cells showing painted; everything else,
        // the empty cells inside the banner's rectangle included, stays.
        os_display_title(0);
        screen_copy now;
        char text[160];
        read_screen(screen, &now);
        describe_diff(compare_screens(erased_screen(base, seen.changed), now), text,
                      sizeof text);
        report("banner_erase[%d]=%s", show, text);
    }

    // Erasing a banner that was never shown blanks the same cells.
    fill_screen(screen, 30, &base);
    os_display_title(0);
    screen_copy now;
    char text[160];
    read_screen(screen, &now);
    describe_diff(compare_screens(erased_screen(base, first.changed), now), text, sizeof text);
    report("banner_erase_only=%s", text);

    // Showing twice leaves the same picture as showing once.
    fill_screen(screen, 31, &base);
    os_display_title(1);
    screen_copy once;
    read_screen(screen, &once);
    os_display_title(1);
    read_screen(screen, &now);
    describe_diff(compare_screens(once, now), text, sizeof text);
    report("banner_show_twice=%s", text);
}

// Cells the console must leave alone whatever the host does with them.
void check_out_of_range(HANDLE screen) {
    screen_copy base;
    char text[160];

    // What the console itself does with writes outside the buffer.
    fill_screen(screen, 40, &base);
    const int width = base.width;
    const int height = base.height;
    const int direct[][2] = {{width, 0}, {width + 20, 0}, {32767, 0}, {-1, 0}, {0, height}, {0, 32767}};
    for (const auto& at : direct) {
        CHAR_INFO cell = make_cell('Z', 0x4F);
        SMALL_RECT region = {static_cast<SHORT>(at[0]), static_cast<SHORT>(at[1]),
                             static_cast<SHORT>(at[0]), static_cast<SHORT>(at[1])};
        SetLastError(0);
        const BOOL ok = WriteConsoleOutputA(screen, &cell, COORD{1, 1}, COORD{0, 0}, &region);
        report("direct_write(%d,%d)=ok=%d error=%lu region=%d,%d,%d,%d", at[0], at[1], ok ? 1 : 0,
               static_cast<unsigned long>(ok ? 0 : GetLastError()), region.Left, region.Top,
               region.Right, region.Bottom);
    }
    screen_copy now;
    read_screen(screen, &now);
    describe_diff(compare_screens(base, now), text, sizeof text);
    report("direct_writes_screen=%s", text);

    // The host's answer for the same columns and rows, and anything it narrows.
    fill_screen(screen, 41, &base);
    const int columns[] = {width, 32767, 32768, -1, 65536};
    for (int x : columns) report("font_x[%d]=%d", x, os_put_font('Z', 0x4F, x, 0));
    const int rows[] = {height, 32767, 32768, -1, 65536};
    for (int y : rows) report("font_y[%d]=%d", y, os_put_font('Z', 0x4F, 0, y));
    read_screen(screen, &now);
    describe_diff(compare_screens(base, now), text, sizeof text);
    report("font_out_of_range_screen=%s", text);
}

int run_cells() {
    HANDLE initial = open_active_buffer();
    check_before_init(initial);

    report("init=%d", os_init() != 0);
    HANDLE screen = open_active_buffer();
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(screen, &info);
    report("buffer_size=%dx%d", info.dwSize.X, info.dwSize.Y);

    // One yellow A in the top-left cell and nothing else.
    screen_copy expected;
    fill_screen(screen, 1, &expected);
    int result = os_put_font(65, 0x0E, 0, 0);
    expected.at(0, 0) = make_cell('A', 0x0E);
    report_write("font_a", screen, expected, result);

    // A cell in the middle and the bottom-right cell.
    fill_screen(screen, 2, &expected);
    result = os_put_font('m', 0x2C, 40, 12) && os_put_font('z', 0x9F, expected.width - 1,
                                                            expected.height - 1);
    expected.at(40, 12) = make_cell('m', 0x2C);
    expected.at(expected.width - 1, expected.height - 1) = make_cell('z', 0x9F);
    report_write("font_middle_and_corner", screen, expected, result);

    // A negative tile draws nothing.
    fill_screen(screen, 3, &expected);
    os_put_tile(-1, 1, 2, 3, 'B', 0x1F, 5, 5);
    os_put_tile(-1, 0, 0, 0, 'B', 0x1F, 0, 0);
    report_write("tile_negative", screen, expected, 0);

    // Any other tile is its text fallback, whatever the three unread arguments.
    fill_screen(screen, 4, &expected);
    result = os_put_tile(0, 0, 0, 0, 'C', 0x2E, 10, 3);
    expected.at(10, 3) = make_cell('C', 0x2E);
    report_write("tile_0", screen, expected, result);

    fill_screen(screen, 5, &expected);
    result = os_put_tile(37, -1, INTPTR_MAX, 12345, 'D', 0x4B, 70, 20);
    expected.at(70, 20) = make_cell('D', 0x4B);
    report_write("tile_37", screen, expected, result);

    // The same tile and the same font write give the same cell.
    fill_screen(screen, 6, &expected);
    os_put_font(0xE9, 0x5A, 3, 4);
    screen_copy by_font;
    read_screen(screen, &by_font);
    fill_screen(screen, 6);
    result = os_put_tile(37, 99, 98, 97, 0xE9, 0x5A, 3, 4);
    expected.at(3, 4) = make_cell(0xE9, 0x5A);
    report_write("tile_like_font", screen, by_font, result);
    report_write("tile_like_font_cell", screen, expected, result);

    check_banner(screen);
    check_out_of_range(screen);
    report("done=1");
    return 0;
}

}  // namespace

GAME_ENTRY {
    const char* scenario = argc > 1 ? argv[1] : "";
    if (std::strcmp(scenario, "cells") == 0) return run_cells();
    report("unknown scenario <%s>", scenario);
    return 3;
}
