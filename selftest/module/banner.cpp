// os_display_title: the banner shown, shown again, erased, and toggled 1,000
// times in its own scenario.
#include <string>
#include <vector>

#include "module.h"

namespace {

// Rows 0-9 of the shown banner as docs/banner-capture.txt draws them
// (banner::picture), as figures: tests/wine/test_selftest.sh compares them
// with that file.
void banner_picture_figures(const screen_copy& shown) {
    figure("banner rows below: '+' a dark grey cell, '#' a light grey one, '.' any other");
    for (int y = 0; y < 10 && y < shown.height; ++y) {
        std::string row;
        for (int x = 0; x < shown.width; ++x)
            row += banner::picture(shown.at(x, y).Char.AsciiChar, shown.at(x, y).Attributes);
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
            if (banner::covers(x, y) && cell_char(cell) == ' ' && cell.Attributes == want) {
                ++(want == banner::dark ? dark : light);
            } else if (wrong++ == 0) {
                std::snprintf(first_wrong, sizeof first_wrong, "(%d,%d)=%s", x, y, describe(cell).s);
            }
        }
    if (show == 1) banner_picture_figures(shown);
    OK(dark > 0 && light > 0, "os_display_title(%d) paints cells: %d dark grey, %d light grey",
       show, dark, light);
    OK_EQ(0, wrong,
          "os_display_title(%d): every painted cell is a space, 0x%02x on rows %d-%d, 0x%02x on "
          "rows %d-%d, within columns %d-%d; first other: %s",
          show, banner::dark, banner::top, banner::last_dark_row, banner::light,
          banner::last_dark_row + 1, banner::bottom, banner::left, banner::right, first_wrong);
    return changed;
}

screen_copy erased(const screen_copy& base, const std::vector<char>& changed) {
    screen_copy expected = base;
    for (size_t i = 0; i < expected.cells.size(); ++i)
        if (changed[i]) expected.cells[i] = make_cell(' ', banner::erased);
    return expected;
}

}  // namespace

void check_banner(HANDLE screen) {
    screen_copy base;
    const std::vector<char> first = check_shown_banner(screen, 1, &base);
    os_display_title(0);
    OK_SCREEN(screen, erased(base, first),
              "os_display_title(0) blanks exactly the painted cells to 0x%02x, all others kept",
              banner::erased);
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

// The banner shown and erased 1,000 times over the pattern: the last showing is
// the first one's picture, and the end is one erase's.
int banner_toggled(int, char**) {
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
    OK_THAT(compare_screens(first, last),
            "os_display_title(1), the 1000th time, paints the picture of the first");
    OK_SCREEN(screen, once_erased, "os_display_title(1) then (0), 1000 times, ends as one erase does");
    return 0;
}
