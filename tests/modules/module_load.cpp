// A flood of queued key records: every record is reported exactly once and in
// order, and pauses lose exactly the records their polls took.
// Scenario "load" (argv[1]); results go to probe.out.
#include <cstring>

#include "os_services.h"
#include "probe.h"

namespace {

constexpr unsigned flood_size = 10000;

std::vector<INPUT_RECORD> flood_records() {
    std::vector<INPUT_RECORD> records;
    records.reserve(flood_size);
    for (unsigned i = 0; i < flood_size; ++i) records.push_back(sequence_record(i));
    return records;
}

// Checks one poll against record `index` of the stream.
struct stream_check {
    unsigned reported = 0;
    unsigned wrong = 0;
    char first[96] = "none";

    void poll(unsigned index) {
        int key = -1, character = -1;
        os_get_input(&key, &character);
        ++reported;
        if (!sequence_matches(index, key, character) && wrong++ == 0)
            std::snprintf(first, sizeof first, "record%u=%d/%d", index, key, character);
    }
};

// All 10,000 queued at once, then 10,000 polls.
void check_flood(HANDLE input, const std::vector<INPUT_RECORD>& records) {
    FlushConsoleInputBuffer(input);
    const DWORD taken = queue_records(input, records.data(), flood_size, 500);
    const DWORD waiting = waiting_records(input);
    report("flood_queued=%lu waiting=%lu", static_cast<unsigned long>(taken),
           static_cast<unsigned long>(waiting));
    const double start = counter_ms();
    stream_check stream;
    for (unsigned i = 0; i < flood_size; ++i) stream.poll(i);
    const double lasted = counter_ms() - start;
    int key = -1, character = -1;
    os_get_input(&key, &character);
    report("flood=reported=%u wrong=%u first=%s left=%lu then=%d/%d", stream.reported,
           stream.wrong, stream.first, static_cast<unsigned long>(waiting_records(input)), key,
           character);
    report("  load: 10000 polls of a full queue took %.0f ms (%.2f ms each)", lasted,
           lasted / flood_size);
}

// The same flood, with a pause after every 37 polls: each pause drains what its
// polls took (the queue size before minus after) and the stream goes on right
// after the drained records.
void check_flood_with_pauses(HANDLE input, const std::vector<INPUT_RECORD>& records) {
    FlushConsoleInputBuffer(input);
    const DWORD taken = queue_records(input, records.data(), flood_size, 500);
    stream_check stream;
    unsigned next = 0;
    unsigned drained_total = 0;
    unsigned pauses = 0;
    unsigned fewest = flood_size;
    unsigned most = 0;
    unsigned count_mismatches = 0;
    while (next < flood_size) {
        for (int n = 0; n < 37 && next < flood_size; ++n) stream.poll(next++);
        if (next >= flood_size) break;
        const DWORD before = waiting_records(input);
        if (before != flood_size - next) ++count_mismatches;
        os_pause();
        const DWORD after = waiting_records(input);
        const unsigned drained = before - after;
        ++pauses;
        drained_total += drained;
        if (drained < fewest) fewest = drained;
        if (drained > most) most = drained;
        next += drained;
    }
    int key = -1, character = -1;
    os_get_input(&key, &character);
    report("paused_flood_queued=%lu", static_cast<unsigned long>(taken));
    report("paused_flood=reported=%u drained=%u sum=%u wrong=%u first=%s count_mismatches=%u "
           "left=%lu then=%d/%d",
           stream.reported, drained_total, stream.reported + drained_total, stream.wrong,
           stream.first, count_mismatches, static_cast<unsigned long>(waiting_records(input)), key,
           character);
    report("paused_flood_fewest_drained=%u", fewest);
    report("  load: %u pauses drained %u records (%u to %u each), %u reported", pauses,
           drained_total, fewest, most, stream.reported);
}

int run_load() {
    os_init();
    HANDLE input = open_console_input();
    const std::vector<INPUT_RECORD> records = flood_records();
    check_flood(input, records);
    check_flood_with_pauses(input, records);
    report("done=1");
    return 0;
}

}  // namespace

GAME_ENTRY {
    const char* scenario = argc > 1 ? argv[1] : "";
    if (std::strcmp(scenario, "load") == 0) return run_load();
    report("unknown scenario <%s>", scenario);
    return 3;
}
