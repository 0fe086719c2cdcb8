// The services under values a careless game module might pass: coordinates far
// outside the buffer, characters and attributes wider than their fields, null
// out-pointers, calls before os_init, os_init over and over and the banner
// toggled a thousand times. Scenarios (argv[1]): "hostile", "banner".
#include <climits>
#include <cstdint>
#include <cstring>

#include "os_services.h"
#include "probe.h"

namespace {

void report_screen(const char* name, HANDLE screen, const screen_copy& expected) {
    screen_copy now;
    char text[160];
    if (!read_screen(screen, &now)) {
        report("%s=readback_failed", name);
        return;
    }
    describe_diff(compare_screens(expected, now), text, sizeof text);
    report("%s=%s", name, text);
}

// Before os_init: no buffer and no input handle, so nothing is written or read.
void check_before_init(HANDLE initial, HANDLE input) {
    screen_copy before;
    fill_screen(initial, 50, &before);
    report("before_font=%d", os_put_font('A', 0x0E, 0, 0));
    report("before_tile=%d", os_put_tile(5, 0, 0, 0, 'A', 0x0E, 1, 0));
    os_display_title(1);
    os_display_title(0);
    report_screen("before_screen", initial, before);

    FlushConsoleInputBuffer(input);
    const INPUT_RECORD key = key_record('K', 'k', 0);
    DWORD written = 0;
    WriteConsoleInputA(input, &key, 1, &written);
    int code = 55, character = 66;
    os_get_input(&code, &character);
    report("before_input=%d/%d", code, character);
    report("before_input_left=%lu", static_cast<unsigned long>(waiting_records(input)));
    os_get_input(nullptr, nullptr);
    report("before_input_nulls=survived");
    FlushConsoleInputBuffer(input);
}

// Coordinates: only 0..32767 reach the console, and nothing outside the buffer
// may land in it (a coordinate narrowed to 16 bits would, e.g. 65536 -> 0).
void check_coordinates(HANDLE screen) {
    screen_copy base;
    fill_screen(screen, 51, &base);
    const int values[] = {INT_MIN, -65536, -1, 32767, 32768, 65535, 65536, 65536 + 3, INT_MAX};
    int nonzero_out_of_range = 0;
    char first[96] = "none";
    for (int v : values) {
        const int font_x = os_put_font('Z', 0x4F, v, 0);
        const int font_y = os_put_font('Z', 0x4F, 0, v);
        const int font_xy = os_put_font('Z', 0x4F, v, v);
        const int tile_x = os_put_tile(0, 0, 0, 0, 'Z', 0x4F, v, 3);
        const int tile_y = os_put_tile(INT_MAX, -1, -1, -1, 'Z', 0x4F, 3, v);
        os_put_tile(INT_MIN, 0, 0, 0, 'Z', 0x4F, 3, 3);
        if (v == 32767) {
            report("in_range_32767=font_x=%d font_y=%d font_xy=%d tile_x=%d tile_y=%d", font_x,
                   font_y, font_xy, tile_x, tile_y);
            continue;
        }
        if ((font_x || font_y || font_xy || tile_x || tile_y) && nonzero_out_of_range++ == 0)
            std::snprintf(first, sizeof first, "v=%d:%d,%d,%d,%d,%d", v, font_x, font_y, font_xy,
                          tile_x, tile_y);
    }
    report("out_of_range_results=nonzero=%d first=%s", nonzero_out_of_range, first);
    report_screen("coordinates_screen", screen, base);
}

// Characters keep their low byte, attributes their low 16 bits.
void check_values(HANDLE screen) {
    screen_copy expected;
    fill_screen(screen, 52, &expected);
    struct value_case {
        int character, attr, x;
        unsigned char want_char;
        WORD want_attr;
    };
    const value_case cases[] = {
        {0x141, 0x1F, 1, 0x41, 0x1F},       {-1, 0x1F, 2, 0xFF, 0x1F},
        {0x7FFFFF61, 0x2E, 3, 0x61, 0x2E},  {INT_MIN + 'b', 0x3D, 4, 'b', 0x3D},
        {'c', 0x1004F, 5, 'c', 0x004F},     {'d', 0x1234F, 6, 'd', 0x234F},
        {'e', -1, 7, 'e', 0xFFFF},          {'f', INT_MIN + 0x1E, 8, 'f', 0x1E},
        {0x100, 0x0A, 9, 0x00, 0x0A},
    };
    int results = 0;
    for (const value_case& c : cases) {
        results += os_put_font(c.character, c.attr, c.x, 2) != 0;
        results += os_put_tile(9, 0, 0, 0, c.character, c.attr, c.x, 3) != 0;
        expected.at(c.x, 2) = make_cell(c.want_char, c.want_attr);
        expected.at(c.x, 3) = make_cell(c.want_char, c.want_attr);
    }
    report("value_results=%d/%d", results, 2 * static_cast<int>(sizeof cases / sizeof cases[0]));
    report_screen("values_screen", screen, expected);
    screen_copy now;
    read_screen(screen, &now);
    report("attr_0x1234F_reads_back=%04x", now.at(6, 2).Attributes);
    report("attr_minus1_reads_back=%04x", now.at(7, 2).Attributes);
}

// Null out-pointers: the other output is still written and nothing crashes.
void check_null_pointers(HANDLE input) {
    DWORD written = 0;
    FlushConsoleInputBuffer(input);
    INPUT_RECORD key = key_record('Q', 'q', 0);
    WriteConsoleInputA(input, &key, 1, &written);
    int character = -7;
    os_get_input(nullptr, &character);
    report("null_key=%d left=%lu", character, static_cast<unsigned long>(waiting_records(input)));

    key = key_record(VK_UP, 0, 0);
    WriteConsoleInputA(input, &key, 1, &written);
    int code = -7;
    os_get_input(&code, nullptr);
    report("null_char=%d left=%lu", code, static_cast<unsigned long>(waiting_records(input)));

    key = key_record('Z', 'z', SHIFT_PRESSED);
    WriteConsoleInputA(input, &key, 1, &written);
    os_get_input(nullptr, nullptr);
    report("null_both_left=%lu", static_cast<unsigned long>(waiting_records(input)));

    key = key_record(VK_F2, 0, LEFT_ALT_PRESSED, false);
    WriteConsoleInputA(input, &key, 1, &written);
    os_get_input(nullptr, nullptr);
    os_get_input(nullptr, nullptr);  // empty queue
    code = 5;
    character = 5;
    os_get_input(&code, nullptr);
    os_get_input(nullptr, &character);
    report("null_empty=%d/%d", code, character);

    // And the next key still arrives whole.
    key = key_record(VK_F9, 0, RIGHT_ALT_PRESSED);
    WriteConsoleInputA(input, &key, 1, &written);
    os_get_input(&code, &character);
    report("null_after=%d/%d", code, character);
}

// os_init a hundred times: each call makes a new buffer active; the last one is
// where the host draws, and input still works.
void check_reinit(HANDLE input) {
    int titled = 0;
    HANDLE previous = nullptr;
    for (int i = 0; i < 100; ++i) {
        titled += os_init() != 0;
        if (i == 98) previous = open_active_buffer();
    }
    HANDLE last = open_active_buffer();
    report("reinit_results=%d", titled);

    screen_copy previous_expected;
    screen_copy last_expected;
    fill_screen(previous, 60, &previous_expected);
    fill_screen(last, 61, &last_expected);
    mark_buffer(previous, 'P');
    previous_expected.at(79, 24) = make_cell('P', 0x4F);
    report("reinit_distinct_buffers=%d", read_mark(last) != 'P');

    const int result = os_put_font('A', 0x0E, 0, 0);
    os_display_title(1);
    os_display_title(0);
    last_expected.at(0, 0) = make_cell('A', 0x0E);
    // The banner's own cells, observed on the last buffer, are blank now.
    screen_copy now;
    read_screen(last, &now);
    for (int y = 1; y <= 8; ++y)
        for (int x = 23; x <= 55; ++x)
            if (cell_char(now.at(x, y)) == ' ' && now.at(x, y).Attributes == 0x07)
                last_expected.at(x, y) = now.at(x, y);
    report("reinit_font=%d", result);
    report_screen("reinit_last_screen", last, last_expected);
    report_screen("reinit_previous_screen", previous, previous_expected);

    DWORD mode = 99;
    GetConsoleMode(last, &mode);
    report("reinit_output_mode=%lu", static_cast<unsigned long>(mode));

    FlushConsoleInputBuffer(input);
    const INPUT_RECORD key = key_record(VK_NEXT, 0, SHIFT_PRESSED);
    DWORD written = 0;
    WriteConsoleInputA(input, &key, 1, &written);
    int code = 0, character = 0;
    os_get_input(&code, &character);
    report("reinit_input=%d/%d", code, character);
}

int run_hostile() {
    HANDLE initial = open_active_buffer();
    HANDLE input = open_console_input();
    check_before_init(initial, input);
    report("init=%d", os_init() != 0);
    HANDLE screen = open_active_buffer();
    check_coordinates(screen);
    check_values(screen);
    check_null_pointers(input);
    check_reinit(input);
    report("done=1");
    return 0;
}

// The banner shown and erased 1,000 times over a pattern ends erased: its cells
// blank and every other cell as it was.
int run_banner() {
    os_init();
    HANDLE screen = open_active_buffer();

    // Learn the banner's cells from one showing.
    screen_copy base;
    fill_screen(screen, 70, &base);
    os_display_title(1);
    screen_copy once;
    read_screen(screen, &once);
    std::vector<char> banner(base.cells.size(), 0);
    int cells = 0;
    for (size_t i = 0; i < base.cells.size(); ++i)
        if (!same_cell(base.cells[i], once.cells[i])) banner[i] = 1, ++cells;
    report("banner_cells=%d", cells);

    fill_screen(screen, 71, &base);
    screen_copy shown = base;
    screen_copy erased = base;
    for (size_t i = 0; i < base.cells.size(); ++i)
        if (banner[i]) {
            shown.cells[i] = once.cells[i];
            erased.cells[i] = make_cell(' ', 0x07);
        }
    const double start = counter_ms();
    for (int i = 0; i < 1000; ++i) {
        os_display_title(i % 2 == 0 ? 1 : 0);
        if (i == 998) report_screen("toggle_last_show", screen, shown);
    }
    report("  banner: 1000 shows and erases took %.0f ms", counter_ms() - start);
    report_screen("toggle_end", screen, erased);
    report("done=1");
    return 0;
}

}  // namespace

GAME_ENTRY {
    const char* scenario = argc > 1 ? argv[1] : "";
    if (std::strcmp(scenario, "hostile") == 0) return run_hostile();
    if (std::strcmp(scenario, "banner") == 0) return run_banner();
    report("unknown scenario <%s>", scenario);
    return 3;
}
