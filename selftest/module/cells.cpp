// os_put_font and os_put_tile, one cell each, at every kind of coordinate; and
// the inert services, which must change nothing.
#include <climits>
#include <cstdint>

#include "module.h"

namespace {

// One cell written by os_put_font and by os_put_tile: what the call passes,
// and what the cell must hold. x and y below 0 count from the right and bottom.
struct cell_case { int character, attr, x, y; unsigned char want_char; WORD want_attr; };

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
    char name[64];
    std::snprintf(name, sizeof name, "character %d, attribute 0x%x at (%d,%d)", c.character, c.attr, x, y);
    check_context cell(name);
    OK(os_put_font(c.character, c.attr, x, y) != 0, "os_put_font returns nonzero");
    OK_SCREEN(screen, expected, "os_put_font writes 0x%02x in 0x%02x there, and no other cell", c.want_char,
              c.want_attr);
    fill_screen(screen, tile_case);
    OK(os_put_tile(static_cast<int>(t[0]), t[1], t[2], t[3], c.character, c.attr, x, y) != 0,
       "os_put_tile(%d, %lld, %lld, %lld, ...) returns nonzero", static_cast<int>(t[0]),
       static_cast<long long>(t[1]), static_cast<long long>(t[2]), static_cast<long long>(t[3]));
    OK_SCREEN(screen, expected, "os_put_tile writes the same cell");
}

}  // namespace

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
    OK_EQ(0, console_mode(console_input()) & (ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT),
          "the inert services leave the input mode alone");
}
