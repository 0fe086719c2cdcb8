// os_pause: how long it lasts and what it returns, and the records queued
// during a pause, which its polls take from the front, at most one each.
#include <algorithm>
#include <climits>

#include "module.h"

void check_pauses() {
    fresh_input();
    // What the pauses returned, and how long they really lasted by the
    // performance counter, which the tick count they wait on cannot show.
    int fewest = INT_MAX, most = 0;
    double shortest_ms = 1e9, longest_ms = 0;
    DWORD shortest_ticks = 0xFFFFFFFF;
    int above_ticks = 0;
    for (int i = 0; i < 5; ++i) {
        const double start = counter_ms();
        const DWORD ticks_before = GetTickCount();
        const int result = os_pause();
        const DWORD ticks = GetTickCount() - ticks_before;
        const double lasted = counter_ms() - start;
        shortest_ticks = std::min(shortest_ticks, ticks);
        fewest = std::min(fewest, result);
        most = std::max(most, result);
        shortest_ms = std::min(shortest_ms, lasted);
        longest_ms = std::max(longest_ms, lasted);
        above_ticks += result > static_cast<int>(ticks);
    }
    OK(shortest_ticks >= 40, "os_pause lasts at least 40 ms by the tick count: %lu",
       static_cast<unsigned long>(shortest_ticks));
    OK(fewest >= 40 && most <= 5000, "os_pause returns 40 to 5000: %d to %d", fewest, most);
    OK_EQ(0, above_ticks, "os_pause returns no more than the ticks that passed around it");
    DWORD tick_100ns = 0, unused = 0;
    BOOL adjustment_off = FALSE;
    GetSystemTimeAdjustment(&unused, &tick_100ns, &adjustment_off);
    figure("pause: os_pause returned %d to %d ms; it lasted %.1f to %.1f ms by the performance "
           "counter; the system timer ticks every %.3f ms",
           fewest, most, shortest_ms, longest_ms, tick_100ns / 10000.0);
}

// The first of the sequence's TOTAL records still queued, or TOTAL when none is.
static unsigned first_left(unsigned total) {
    unsigned first = 0;
    while (first < total && !still_queued(sequence_record(first))) ++first;
    return first;
}

// Records queued during a pause: its polls take some from the front, at most
// one each, and the rest come out of os_get_input afterwards, in order.
void check_drain(unsigned total) {
    const DWORD queued = queue_sequence(fresh_input(), total);
    const double start = counter_ms();
    os_pause();
    const double lasted = counter_ms() - start;
    const unsigned drained = first_left(total);
    OK_EQ(total, queued, "%u records queued for a pause", total);
    // Each poll sleeps at least about 1 ms (Sleep may end early by less than
    // a tick's remainder, never by a whole millisecond twice in a row).
    OK(drained >= 1 && drained < total && drained <= static_cast<unsigned>(lasted) + 1,
       "a pause of %.1f ms takes at least one record, at most one a poll, and leaves the rest: %u",
       lasted, drained);
    char first[64];
    const unsigned out_of_order = poll_sequence(drained, total, first);
    int key = -1, character = -1;
    os_get_input(&key, &character);
    OK(out_of_order == 0 && key == 0 && character == 0,
       "the records the pause left come out in order, then none: %u out of order, first %s, "
       "then %d/%d",
       out_of_order, first, key, character);
}
