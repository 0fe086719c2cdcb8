// The bench scenario: times the host's services against the same console work
// done directly on the platform, in this one process, the two sides taking
// turns so that drift and the neighbours' load fall on both alike. Every
// result is a figure "key=value" (check.h); the first gives the units.
// "quick" divides every count by ten; "window" times only the cell write and
// the empty poll, for a second run in Wine's console window.
#include <algorithm>
#include <cstring>

#include "module.h"
#include "os_screen.h"

namespace {

constexpr int max_samples = 1000;
int scale = 1;  // 10 in quick mode

// The host's private buffer, through the host's own handle (host_buffer.h).
HANDLE game_buffer = INVALID_HANDLE_VALUE;
int columns = 80, rows = 25;

struct summary { double min, median, max, mean; };

summary summarise(const double* values, int count) {
    static double sorted[max_samples];
    std::copy(values, values + count, sorted);
    std::sort(sorted, sorted + count);
    double sum = 0;
    for (int i = 0; i < count; ++i) sum += values[i];
    const double median = count % 2 ? sorted[count / 2] : (sorted[count / 2 - 1] + sorted[count / 2]) / 2;
    return {sorted[0], median, sorted[count - 1], sum / count};
}

double ratio(double host, double direct) { return direct > 0 ? host / direct : 0; }

// NAME_SIDE_WHAT: min/median/max of COUNT values.
void spread_figure(const char* name, const char* side, const char* what, const double* values, int count) {
    const summary s = summarise(values, count);
    figure("%s_%s_%s=%.1f/%.1f/%.1f", name, side, what, s.min, s.median, s.max);
}

// Milliseconds by kind of work and round: kind 0 the host's, 1 the direct one.
double lasted_ms[3][max_samples];

// ROUNDS rounds in which KINDS kinds of work take turns, each round starting
// with the next kind; work(kind, round) does one kind's work.
template <typename Work>
void take_turns(int rounds, int kinds, Work work) {
    for (int r = 0; r < rounds; ++r)
        for (int turn = 0; turn < kinds; ++turn) {
            const int kind = (turn + r) % kinds;
            const double start = counter_ms();
            work(kind, r);
            lasted_ms[kind][r] = counter_ms() - start;
        }
}

constexpr int whole_screens = 0;

// The figures of ROUNDS rounds of the host's side and the direct one: with
// DIGITS whole_screens, of whole screens, each side's mean (ms) and spread;
// else of BLOCK calls, their count and each side's mean and median per call
// (µs, DIGITS decimals). Then the ratio of the means, and the median of each
// round's own ratio: the two sides ran back to back, so passing load cancels.
void side_figures(const char* name, int rounds, int block, int digits) {
    const char* const sides[] = {"host", "direct"};
    const bool whole = digits == whole_screens;
    if (!whole) figure("%s_count=%d", name, rounds * block);
    summary of[2];
    for (int side = 0; side < 2; ++side) {
        double* const ms = lasted_ms[side];
        for (int r = 0; r < rounds && !whole; ++r) ms[r] *= 1000.0 / block;
        of[side] = summarise(ms, rounds);
        figure("%s_%s_%s=%.*f", name, sides[side], whole ? "ms" : "mean", whole ? 2 : digits, of[side].mean);
        if (whole) spread_figure(name, sides[side], "spread", ms, rounds);
        else figure("%s_%s_block_median=%.*f", name, sides[side], digits, of[side].median);
    }
    figure("%s_ratio=%.3f", name, ratio(of[0].mean, of[1].mean));
    static double ratios[max_samples];
    for (int r = 0; r < rounds; ++r) ratios[r] = ratio(lasted_ms[0][r], lasted_ms[1][r]);
    figure("%s_pair_ratio=%.3f", name, summarise(ratios, rounds).median);
}

// ROUNDS rounds of BLOCK calls call(side, number) of the host's side (0) and
// the direct one (1), taking turns, each call getting its number.
template <typename Call>
void compare(const char* name, int rounds, int block, int digits, Call call) {
    take_turns(rounds, 2, [&](int side, int r) {
        for (int n = 0; n < block; ++n) call(side, r * block + n);
    });
    side_figures(name, rounds, block, digits);
}

BOOL write_cell_direct(int char_code, int attr, SHORT x, SHORT y) {
    CHAR_INFO cell = make_cell(static_cast<unsigned char>(char_code), static_cast<WORD>(attr));
    SMALL_RECT region = {x, y, x, y};
    return WriteConsoleOutputA(game_buffer, &cell, COORD{1, 1}, COORD{0, 0}, &region);
}

// The whole screen cell by cell, DIRECT or through os_put_font.
void draw_cells(bool direct, int char_code, int attr) {
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x)
            if (direct) write_cell_direct(char_code, attr, x, y);
            else os_put_font(char_code, attr, x, y);
}

// Cell write: 20,000 os_put_font calls against as many one-cell
// WriteConsoleOutputA calls, in blocks of 20 (short, so that a burst of load
// falls on both sides). The sweep walks the screen, each pass a new character.
void bench_cell_write() {
    const int screen = columns * rows;
    int failures = 0;
    compare("cell", 20000 / 20 / scale, 20, 2, [&](int direct, int i) {
        const int cell = i % screen, letter = i / screen % 26, x = cell % columns, y = cell / columns;
        failures += direct ? !write_cell_direct('A' + letter, 0x0B, x, y) : !os_put_font('a' + letter, 0x0A, x, y);
    });
    figure("cell_failures=%d", failures);
}

// The host's own share of a cell write: os_put_font with a column the console
// cannot address returns before any platform call.
void bench_host_overhead() {
    const int calls = 1000000 / scale;
    int written = 0;
    const double start = counter_ms();
    for (int i = 0; i < calls; ++i) written += os_put_font('x', 0x07, -1 - (i & 1), 0);
    figure("host_reject_ns=%.1f", (counter_ms() - start) * 1000000 / calls);
    figure("host_reject_written=%d", written);
}

// Full screen: one redraw, cell by cell, through the host and directly; and,
// for scale, the same screen in a single call.
void bench_full_screen() {
    const int reps = std::max(2, 8 / scale);
    static CHAR_INFO screen[200 * 100];
    take_turns(reps, 3, [](int kind, int r) {
        const int char_code = '0' + (r * 3 + kind) % 10;
        if (kind < 2) return draw_cells(kind == 1, char_code, 0x1E);
        std::fill_n(screen, columns * rows, make_cell(static_cast<unsigned char>(char_code), 0x1E));
        SMALL_RECT region = {0, 0, static_cast<SHORT>(columns - 1), static_cast<SHORT>(rows - 1)};
        WriteConsoleOutputA(game_buffer, screen, COORD{static_cast<SHORT>(columns), static_cast<SHORT>(rows)},
                            COORD{0, 0}, &region);
    });
    figure("screen_size=%dx%d", columns, rows);
    figure("screen_reps=%d", reps);
    figure("screen_one_call_ms=%.3f", summarise(lasted_ms[2], reps).mean);
    side_figures("screen", reps, 1, whole_screens);
}

// The kit's back buffer (os_screen.h) against os_put_font: a whole screen,
// flushed after os_screen_forget_area; a frame of three changed cells (a step's
// old and new cell, a status digit), flushed; and the flush of an unchanged
// frame, which writes nothing: its comparison of the 2,000 cells is all the
// back buffer adds.
os_screen back_buffer;

void bench_back_buffer() {
    os_screen_init(&back_buffer);
    int written = 0;
    compare("back_buffer_screen", std::max(2, 8 / scale), 1, whole_screens, [&](int direct, int i) {
        if (direct) return draw_cells(false, 'A' + i % 26, 0x1E);
        os_screen_fill(&back_buffer, 'a' + i % 26, 0x1E, 0, 0, columns, rows);
        os_screen_forget_area(&back_buffer, 0, 0, columns, rows);
        written = os_screen_flush(&back_buffer, nullptr);
    });
    figure("back_buffer_screen_written=%d", written);
    compare("back_buffer_frame", 40 / scale, 20, 1, [](int direct, int i) {
        if (direct) {
            os_put_font('A' + i % 26, 0x0A, i % 70, 7);
            os_put_font('A' + i % 26, 0x0A, i % 70 + 1, 8);
            os_put_font('0' + i % 10, 0x0B, 76, 24);
            return;
        }
        os_screen_put(&back_buffer, 'a' + i % 26, 0x0A, i % 70, 5);
        os_screen_put(&back_buffer, 'a' + i % 26, 0x0A, i % 70 + 1, 6);
        os_screen_put(&back_buffer, '0' + i % 10, 0x0B, 75, 24);
        os_screen_flush(&back_buffer, nullptr);
    });
    const int flushes = 10000 / scale;
    written = 0;
    const double start = counter_ms();
    for (int i = 0; i < flushes; ++i) written += os_screen_flush(&back_buffer, nullptr);
    figure("unchanged_flush_us=%.2f", (counter_ms() - start) * 1000 / flushes);
    figure("unchanged_flush_written=%d", written);
}

// The banner: os_display_title(1) then (0), against writing the same cells
// directly: those the host painted over the pattern, which has no spaces.
void bench_banner() {
    fill_screen(game_buffer, 0);
    os_display_title(1);
    screen_copy shown;
    read_screen(game_buffer, &shown);
    os_display_title(0);
    std::vector<COORD> cells;
    for (SHORT y = banner::top; y <= banner::bottom && y < shown.height; ++y)
        for (SHORT x = banner::left; x <= banner::right && x < shown.width; ++x)
            if (cell_char(shown.at(x, y)) == ' ') cells.push_back({x, y});
    figure("banner_cells=%d", static_cast<int>(cells.size()));
    compare("banner", std::max(2, 20 / scale), 1, whole_screens, [&](int direct, int) {
        for (const int title : {1, 0}) {  // shown, then erased
            if (!direct) os_display_title(title);
            else
                for (const COORD c : cells)
                    write_cell_direct(' ', title ? shown.at(c.X, c.Y).Attributes : banner::erased, c.X, c.Y);
        }
    });
}

// Poll: os_get_input on an empty queue against Sleep(1) and one
// GetNumberOfConsoleInputEvents, in blocks of 50.
void bench_poll() {
    HANDLE input = fresh_input();
    int keys_seen = 0, records_waiting = 0;
    compare("poll", std::max(2, 40 / scale), 50, 1, [&](int direct, int) {
        if (direct) {
            Sleep(1);
            records_waiting += waiting_records(input) != 0;
            return;
        }
        int key = 0, character = 0;
        os_get_input(&key, &character);
        keys_seen += key != 0 || character != 0;
    });
    figure("poll_keys_seen=%d", keys_seen);
    figure("poll_records_waiting=%d", records_waiting);
}

// os_pause keeps its mark in double precision and reads the clock in extended
// precision (as documented for the service). Of the next 1000 start ticks, how
// many, by the same arithmetic, see 40 ticks as 39 ms: those pauses last a tick longer.
int ticks_40_reading_39() {
    const DWORD now = GetTickCount();
    int count = 0;
    for (DWORD t = now; t != now + 1000; ++t) {
        // Stored, as the host stores its mark: on x87 a register would keep it long.
        volatile double mark = static_cast<double>(t / 1000.0L);
        const long double later = static_cast<DWORD>(t + 40) / 1000.0L;
        if (static_cast<int>((later - mark) * 1000) < 40) ++count;
    }
    return count;
}

// Pause: 200 os_pause calls against, in turns, 200 of the platform's own 40 ms
// wait (Sleep(1) until the tick count has moved 40) and of that wait with the
// console query of each poll of os_pause; then 100 more os_pause calls alone.
// Each is timed by the tick count and by the performance counter (lasted_ms).
void bench_pause() {
    const int rounds = 200 / scale, alone = 100 / scale;
    static double ticks[3][max_samples], returned[max_samples];
    int longer_than_returned = 0;
    auto pause_kind = [&](int kind, int r) {
        const DWORD tick_start = GetTickCount();
        if (kind == 0) returned[r] = os_pause();
        while (kind > 0 && GetTickCount() - tick_start < 40) {
            Sleep(1);
            if (kind == 2) waiting_records(console_input());
        }
        ticks[kind][r] = GetTickCount() - tick_start;
        if (kind == 0 && ticks[0][r] > returned[r]) ++longer_than_returned;
    };
    // The spreads of KIND's COUNT pauses by each clock, and of what os_pause returned.
    const auto spreads = [&](const char* side, int kind, int count) {
        spread_figure("pause", side, "ticks", ticks[kind], count);
        spread_figure("pause", side, "qpc", lasted_ms[kind], count);
        if (kind == 0) spread_figure("pause", side, "returned", returned, count);
    };
    take_turns(rounds, 3, pause_kind);
    figure("pause_count=%d", rounds);
    const auto median = [&](const double* values) { return summarise(values, rounds).median; };
    const char* const kinds[] = {"host", "sleep", "query"};
    for (int kind = 0; kind < 3; ++kind) {
        spreads(kinds[kind], kind, rounds);
        if (kind == 0) continue;
        figure("pause_%s_ticks_ratio=%.3f", kinds[kind], ratio(median(ticks[0]), median(ticks[kind])));
        figure("pause_%s_qpc_ratio=%.3f", kinds[kind], ratio(median(lasted_ms[0]), median(lasted_ms[kind])));
    }
    figure("pause_longer_than_returned=%d", longer_than_returned);
    figure("pause_tick_40_reads_39=%d/1000", ticks_40_reading_39());
    take_turns(alone, 1, pause_kind);
    figure("pause_alone_count=%d", alone);
    spreads("alone", 0, alone);
}

}  // namespace

int run_bench(int argc, char** argv) {
    bool window = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "quick") == 0) scale = 10;
        if (std::strcmp(argv[i], "window") == 0) window = true;
    }
    os_init();
    game_buffer = host_buffer();
    const COORD size = buffer_size(game_buffer);
    columns = size.X > 0 ? std::min<int>(80, size.X) : columns;
    rows = size.X > 0 ? std::min<int>(25, size.Y) : rows;
    figure("units=microseconds per call, unless the key ends in _ms (milliseconds), _ns "
           "(nanoseconds), _ticks (tick-count milliseconds) or _qpc (performance-counter "
           "milliseconds); a _ratio is the host's time over the direct one's; a _spread is "
           "min/median/max; pause_tick_40_reads_39 counts, of 1000 start ticks, those at which "
           "os_pause's arithmetic takes 40 ticks for 39 ms (such a pause lasts a tick longer)");
    void (*const benches[])() = {bench_host_overhead, bench_cell_write, bench_full_screen, bench_back_buffer,
                                 bench_banner, bench_poll, bench_pause};
    for (const auto bench : benches)  // in a window, the cell write and the poll alone
        if (!window || bench == bench_cell_write || bench == bench_poll) bench();
    figure("done=1");
    return 0;
}
