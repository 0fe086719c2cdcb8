// os_get_input: each key of the table with every set of modifiers, the records
// that are no key of the game's, several records in a row, null pointers.
#include "module.h"

namespace {

// The console shares its input queue: it queues focus, menu, window-size and
// mouse records of its own whatever the input mode (when its window gains or
// loses the focus, when a buffer is resized, when the player clicks), so a
// check takes only the records it queued and polls the others away; they
// must read as no key.
unsigned foreign_count = 0, foreign_as_keys = 0;

// Whether A is B as far as a check can tell: a key record by its press, key,
// character and modifiers (the console may merge a key press written alone
// into an identical one queued before it, adding to its repeat count), any
// other record by its type.
bool same_record(const INPUT_RECORD& a, const INPUT_RECORD& b) {
    if (a.EventType != b.EventType) return false;
    if (a.EventType != KEY_EVENT) return true;
    const KEY_EVENT_RECORD& x = a.Event.KeyEvent;
    const KEY_EVENT_RECORD& y = b.Event.KeyEvent;
    return x.bKeyDown == y.bKeyDown && x.wVirtualKeyCode == y.wVirtualKeyCode &&
           x.dwControlKeyState == y.dwControlKeyState && x.uChar.AsciiChar == y.uChar.AsciiChar;
}

// The front of the queue: its first two records, and how many wait.
struct queue_front {
    INPUT_RECORD records[2] = {};
    DWORD shown = 0, waiting = 0;
};

queue_front peek_front() {
    queue_front front;
    PeekConsoleInputA(console_input(), front.records, 2, &front.shown);
    front.waiting = waiting_records(console_input());
    return front;
}

// Whether a poll took the front record and no other: the queue is one record
// shorter, or, where the console queued records of its own meanwhile (behind
// the others), the second record now stands first.
bool took_front_alone(const queue_front& before, const queue_front& after) {
    if (after.waiting + 1 == before.waiting) return true;
    if (after.waiting < before.waiting) return false;
    return before.shown > 1 ? same_record(after.records[0], before.records[1])
                            : !same_record(after.records[0], before.records[0]);
}

}  // namespace

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
    PeekConsoleInputA(console_input(), front, 8, &shown);
    for (DWORD i = 0; i < shown; ++i)
        if (same_record(front[i], own)) return true;
    return false;
}

void check_foreign_records(const char* scenario) {
    figure("input, %s: %u records the checks did not queue came (focus, menu, window size, "
           "mouse), each polled away", scenario, foreign_count);
    if (foreign_count > 0)
        OK_EQ(0, foreign_as_keys, "the %u records the checks did not queue read as no key",
              foreign_count);
}

namespace {

// Modifiers held, each tried with every key of the table (contract.h).
struct modifiers {
    DWORD state;
    const char* name;
};

const modifiers modifier_rows[] = {
    {0, "no modifier"},
    {SHIFT_PRESSED, "Shift"},
    {LEFT_CTRL_PRESSED, "left Ctrl"},
    {RIGHT_CTRL_PRESSED, "right Ctrl"},
    {SHIFT_PRESSED | LEFT_CTRL_PRESSED, "Shift+left Ctrl"},
    {SHIFT_PRESSED | RIGHT_CTRL_PRESSED, "Shift+right Ctrl"},
    {LEFT_ALT_PRESSED, "left Alt"},
    {RIGHT_ALT_PRESSED, "right Alt"},
    {LEFT_ALT_PRESSED | SHIFT_PRESSED, "left Alt+Shift"},
    {RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED, "right Alt+left Ctrl"},
};

// Bits of the control-key state that change nothing, one set per case in turn.
const DWORD ignored_bits[] = {0, NUMLOCK_ON, CAPSLOCK_ON, ENHANCED_KEY,
                              NUMLOCK_ON | CAPSLOCK_ON | SCROLLLOCK_ON | ENHANCED_KEY};

struct record_case {
    INPUT_RECORD record;
    int key, character;
    const char* name;
};

}  // namespace

// Queues `record` alone and checks what os_get_input makes of it.
void expect_key(const INPUT_RECORD& record, int key, int character, const char* name) {
    FlushConsoleInputBuffer(console_input());
    const DWORD queued = queue_records(console_input(), &record, 1);
    int got_key = -12345, got_char = -12345;
    const bool alone = poll_own(record, &got_key, &got_char);
    OK(queued == 1 && got_key == key && got_char == character && alone,
       "%s gives %d/%d: got %d/%d, %lu queued, the poll took it alone %d", name, key, character,
       got_key, got_char, static_cast<unsigned long>(queued), alone);
}

void check_key_table() {
    unsigned n = 0;
    for (const key_row& key : key_rows)
        for (const modifiers& held : modifier_rows) {
            const int code = key_code(key.virtual_key, held.state);
            if (code == 1062) continue;  // Alt+F4 ends the run: its own scenario
            const DWORD extra = ignored_bits[n++ % 5];
            char name[96];
            std::snprintf(name, sizeof name, "%s with %s (state 0x%03lx)", key.name, held.name,
                          static_cast<unsigned long>(held.state | extra));
            expect_key(key_record(key.virtual_key, 0, held.state | extra), code, 0, name);
        }
}

void check_other_records() {
    const record_case cases[] = {
        {key_record('A', 'a', 0), 0, 'a', "a"},
        {key_record('A', 'A', SHIFT_PRESSED | CAPSLOCK_ON), 0, 'A', "Shift+A"},
        {key_record('A', 'a', LEFT_ALT_PRESSED), 0, 'a', "Alt+a"},
        {key_record(VK_NUMPAD8, '8', NUMLOCK_ON), 0, '8', "keypad 8 with Num Lock"},
        {key_record(VK_INSERT, 0, ENHANCED_KEY), 0, 0, "Insert"},
        {key_record(VK_ESCAPE, 27, 0), 0, 27, "Esc"},
        {key_record(VK_SHIFT, 0, SHIFT_PRESSED), 0, 0, "Shift alone"},
        {key_record(VK_F13, 0, 0), 0, 0, "F13"},
        {key_record('C', 3, LEFT_CTRL_PRESSED), 0, 3, "Ctrl+C (an ordinary key)"},
        {key_record(0, 0x7F, 0), 0, 127, "character 127"},
        {key_record(VK_UP, 0, 0, true, 3), 72, 0, "Up standing for three auto-repeats"},
        {key_record('A', 'a', 0, false), 0, 0, "the release of a"},
        {key_record(VK_F1, 0, LEFT_ALT_PRESSED, false), 0, 0, "the release of Alt+F1"},
        {key_record('X', 24, LEFT_CTRL_PRESSED, false), 0, 0, "the release of Ctrl+X"},
        {other_record(FOCUS_EVENT), 0, 0, "a focus record"},
        {other_record(MENU_EVENT), 0, 0, "a menu record"},
        {other_record(MOUSE_EVENT), 0, 0, "a mouse record"},
        {other_record(WINDOW_BUFFER_SIZE_EVENT), 0, 0, "a window-size record"},
    };
    for (const record_case& c : cases) expect_key(c.record, c.key, c.character, c.name);

    // Typed characters 128-255 arrive as signed bytes, through the input code page.
    const record_case signed_cases[] = {
        {key_record(0, 0xE9, 0), 0, -23, "character 0xE9"},
        {key_record('E', 0xE9, RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED), 0, -23, "AltGr+E typing 0xE9"},
        {key_record(0, 0x80, 0), 0, -128, "character 0x80"},
        {key_record(0, 0xFF, 0), 0, -1, "character 0xFF"},
    };
    if (single_byte_code_page(GetConsoleCP())) {
        for (const record_case& c : signed_cases) expect_key(c.record, c.key, c.character, c.name);
    } else {
        SKIPPED("typed characters 128-255: input code page %u has no one-byte characters",
                GetConsoleCP());
    }
}

// Several records: one per call, in order.
void check_sequences() {
    FlushConsoleInputBuffer(console_input());
    int k = 55, c = 66;
    os_get_input(&k, &c);
    OK(k == 0 && c == 0, "an empty queue gives 0/0: got %d/%d", k, c);

    const INPUT_RECORD press_release[] = {key_record('A', 'a', 0), key_record('A', 'a', 0, false),
                                          other_record(FOCUS_EVENT), key_record('X', 'x', 0)};
    queue_records(console_input(), press_release, 4);
    int got[4][2];
    bool alone = true;
    for (int i = 0; i < 4; ++i) alone = poll_own(press_release[i], &got[i][0], &got[i][1]) && alone;
    OK(got[0][0] == 0 && got[0][1] == 'a' && got[1][0] == 0 && got[1][1] == 0 && got[2][1] == 0 &&
           got[3][1] == 'x' && alone,
       "a press, its release, a focus record and a key take one call each: %d/%d %d/%d %d/%d %d/%d",
       got[0][0], got[0][1], got[1][0], got[1][1], got[2][0], got[2][1], got[3][0], got[3][1]);
}

// Null out-pointers: the other output is still written and the record taken.
void check_null_pointers() {
    FlushConsoleInputBuffer(console_input());
    INPUT_RECORD key = key_record('Q', 'q', 0);
    queue_records(console_input(), &key, 1);
    int character = -7;
    bool alone = poll_own(key, nullptr, &character);
    OK(character == 'q' && alone,
       "os_get_input(NULL, &char) writes the character and takes the record: %d", character);
    key = key_record(VK_UP, 0, 0);
    queue_records(console_input(), &key, 1);
    int code = -7;
    alone = poll_own(key, &code, nullptr);
    OK(code == 72 && alone, "os_get_input(&key, NULL) writes the key code and takes the record: %d",
       code);
    key = key_record('Z', 'z', 0);
    queue_records(console_input(), &key, 1);
    OK(poll_own(key, nullptr, nullptr), "os_get_input(NULL, NULL) takes the record");
    key = key_record(VK_F9, 0, RIGHT_ALT_PRESSED);
    queue_records(console_input(), &key, 1);
    poll_own(key, &code, &character);
    OK(code == 1067 && character == 0, "after polls with null pointers a key arrives whole: %d/%d",
       code, character);
    FlushConsoleInputBuffer(console_input());
    code = character = -7;
    os_get_input(nullptr, &character);
    os_get_input(&code, nullptr);
    OK(code == 0 && character == 0,
       "os_get_input with one null pointer on an empty queue writes 0 to the other: %d/%d", code,
       character);
}
