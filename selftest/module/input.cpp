// os_get_input: each key of the table with every set of modifiers, the records
// that are no key of the game's, several records in a row, null pointers.
#include "module.h"

namespace {

// Whether the queue holds `record` alone. The console is shared: it queues
// focus and menu records of its own when the player clicks, and the player
// may press a key, at any moment.
bool queued_alone(const INPUT_RECORD& record) {
    INPUT_RECORD seen[2] = {};
    DWORD count = 0;
    PeekConsoleInputA(console_input(), seen, 2, &count);
    const KEY_EVENT_RECORD& a = seen[0].Event.KeyEvent;
    const KEY_EVENT_RECORD& b = record.Event.KeyEvent;
    return count == 1 && seen[0].EventType == record.EventType &&
           (record.EventType != KEY_EVENT ||
            (a.bKeyDown == b.bKeyDown && a.wVirtualKeyCode == b.wVirtualKeyCode &&
             a.dwControlKeyState == b.dwControlKeyState && a.uChar.AsciiChar == b.uChar.AsciiChar));
}

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

// Queues `record` alone and checks what os_get_input makes of it; where a
// record the check did not queue came in beside it, says so and tries once more.
void expect_key(const INPUT_RECORD& record, int key, int character, const char* name) {
    DWORD written = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        FlushConsoleInputBuffer(console_input());
        WriteConsoleInputA(console_input(), &record, 1, &written);
        if (queued_alone(record) || attempt == 1) break;
        figure("input: a record the checks did not queue came in beside %s (a click, a focus "
               "change or a key pressed meanwhile); tried once more", name);
    }
    int got_key = -12345, got_char = -12345;
    os_get_input(&got_key, &got_char);
    const DWORD left = waiting_records(console_input());
    OK(written == 1 && got_key == key && got_char == character && left == 0,
       "%s gives %d/%d: got %d/%d, %lu queued, %lu left", name, key, character, got_key,
       got_char, static_cast<unsigned long>(written), static_cast<unsigned long>(left));
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
    int k[3] = {55, 55, 55}, c[3] = {66, 66, 66};
    os_get_input(&k[0], &c[0]);
    OK(k[0] == 0 && c[0] == 0, "an empty queue gives 0/0: got %d/%d", k[0], c[0]);

    const INPUT_RECORD press_release[] = {key_record('A', 'a', 0), key_record('A', 'a', 0, false),
                                          other_record(FOCUS_EVENT), key_record('X', 'x', 0)};
    DWORD written = 0;
    WriteConsoleInputA(console_input(), press_release, 4, &written);
    int got[4][2];
    for (auto& pair : got) os_get_input(&pair[0], &pair[1]);
    OK(got[0][0] == 0 && got[0][1] == 'a' && got[1][0] == 0 && got[1][1] == 0 && got[2][1] == 0 &&
           got[3][1] == 'x' && waiting_records(console_input()) == 0,
       "a press, its release, a focus record and a key take one call each: %d/%d %d/%d %d/%d %d/%d",
       got[0][0], got[0][1], got[1][0], got[1][1], got[2][0], got[2][1], got[3][0], got[3][1]);
}

// Null out-pointers: the other output is still written and the record taken.
void check_null_pointers() {
    DWORD written = 0;
    FlushConsoleInputBuffer(console_input());
    INPUT_RECORD key = key_record('Q', 'q', 0);
    WriteConsoleInputA(console_input(), &key, 1, &written);
    int character = -7;
    os_get_input(nullptr, &character);
    OK(character == 'q' && waiting_records(console_input()) == 0,
       "os_get_input(NULL, &char) writes the character and takes the record: %d", character);
    key = key_record(VK_UP, 0, 0);
    WriteConsoleInputA(console_input(), &key, 1, &written);
    int code = -7;
    os_get_input(&code, nullptr);
    OK(code == 72 && waiting_records(console_input()) == 0,
       "os_get_input(&key, NULL) writes the key code and takes the record: %d", code);
    key = key_record('Z', 'z', 0);
    WriteConsoleInputA(console_input(), &key, 1, &written);
    os_get_input(nullptr, nullptr);
    OK_EQ(0, waiting_records(console_input()), "os_get_input(NULL, NULL) takes the record");
    key = key_record(VK_F9, 0, RIGHT_ALT_PRESSED);
    WriteConsoleInputA(console_input(), &key, 1, &written);
    os_get_input(&code, &character);
    OK(code == 1067 && character == 0, "after polls with null pointers a key arrives whole: %d/%d",
       code, character);
    code = character = -7;
    os_get_input(nullptr, &character);
    os_get_input(&code, nullptr);
    OK(code == 0 && character == 0,
       "os_get_input with one null pointer on an empty queue writes 0 to the other: %d/%d", code,
       character);
}
