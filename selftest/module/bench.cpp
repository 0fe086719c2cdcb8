// The bench scenario: times the host's services against the same console work
// done directly on the platform, in this one process, the two sides taking
// turns so that drift and the neighbours' load fall on both alike. Every
// result is a figure "key=value" (check.h); the first gives the units.
//
// An argument "quick" divides every count by ten (for trying the bench out);
// "window" times only the cell write and the empty poll, for a second run in
// Wine's console window beside the one in a terminal.
#include <algorithm>
#include <cstring>

#include "module.h"
#include "os_screen.h"

namespace {

constexpr int max_samples = 1000;
int scale = 1;  // 10 in quick mode

// The host's private buffer, through the host's own handle (host_buffer.h).
HANDLE game_buffer = INVALID_HANDLE_VALUE;
int columns = 80;
int rows = 25;

struct summary {
    double min, median, max, mean;
};

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

// min/median/max of NAME's SIDE ("_host_spread", ...).
void spread_figure(const char* name, const char* side, const double* values, int count) {
    const summary s = summarise(values, count);
    figure("%s%s=%.1f/%.1f/%.1f", name, side, s.min, s.median, s.max);
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

// The median over the rounds of host / direct within each round: the two
// sides of one round ran back to back, so load that comes and goes cancels.
void pair_ratio_figure(const char* name, int rounds) {
    static double ratios[max_samples];
    for (int i = 0; i < rounds; ++i) ratios[i] = ratio(lasted_ms[0][i], lasted_ms[1][i]);
    figure("%s_pair_ratio=%.3f", name, summarise(ratios, rounds).median);
}

// Whole screens, one of each side a round, in milliseconds: each side's mean
// and min/median/max, the ratio of the means and the paired ratio.
void whole_screen_figures(const char* name, int rounds) {
    const double host = summarise(lasted_ms[0], rounds).mean, direct = summarise(lasted_ms[1], rounds).mean;
    figure("%s_host_ms=%.2f", name, host);
    figure("%s_direct_ms=%.2f", name, direct);
    figure("%s_ratio=%.3f", name, ratio(host, direct));
    spread_figure(name, "_host_spread", lasted_ms[0], rounds);
    spread_figure(name, "_direct_spread", lasted_ms[1], rounds);
    pair_ratio_figure(name, rounds);
}

constexpr int whole_screens = 0;

// ROUNDS rounds of BLOCK calls of the host's and of the direct side, taking
// turns, each call getting its number. With DIGITS whole_screens, the figures
// are whole_screen_figures'; else the count, each side's mean and median per
// call (µs, with DIGITS decimals), the ratio of the means and the paired one.
template <typename HostCall, typename DirectCall>
void compare(const char* name, int rounds, int block, int digits, HostCall host_call,
             DirectCall direct_call) {
    take_turns(rounds, 2, [&](int kind, int r) {
        for (int n = 0; n < block; ++n) {
            if (kind == 0) host_call(r * block + n);
            else direct_call(r * block + n);
        }
    });
    if (digits == whole_screens) return whole_screen_figures(name, rounds);
    for (double* side : lasted_ms)
        for (int r = 0; r < rounds; ++r) side[r] *= 1000.0 / block;
    const summary host = summarise(lasted_ms[0], rounds), direct = summarise(lasted_ms[1], rounds);
    figure("%s_count=%d", name, rounds * block);
    figure("%s_host_mean=%.*f", name, digits, host.mean);
    figure("%s_direct_mean=%.*f", name, digits, direct.mean);
    figure("%s_ratio=%.3f", name, ratio(host.mean, direct.mean));
    figure("%s_host_block_median=%.*f", name, digits, host.median);
    figure("%s_direct_block_median=%.*f", name, digits, direct.median);
    pair_ratio_figure(name, rounds);
}

BOOL write_cell_direct(int char_code, int attr, int x, int y) {
    CHAR_INFO cell = make_cell(static_cast<unsigned char>(char_code), static_cast<WORD>(attr));
    const SHORT column = static_cast<SHORT>(x), row = static_cast<SHORT>(y);
    SMALL_RECT region = {column, row, column, row};
    return WriteConsoleOutputA(game_buffer, &cell, COORD{1, 1}, COORD{0, 0}, &region);
}

// Cell write: 20,000 os_put_font calls against as many one-cell
// WriteConsoleOutputA calls, in blocks of 20 (short, so that a burst of load
// from elsewhere falls on both sides). Every write changes its cell: the sweep
// walks the screen and each pass brings a new character.
void bench_cell_write() {
    const int screen = columns * rows;
    int failures = 0;
    compare("cell", 20000 / 20 / scale, 20, 2,
        [&](int i) {
            const int cell = i % screen, pass = i / screen;
            failures += !os_put_font('a' + pass % 26, 0x0A, cell % columns, cell / columns);
        },
        [&](int i) {
            const int cell = i % screen, pass = i / screen;
            failures += !write_cell_direct('A' + pass % 26, 0x0B, cell % columns, cell / columns);
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
        if (kind == 2) {
            std::fill_n(screen, columns * rows, make_cell(static_cast<unsigned char>(char_code), 0x1E));
            const COORD size = {static_cast<SHORT>(columns), static_cast<SHORT>(rows)};
            SMALL_RECT region = {0, 0, static_cast<SHORT>(columns - 1), static_cast<SHORT>(rows - 1)};
            WriteConsoleOutputA(game_buffer, screen, size, COORD{0, 0}, &region);
            return;
        }
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x)
                if (kind == 0) os_put_font(char_code, 0x1E, x, y);
                else write_cell_direct(char_code, 0x1E, x, y);
    });
    figure("screen_size=%dx%d", columns, rows);
    figure("screen_reps=%d", reps);
    figure("screen_one_call_ms=%.3f", summarise(lasted_ms[2], reps).mean);
    whole_screen_figures("screen", reps);
}

// The kit's back buffer (os_screen.h) against writing its cells with
// os_put_font: a whole screen, which a flush after os_screen_forget_area writes
// cell by cell; a frame in which three cells change (a step: the old cell, the
// new one, a digit of the status line), flushed, against the same three
// os_put_font calls; and the flush of an unchanged frame, which writes nothing:
// its comparison of the 2,000 cells is all the back buffer adds.
os_screen back_buffer;

void bench_back_buffer() {
    os_screen_init(&back_buffer);
    int written = 0;
    compare("back_buffer_screen", std::max(2, 8 / scale), 1, whole_screens,
        [&](int i) {
            os_screen_fill(&back_buffer, 'a' + i % 26, 0x1E, 0, 0, columns, rows);
            os_screen_forget_area(&back_buffer, 0, 0, columns, rows);
            written = os_screen_flush(&back_buffer, nullptr);
        },
        [](int i) {
            for (int y = 0; y < rows; ++y)
                for (int x = 0; x < columns; ++x) os_put_font('A' + i % 26, 0x1E, x, y);
        });
    figure("back_buffer_screen_written=%d", written);

    compare("back_buffer_frame", 40 / scale, 20, 1,
        [](int i) {
            os_screen_put(&back_buffer, 'a' + i % 26, 0x0A, i % 70, 5);
            os_screen_put(&back_buffer, 'a' + i % 26, 0x0A, i % 70 + 1, 6);
            os_screen_put(&back_buffer, '0' + i % 10, 0x0B, 75, 24);
            os_screen_flush(&back_buffer, nullptr);
        },
        [](int i) {
            os_put_font('A' + i % 26, 0x0A, i % 70, 7);
            os_put_font('A' + i % 26, 0x0A, i % 70 + 1, 8);
            os_put_font('0' + i % 10, 0x0B, 76, 24);
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
    struct painted {
        int x, y;
        WORD attr;
    };
    std::vector<painted> cells;
    for (int y = banner::top; y <= banner::bottom && y < shown.height; ++y)
        for (int x = banner::left; x <= banner::right && x < shown.width; ++x)
            if (cell_char(shown.at(x, y)) == ' ') cells.push_back({x, y, shown.at(x, y).Attributes});
    figure("banner_cells=%d", static_cast<int>(cells.size()));
    compare("banner", std::max(2, 20 / scale), 1, whole_screens,
        [](int) {
            os_display_title(1);
            os_display_title(0);
        },
        [&](int) {
            for (const painted& c : cells) write_cell_direct(' ', c.attr, c.x, c.y);
            for (const painted& c : cells) write_cell_direct(' ', banner::erased, c.x, c.y);
        });
}

// Poll: os_get_input on an empty queue against Sleep(1) and one
// GetNumberOfConsoleInputEvents, in blocks of 50.
void bench_poll() {
    HANDLE input = fresh_input();
    int keys_seen = 0;
    int records_waiting = 0;
    compare("poll", std::max(2, 40 / scale), 50, 1,
        [&](int) {
            int key = 0, character = 0;
            os_get_input(&key, &character);
            keys_seen += key != 0 || character != 0;
        },
        [&](int) {
            Sleep(1);
            records_waiting += waiting_records(input) != 0;
        });
    figure("poll_keys_seen=%d", keys_seen);
    figure("poll_records_waiting=%d", records_waiting);
}

// os_pause keeps its mark in double precision and reads the clock in extended
// precision (as documented for the service). Of the next 1000 start ticks, how
// many see a difference of exactly 40 ticks come out as 39 ms: those pauses
// last one tick longer. Same arithmetic, done here on its own.
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

// Pause: 200 os_pause calls against 200 of the platform's own 40 ms wait
// (Sleep(1) until the tick count has moved 40), and of that wait making the
// console query each poll of os_pause makes, taking turns; then 100 more
// os_pause calls on their own for the distribution. Each is timed by the tick
// count and by the performance counter (lasted_ms).
void bench_pause() {
    const int rounds = 200 / scale, alone = 100 / scale;
    static double ticks[3][max_samples];
    static double returned[max_samples];
    const char* const kinds[] = {"pause_host", "pause_sleep", "pause_query"};
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
    take_turns(rounds, 3, pause_kind);
    figure("pause_count=%d", rounds);
    const auto median = [&](const double* values) { return summarise(values, rounds).median; };
    for (int kind = 0; kind < 3; ++kind) {
        spread_figure(kinds[kind], "_ticks", ticks[kind], rounds);
        spread_figure(kinds[kind], "_qpc", lasted_ms[kind], rounds);
        if (kind == 0) spread_figure(kinds[0], "_returned", returned, rounds);
        if (kind == 0) continue;
        figure("%s_ticks_ratio=%.3f", kinds[kind], ratio(median(ticks[0]), median(ticks[kind])));
        figure("%s_qpc_ratio=%.3f", kinds[kind], ratio(median(lasted_ms[0]), median(lasted_ms[kind])));
    }
    figure("pause_longer_than_returned=%d", longer_than_returned);
    figure("pause_tick_40_reads_39=%d/1000", ticks_40_reading_39());

    take_turns(alone, 1, pause_kind);
    figure("pause_alone_count=%d", alone);
    spread_figure("pause_alone", "_ticks", ticks[0], alone);
    spread_figure("pause_alone", "_qpc", lasted_ms[0], alone);
    spread_figure("pause_alone", "_returned", returned, alone);
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
    if (size.X > 0) {
        columns = std::min<int>(80, size.X);
        rows = std::min<int>(25, size.Y);
    }
    figure("units=microseconds per call, unless the key ends in _ms (milliseconds), _ns "
           "(nanoseconds), _ticks (tick-count milliseconds) or _qpc (performance-counter "
           "milliseconds); a _ratio is the host's time over the direct one's; a _spread is "
           "min/median/max; pause_tick_40_reads_39 counts, of 1000 start ticks, those at which "
           "os_pause's arithmetic takes 40 ticks for 39 ms (such a pause lasts a tick longer)");
    if (!window) bench_host_overhead();
    bench_cell_write();
    if (!window) {
        bench_full_screen();
        bench_back_buffer();
        bench_banner();
    }
    bench_poll();
    if (!window) bench_pause();
    figure("done=1");
    return 0;
}
