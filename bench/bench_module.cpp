// The benchmark game module: times the host's services against the same
// console work done directly on the platform, in one process. The two sides
// run in alternating blocks, so that drift and the neighbours' load fall on
// both alike. Results go to "bench.out" in the current folder as key=value
// lines, times in microseconds unless the key says otherwise.
//
// An argument "quick" divides every count by ten (for trying the bench out);
// "window" times only the cell write and the empty poll, for a second run in
// Wine's console window beside the one in a terminal.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "os_services.h"

namespace {

void emit(const char* format, ...) {
    FILE* out = std::fopen("bench.out", "ab");
    if (out == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fputc('\n', out);
    std::fclose(out);
}

LARGE_INTEGER qpc_frequency;

long long qpc_now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double qpc_to_us(long long ticks) {
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(qpc_frequency.QuadPart);
}

struct summary {
    double min, median, max, mean;
};

constexpr int max_samples = 1000;
double sort_scratch[max_samples];

summary summarise(const double* values, int count) {
    std::copy(values, values + count, sort_scratch);
    std::sort(sort_scratch, sort_scratch + count);
    double sum = 0;
    for (int i = 0; i < count; ++i) sum += values[i];
    const double median = count % 2 ? sort_scratch[count / 2]
                                    : (sort_scratch[count / 2 - 1] + sort_scratch[count / 2]) / 2;
    return {sort_scratch[0], median, sort_scratch[count - 1], sum / count};
}

// min/median/max, as the table prints them.
void emit_spread(const char* key, const double* values, int count) {
    const summary s = summarise(values, count);
    emit("%s=%.1f/%.1f/%.1f", key, s.min, s.median, s.max);
}

// The median over the rounds of host / direct within each round: the two
// sides of one round ran back to back, so load that comes and goes cancels.
double paired_ratio_median(const double* host, const double* direct, int count) {
    static double ratios[max_samples];
    for (int i = 0; i < count; ++i) ratios[i] = direct[i] > 0 ? host[i] / direct[i] : 0;
    return summarise(ratios, count).median;
}

// The figures of a comparison timed in blocks of calls: the count, each
// side's mean and median per call, and the paired ratio of the blocks.
// `digits` is the precision of the per-call figures.
void emit_blocks(const char* name, const double* host_block_us, const double* direct_block_us,
                 int blocks, int block, int digits) {
    const summary host = summarise(host_block_us, blocks);
    const summary direct = summarise(direct_block_us, blocks);
    emit("%s_count=%d", name, blocks * block);
    emit("%s_host_mean=%.*f", name, digits, host.mean);
    emit("%s_direct_mean=%.*f", name, digits, direct.mean);
    emit("%s_host_block_median=%.*f", name, digits, host.median);
    emit("%s_direct_block_median=%.*f", name, digits, direct.median);
    emit("%s_pair_ratio=%.3f", name, paired_ratio_median(host_block_us, direct_block_us, blocks));
}

int scale = 1;  // 10 in quick mode

// The active buffer, opened after os_init: the host's private buffer.
HANDLE active_buffer = INVALID_HANDLE_VALUE;
HANDLE console_input = INVALID_HANDLE_VALUE;
int columns = 80;
int rows = 25;

BOOL write_cell_direct(int char_code, int attr, int x, int y) {
    CHAR_INFO cell;
    cell.Char.UnicodeChar = static_cast<WCHAR>(char_code & 0xFF);
    cell.Attributes = static_cast<WORD>(attr);
    const SHORT column = static_cast<SHORT>(x);
    const SHORT row = static_cast<SHORT>(y);
    SMALL_RECT region = {column, row, column, row};
    return WriteConsoleOutputA(active_buffer, &cell, COORD{1, 1}, COORD{0, 0}, &region);
}

// Cell write: 20,000 os_put_font calls against as many one-cell
// WriteConsoleOutputA calls, in alternating blocks of 20 (short, so that a
// burst of load from elsewhere falls on both sides). Every write changes its
// cell: the sweep walks the screen and each pass brings a new character.
void bench_cell_write() {
    constexpr int block = 20;
    const int blocks = 20000 / block / scale;
    static double host_block_us[max_samples];
    static double direct_block_us[max_samples];
    const int screen = columns * rows;
    int failures = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool host = (turn == 0) == (b % 2 == 0);
            const long long start = qpc_now();
            for (int n = 0; n < block; ++n) {
                const int i = b * block + n;
                const int x = i % screen % columns;
                const int y = i % screen / columns;
                const int pass = i / screen;
                if (host) {
                    if (!os_put_font('a' + pass % 26, 0x0A, x, y)) ++failures;
                } else {
                    if (!write_cell_direct('A' + pass % 26, 0x0B, x, y)) ++failures;
                }
            }
            const double per_call = qpc_to_us(qpc_now() - start) / block;
            (host ? host_block_us : direct_block_us)[b] = per_call;
        }
    }
    emit_blocks("cell", host_block_us, direct_block_us, blocks, block, 2);
    emit("cell_failures=%d", failures);
}

// The host's own share of a cell write: os_put_font with a column the console
// cannot address returns before any platform call, so this times the call
// into the host and its checks alone.
void bench_host_overhead() {
    const int calls = 1000000 / scale;
    int written = 0;
    const long long start = qpc_now();
    for (int i = 0; i < calls; ++i) written += os_put_font('x', 0x07, -1 - (i & 1), 0);
    emit("host_reject_ns=%.1f", qpc_to_us(qpc_now() - start) * 1000 / calls);
    emit("host_reject_written=%d", written);
}

// Full screen: one columns x rows redraw, cell by cell, through the host and
// directly; and, for scale, the same screen in a single call.
void bench_full_screen() {
    const int reps = std::max(2, 8 / scale);
    static double host_ms[max_samples];
    static double direct_ms[max_samples];
    static double one_call_ms[max_samples];
    static CHAR_INFO screen[200 * 100];
    for (int r = 0; r < reps; ++r) {
        for (int turn = 0; turn < 3; ++turn) {
            const int kind = (turn + r) % 3;
            const int char_code = '0' + (r * 3 + kind) % 10;
            const long long start = qpc_now();
            if (kind == 0) {
                for (int y = 0; y < rows; ++y)
                    for (int x = 0; x < columns; ++x) os_put_font(char_code, 0x1E, x, y);
            } else if (kind == 1) {
                for (int y = 0; y < rows; ++y)
                    for (int x = 0; x < columns; ++x) write_cell_direct(char_code, 0x1E, x, y);
            } else {
                for (int i = 0; i < columns * rows; ++i) {
                    screen[i].Char.UnicodeChar = static_cast<WCHAR>(char_code);
                    screen[i].Attributes = 0x1E;
                }
                SMALL_RECT region = {0, 0, static_cast<SHORT>(columns - 1),
                                     static_cast<SHORT>(rows - 1)};
                WriteConsoleOutputA(active_buffer, screen,
                                    COORD{static_cast<SHORT>(columns), static_cast<SHORT>(rows)},
                                    COORD{0, 0}, &region);
            }
            const double ms = qpc_to_us(qpc_now() - start) / 1000;
            (kind == 0 ? host_ms : kind == 1 ? direct_ms : one_call_ms)[r] = ms;
        }
    }
    emit("screen_size=%dx%d", columns, rows);
    emit("screen_reps=%d", reps);
    emit("screen_host_ms=%.2f", summarise(host_ms, reps).mean);
    emit("screen_direct_ms=%.2f", summarise(direct_ms, reps).mean);
    emit("screen_one_call_ms=%.3f", summarise(one_call_ms, reps).mean);
    emit("screen_pair_ratio=%.3f", paired_ratio_median(host_ms, direct_ms, reps));
    emit_spread("screen_host_spread", host_ms, reps);
    emit_spread("screen_direct_spread", direct_ms, reps);
}

// The banner: os_display_title(1) then (0), against writing the same cells
// directly. The cells are found by reading back what the host painted.
void bench_banner() {
    constexpr int left = 23, top = 1, width = 33, height = 8;
    static CHAR_INFO area[width * height];
    for (CHAR_INFO& cell : area) {
        cell.Char.UnicodeChar = 'x';
        cell.Attributes = 0x07;
    }
    SMALL_RECT region = {left, top, left + width - 1, top + height - 1};
    WriteConsoleOutputA(active_buffer, area, COORD{width, height}, COORD{0, 0}, &region);
    os_display_title(1);
    region = {left, top, left + width - 1, top + height - 1};
    ReadConsoleOutputA(active_buffer, area, COORD{width, height}, COORD{0, 0}, &region);
    os_display_title(0);

    struct painted {
        int x, y, attr;
    };
    static painted cells[width * height];
    int count = 0;
    for (int i = 0; i < width * height; ++i) {
        if (area[i].Char.AsciiChar != ' ') continue;
        cells[count++] = {left + i % width, top + i / width, area[i].Attributes};
    }

    const int reps = std::max(2, 20 / scale);
    static double host_ms[max_samples];
    static double direct_ms[max_samples];
    for (int r = 0; r < reps; ++r) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool host = (turn == 0) == (r % 2 == 0);
            const long long start = qpc_now();
            if (host) {
                os_display_title(1);
                os_display_title(0);
            } else {
                for (int i = 0; i < count; ++i)
                    write_cell_direct(' ', cells[i].attr, cells[i].x, cells[i].y);
                for (int i = 0; i < count; ++i) write_cell_direct(' ', 0x07, cells[i].x, cells[i].y);
            }
            (host ? host_ms : direct_ms)[r] = qpc_to_us(qpc_now() - start) / 1000;
        }
    }
    emit("banner_cells=%d", count);
    emit("banner_host_ms=%.2f", summarise(host_ms, reps).mean);
    emit("banner_direct_ms=%.2f", summarise(direct_ms, reps).mean);
    emit_spread("banner_host_spread", host_ms, reps);
    emit_spread("banner_direct_spread", direct_ms, reps);
    emit("banner_pair_ratio=%.3f", paired_ratio_median(host_ms, direct_ms, reps));
}

// Poll: os_get_input on an empty queue against Sleep(1) and one
// GetNumberOfConsoleInputEvents, in blocks of 50.
void bench_poll() {
    constexpr int block = 50;
    const int blocks = std::max(2, 40 / scale);
    static double host_block_us[max_samples];
    static double direct_block_us[max_samples];
    FlushConsoleInputBuffer(console_input);
    int keys_seen = 0;
    int records_waiting = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool host = (turn == 0) == (b % 2 == 0);
            const long long start = qpc_now();
            for (int n = 0; n < block; ++n) {
                if (host) {
                    int key = 0, character = 0;
                    os_get_input(&key, &character);
                    if (key != 0 || character != 0) ++keys_seen;
                } else {
                    Sleep(1);
                    DWORD waiting = 0;
                    GetNumberOfConsoleInputEvents(console_input, &waiting);
                    if (waiting != 0) ++records_waiting;
                }
            }
            const double per_call = qpc_to_us(qpc_now() - start) / block;
            (host ? host_block_us : direct_block_us)[b] = per_call;
        }
    }
    emit_blocks("poll", host_block_us, direct_block_us, blocks, block, 1);
    emit("poll_keys_seen=%d records_waiting=%d", keys_seen, records_waiting);
}

// The platform's own 40 ms wait: sleep 1 ms until the tick count has moved 40.
void sleep_until_40_ticks() {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 40) Sleep(1);
}

// The same, with the console query each poll of os_pause makes.
void sleep_and_query_until_40_ticks() {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 40) {
        Sleep(1);
        DWORD waiting = 0;
        GetNumberOfConsoleInputEvents(console_input, &waiting);
    }
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

// Pause: 200 os_pause calls against 200 of the sleep loops (and of the loop
// that also queries the console), taking turns; then 100 more os_pause calls
// on their own for the distribution.
void bench_pause() {
    const int rounds = 200 / scale;
    static double ticks[3][max_samples];
    static double qpc_ms[3][max_samples];
    static double returned[max_samples];
    int longer_than_returned = 0;
    for (int r = 0; r < rounds; ++r) {
        for (int turn = 0; turn < 3; ++turn) {
            const int kind = (turn + r) % 3;
            const DWORD tick_start = GetTickCount();
            const long long start = qpc_now();
            if (kind == 0) {
                returned[r] = os_pause();
            } else if (kind == 1) {
                sleep_until_40_ticks();
            } else {
                sleep_and_query_until_40_ticks();
            }
            qpc_ms[kind][r] = qpc_to_us(qpc_now() - start) / 1000;
            ticks[kind][r] = GetTickCount() - tick_start;
            if (kind == 0 && ticks[0][r] > returned[r]) ++longer_than_returned;
        }
    }
    emit("pause_count=%d", rounds);
    emit_spread("pause_host_ticks", ticks[0], rounds);
    emit_spread("pause_host_qpc", qpc_ms[0], rounds);
    emit_spread("pause_host_returned", returned, rounds);
    emit_spread("pause_sleep_ticks", ticks[1], rounds);
    emit_spread("pause_sleep_qpc", qpc_ms[1], rounds);
    emit_spread("pause_query_ticks", ticks[2], rounds);
    emit_spread("pause_query_qpc", qpc_ms[2], rounds);
    emit("pause_longer_than_returned=%d", longer_than_returned);
    emit("pause_tick_40_reads_39=%d/1000", ticks_40_reading_39());

    const int alone = 100 / scale;
    for (int r = 0; r < alone; ++r) {
        const DWORD tick_start = GetTickCount();
        const long long start = qpc_now();
        returned[r] = os_pause();
        qpc_ms[0][r] = qpc_to_us(qpc_now() - start) / 1000;
        ticks[0][r] = GetTickCount() - tick_start;
    }
    emit("pause_alone_count=%d", alone);
    emit_spread("pause_alone_ticks", ticks[0], alone);
    emit_spread("pause_alone_qpc", qpc_ms[0], alone);
    emit_spread("pause_alone_returned", returned, alone);
}

}  // namespace

int dll_main(int argc, char** argv) {
    bool window = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "quick") == 0) scale = 10;
        if (std::strcmp(argv[i], "window") == 0) window = true;
    }
    QueryPerformanceFrequency(&qpc_frequency);
    emit("qpc_frequency=%lld", static_cast<long long>(qpc_frequency.QuadPart));

    os_init();
    active_buffer = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    console_input = GetStdHandle(STD_INPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(active_buffer, &info)) {
        columns = std::min<int>(80, info.dwSize.X);
        rows = std::min<int>(25, info.dwSize.Y);
    }

    if (!window) bench_host_overhead();
    bench_cell_write();
    if (!window) {
        bench_full_screen();
        bench_banner();
    }
    bench_poll();
    if (!window) bench_pause();
    emit("done=1");
    return 0;
}
