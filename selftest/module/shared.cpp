// What every area of the module uses: the console's handles, a fresh input
// queue, the witnessed set-up, and the polls that take a check's own records.
#include "module.h"

namespace {

HANDLE input = nullptr;
HANDLE player = INVALID_HANDLE_VALUE;

// The console queues focus, menu, window-size and mouse records of its own
// whatever the input mode, so a check takes only the records it queued and
// polls the others away; they must read as no key.
unsigned foreign_count = 0, foreign_as_keys = 0;

// The front of the queue: its first two records, and how many wait.
struct queue_front { INPUT_RECORD records[2] = {}; DWORD shown = 0, waiting = 0; };

queue_front peek_front() {
    queue_front front;
    PeekConsoleInputA(input, front.records, 2, &front.shown);
    front.waiting = waiting_records(input);
    return front;
}

// Whether a poll took the front record alone: the queue is one shorter, or,
// where the console queued records of its own behind, the second now stands first.
bool took_front_alone(const queue_front& before, const queue_front& after) {
    if (after.waiting + 1 == before.waiting) return true;
    if (after.waiting < before.waiting) return false;
    return before.shown > 1 ? same_record(after.records[0], before.records[1])
                            : !same_record(after.records[0], before.records[0]);
}

}  // namespace

void open_console_handles() {
    input = open_console("CONIN$");
    player = open_console("CONOUT$");
}
HANDLE console_input() { return input; }
HANDLE player_buffer() { return player; }

HANDLE fresh_input() {
    FlushConsoleInputBuffer(input);
    return input;
}

void load_witness() { OK(LoadLibraryA(selftest::witness_file) != nullptr, "the witness DLL loads"); }

void witnessed_setup() {
    load_witness();
    os_init();
    OK_SHOWN(false, player, "os_init makes a buffer of its own active");
}

bool poll_own(const INPUT_RECORD& own, int* key, int* character) {
    for (int foreign = 0; foreign < 64; ++foreign) {
        const queue_front before = peek_front();
        if (before.shown == 0) return false;
        const INPUT_RECORD& front = before.records[0];
        if (same_record(front, own)) {
            os_get_input(key, character);
            return took_front_alone(before, peek_front());
        }
        // A key the check did not queue is no record of the console's own.
        if (front.EventType == KEY_EVENT) return false;
        int foreign_key = -1, foreign_character = -1;
        os_get_input(&foreign_key, &foreign_character);
        ++foreign_count;
        foreign_as_keys += foreign_key != 0 || foreign_character != 0;
    }
    return false;
}

bool still_queued(const INPUT_RECORD& own) {
    INPUT_RECORD front[8];
    DWORD shown = 0;
    PeekConsoleInputA(input, front, 8, &shown);
    for (DWORD i = 0; i < shown; ++i)
        if (same_record(front[i], own)) return true;
    return false;
}

void expect_key(const INPUT_RECORD& record, int key, int character, const char* name) {
    const DWORD queued = queue_records(fresh_input(), &record, 1);
    int got_key = -12345, got_char = -12345;
    const bool alone = poll_own(record, &got_key, &got_char);
    OK(queued == 1 && got_key == key && got_char == character && alone,
       "%s (%s) gives %d/%d: got %d/%d, %lu queued, the poll took it alone %d", name, describe(record).s,
       key, character, got_key, got_char, static_cast<unsigned long>(queued), alone);
}

unsigned poll_sequence(unsigned from, unsigned to, char (&first)[64]) {
    unsigned wrong = 0;
    std::snprintf(first, sizeof first, "none");
    for (unsigned i = from; i < to; ++i) {
        int key = -1, character = -1;
        const bool alone = poll_own(sequence_record(i), &key, &character);
        if ((!alone || !sequence_matches(i, key, character)) && wrong++ == 0)
            std::snprintf(first, sizeof first, "record %u gave %d/%d, alone %d", i, key, character, alone);
    }
    return wrong;
}

void check_foreign_records(const char* scenario) {
    figure("input, %s: %u records the checks did not queue came (focus, menu, window size, "
           "mouse), each polled away", scenario, foreign_count);
    if (foreign_count > 0)
        OK_EQ(0, foreign_as_keys, "the %u records the checks did not queue read as no key", foreign_count);
}
