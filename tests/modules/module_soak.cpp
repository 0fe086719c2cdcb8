// A long run of cell writes and polls, watching the process's own handle count
// and memory for growth. Scenario "soak" (argv[1]); results go to probe.out.
#include <cstring>

#include "os_services.h"
#include "probe.h"

#include <psapi.h>

namespace {

struct usage {
    DWORD handles = 0;
    SIZE_T private_bytes = 0;
    SIZE_T working_set = 0;
};

usage measure() {
    usage u;
    u.handles = count_open_handles();
    u.private_bytes = committed_private_bytes();
    PROCESS_MEMORY_COUNTERS memory;
    std::memset(&memory, 0, sizeof memory);
    memory.cb = sizeof memory;
    if (K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory))
        u.working_set = memory.WorkingSetSize;
    return u;
}

// Cell i of the run: walks the whole buffer row by row.
void write_cell(unsigned i, int* ok, screen_copy* expected) {
    const int x = static_cast<int>(i % 80);
    const int y = static_cast<int>((i / 80) % 25);
    const int character = 'a' + static_cast<int>(i % 26);
    const int attr = 1 + static_cast<int>(i % 15);
    const int result = (i % 7 == 0) ? os_put_tile(static_cast<int>(i), 0, 0, 0, character, attr, x, y)
                                    : os_put_font(character, attr, x, y);
    *ok += result != 0;
    if (expected != nullptr)
        expected->at(x, y) = make_cell(static_cast<unsigned char>(character),
                                       static_cast<WORD>(attr));
}

// Writes `cells` cells and polls once every `cells / polls` writes; every 50th
// poll finds a key waiting, so the read path runs too.
void run_block(unsigned first, unsigned cells, unsigned polls, HANDLE input, int* ok,
               unsigned* keys, screen_copy* expected) {
    const unsigned every = cells / polls;
    for (unsigned i = 0; i < cells; ++i) {
        write_cell(first + i, ok, expected);
        if ((i + 1) % every != 0) continue;
        const unsigned poll = (first + i) / every;
        if (poll % 50 == 0) {
            const INPUT_RECORD key = key_record(VK_DOWN, 0, SHIFT_PRESSED);
            DWORD written = 0;
            WriteConsoleInputA(input, &key, 1, &written);
        }
        int code = 0, character = 0;
        os_get_input(&code, &character);
        *keys += code == 2080;
    }
}

void report_usage(const char* name, const usage& u) {
    report("%s=handles=%lu private=%lu working_set=%lu", name, static_cast<unsigned long>(u.handles),
           static_cast<unsigned long>(u.private_bytes), static_cast<unsigned long>(u.working_set));
}

int run_soak() {
    os_init();
    HANDLE screen = open_active_buffer();
    HANDLE input = open_console_input();
    FlushConsoleInputBuffer(input);

    // Warm up, so that whatever the console and the runtime set up once is counted
    // before the first reading.
    int ok = 0;
    unsigned keys = 0;
    run_block(0, 2000, 200, input, &ok, &keys, nullptr);
    const usage before = measure();

    const unsigned cells = 100000;
    const unsigned polls = 10000;
    screen_copy expected = pattern_screen(80, 25, 0);
    ok = 0;
    keys = 0;
    const double start = counter_ms();
    run_block(0, cells / 2, polls / 2, input, &ok, &keys, &expected);
    const usage middle = measure();
    run_block(cells / 2, cells / 2, polls / 2, input, &ok, &keys, &expected);
    const double lasted = counter_ms() - start;
    const usage after = measure();

    report_usage("before", before);
    report_usage("middle", middle);
    report_usage("after", after);
    report("writes_ok=%d", ok);
    report("keys_seen=%u", keys);
    screen_copy now;
    read_screen(screen, &now);
    char text[160];
    describe_diff(compare_screens(expected, now), text, sizeof text);
    report("final_screen=%s", text);
    report("  soak: %u cell writes and %u polls in %.1f s", cells, polls, lasted / 1000.0);
    report("  soak: handles before=%lu middle=%lu after=%lu", static_cast<unsigned long>(before.handles),
           static_cast<unsigned long>(middle.handles), static_cast<unsigned long>(after.handles));
    report("  soak: private bytes before=%lu middle=%lu after=%lu",
           static_cast<unsigned long>(before.private_bytes),
           static_cast<unsigned long>(middle.private_bytes),
           static_cast<unsigned long>(after.private_bytes));
    report("  soak: working set before=%lu middle=%lu after=%lu",
           static_cast<unsigned long>(before.working_set),
           static_cast<unsigned long>(middle.working_set),
           static_cast<unsigned long>(after.working_set));
    report("done=1");
    return 0;
}

}  // namespace

GAME_ENTRY {
    const char* scenario = argc > 1 ? argv[1] : "";
    if (std::strcmp(scenario, "soak") == 0) return run_soak();
    report("unknown scenario <%s>", scenario);
    return 3;
}
