// Cell output: single cells, tiles by their text fallback, and the title banner.
#include "console_state.h"
#include "os_services.h"
#include "title_art.h"

// "UMBER DEEP" in block capitals over an underline flourish.
const char title_art[title_art_rows * title_art_columns + 1] =
    "# # # # ### ## ###  ##  ## ## ###"
    "# # ### # # #  # #  # # #  #  # #"
    "# # ### ##  ## ##   # # ## ## ###"
    "# # # # # # #  # #  # # #  #  #  "
    "### # # ### ## # #  ##  ## ## #  "
    "                                 "
    " ############# ### ############# "
    "#             # # #             #";

static_assert(sizeof(title_art) == title_art_rows * title_art_columns + 1,
              "the banner is 8 rows of 33 cells");

namespace {

constexpr int max_coordinate = 32767;  // the console addresses cells with 16 bits

bool coordinate_in_range(int value) { return value >= 0 && value <= max_coordinate; }

// The console hands back the rectangle it really wrote; a clipped or empty one
// that misses the cell means nothing was written.
bool region_covers(const SMALL_RECT& region, SHORT x, SHORT y) {
    return region.Left <= x && x <= region.Right && region.Top <= y && y <= region.Bottom;
}

}  // namespace

extern "C" int os_put_font(int char_code, int attr, int x, int y) {
    if (console_handles.screen_buffer == nullptr) return 0;
    if (!coordinate_in_range(x) || !coordinate_in_range(y)) return 0;

    CHAR_INFO cell;
    cell.Char.UnicodeChar = static_cast<WCHAR>(char_code & 0xFFFF);
    cell.Attributes = static_cast<WORD>(attr & 0xFFFF);
    const SHORT column = static_cast<SHORT>(x);
    const SHORT row = static_cast<SHORT>(y);
    const COORD size = {1, 1};
    const COORD source = {0, 0};
    SMALL_RECT region = {column, row, column, row};
    if (!WriteConsoleOutputA(console_handles.screen_buffer, &cell, size, source, &region))
        return 0;
    return region_covers(region, column, row) ? 1 : 0;
}

extern "C" int os_put_tile(int tile, intptr_t, intptr_t, intptr_t, int char_code, int attr,
                           int x, int y) {
    if (tile < 0) return 0;
    return os_put_font(char_code, attr, x, y);
}

namespace {

constexpr int banner_dark = 0x80;   // background intensity alone: dark grey
constexpr int banner_light = 0x70;  // background red, green and blue: light grey
constexpr int banner_erased = 0x07; // light grey on black: a blank cell
constexpr int banner_dark_rows = 2;

int banner_attribute(bool show, int art_row) {
    if (!show) return banner_erased;
    return art_row < banner_dark_rows ? banner_dark : banner_light;
}

}  // namespace

extern "C" void os_display_title(int show) {
    for (int row = 0; row < title_art_rows; ++row) {
        const int attr = banner_attribute(show != 0, row);
        for (int column = 0; column < title_art_columns; ++column) {
            if (title_art[row * title_art_columns + column] == ' ') continue;
            os_put_font(' ', attr, title_art_left + column, title_art_top + row);
        }
    }
}
