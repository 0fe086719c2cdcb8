// os_get_input: each key of the table with every set of modifiers, the records
// that are no key of the game's, several records in a row, null pointers.
#include "module.h"

namespace {

// Modifiers held, each tried with every key of the table (contract.h).
struct modifiers { DWORD state; const char* name; };

const modifiers modifier_rows[] = {
    {0, "no modifier"}, {SHIFT_PRESSED, "Shift"},
    {LEFT_CTRL_PRESSED, "left Ctrl"}, {RIGHT_CTRL_PRESSED, "right Ctrl"},
    {SHIFT_PRESSED | LEFT_CTRL_PRESSED, "Shift+left Ctrl"},
    {SHIFT_PRESSED | RIGHT_CTRL_PRESSED, "Shift+right Ctrl"},
    {LEFT_ALT_PRESSED, "left Alt"}, {RIGHT_ALT_PRESSED, "right Alt"},
    {LEFT_ALT_PRESSED | SHIFT_PRESSED, "left Alt+Shift"},
    {RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED, "right Alt+left Ctrl"},
};

// Bits of the control-key state that change nothing, one set per case in turn.
const DWORD ignored_bits[] = {0, NUMLOCK_ON, CAPSLOCK_ON, ENHANCED_KEY,
                              NUMLOCK_ON | CAPSLOCK_ON | SCROLLLOCK_ON | ENHANCED_KEY};

struct record_case { INPUT_RECORD record; int key, character; const char* name; };

template <size_t count>
void expect_keys(const record_case (&cases)[count]) {
    for (const record_case& c : cases) expect_key(c.record, c.key, c.character, c.name);
}

// Queues RECORD alone and polls for it; true when the poll took it alone.
bool queue_and_poll(const INPUT_RECORD& record, int* key, int* character) {
    queue_records(console_input(), &record, 1);
    return poll_own(record, key, character);
}

}  // namespace

void check_key_table() {
    unsigned n = 0;
    for (const key_row& key : key_rows) {
        check_context row(key.name);
        for (const modifiers& held : modifier_rows) {
            const int code = key_code(key.virtual_key, held.state);
            if (code == keys::alt_f4) continue;  // Alt+F4 ends the run: its own scenario
            const DWORD extra = ignored_bits[n++ % 5];
            expect_key(key_record(key.virtual_key, 0, held.state | extra), code, 0, held.name);
        }
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
        {key_record(VK_UP, 0, 0, true, 3), keys::up, 0, "Up standing for three auto-repeats"},
        {key_record('A', 'a', 0, false), 0, 0, "the release of a"},
        {key_record(VK_F1, 0, LEFT_ALT_PRESSED, false), 0, 0, "the release of Alt+F1"},
        {key_record('X', keys::exit_character, LEFT_CTRL_PRESSED, false), 0, 0, "the release of Ctrl+X"},
        {other_record(FOCUS_EVENT), 0, 0, "a focus record"},
        {other_record(MENU_EVENT), 0, 0, "a menu record"},
        {other_record(MOUSE_EVENT), 0, 0, "a mouse record"},
        {other_record(WINDOW_BUFFER_SIZE_EVENT), 0, 0, "a window-size record"},
    };
    expect_keys(cases);

    // Typed characters 128-255 arrive as signed bytes, through the input code page.
    const record_case signed_cases[] = {
        {key_record(0, 0xE9, 0), 0, -23, "character 0xE9"},
        {key_record('E', 0xE9, RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED), 0, -23, "AltGr+E typing 0xE9"},
        {key_record(0, 0x80, 0), 0, -128, "character 0x80"},
        {key_record(0, 0xFF, 0), 0, -1, "character 0xFF"},
    };
    if (single_byte_code_page(GetConsoleCP())) {
        expect_keys(signed_cases);
    } else {
        SKIPPED("typed characters 128-255: input code page %u has no one-byte characters",
                GetConsoleCP());
    }
}

// Several records: one per call, in order.
void check_sequences() {
    HANDLE input = fresh_input();
    int k = 55, c = 66;
    os_get_input(&k, &c);
    OK(k == 0 && c == 0, "an empty queue gives 0/0: got %d/%d", k, c);

    const INPUT_RECORD press_release[] = {key_record('A', 'a', 0), key_record('A', 'a', 0, false),
                                          other_record(FOCUS_EVENT), key_record('X', 'x', 0)};
    queue_records(input, press_release, 4);
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
    fresh_input();
    int code = -7, character = -7;
    bool alone = queue_and_poll(key_record('Q', 'q', 0), nullptr, &character);
    OK(character == 'q' && alone, "os_get_input(NULL, &char) writes the character and takes the record: %d",
       character);
    alone = queue_and_poll(key_record(VK_UP, 0, 0), &code, nullptr);
    OK(code == keys::up && alone, "os_get_input(&key, NULL) writes the key code and takes the record: %d",
       code);
    OK(queue_and_poll(key_record('Z', 'z', 0), nullptr, nullptr),
       "os_get_input(NULL, NULL) takes the record");
    queue_and_poll(key_record(VK_F9, 0, RIGHT_ALT_PRESSED), &code, &character);
    OK(code == keys::alt_f9 && character == 0, "after polls with null pointers a key arrives whole: %d/%d",
       code, character);
    fresh_input();
    code = character = -7;
    os_get_input(nullptr, &character);
    os_get_input(&code, nullptr);
    OK(code == 0 && character == 0,
       "os_get_input with one null pointer on an empty queue writes 0 to the other: %d/%d", code, character);
}
