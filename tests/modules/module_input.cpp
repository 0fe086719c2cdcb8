// Keyboard input and the pause, fed with key records queued on CONIN$.
// Scenario "input" (argv[1]) runs every check in one process and writes compact
// verdict lines to probe.out.
// Scenario "typed" takes keys typed on a real keyboard (a console window) and
// writes two lines to probe.out per key pressed: "typed=NAME want=KEY/CHAR",
// read from the record before the host takes it, then "got=KEY/CHAR", what
// os_get_input reported. It returns 0 after a q.
#include <cstring>

#include "os_services.h"
#include "probe.h"

namespace {

HANDLE input = nullptr;

// Counts cases and remembers the first that went wrong.
struct tally {
    int cases = 0;
    int mismatches = 0;
    char first[160] = "none";

    void add(bool ok, const char* format, ...) {
        ++cases;
        if (ok) return;
        if (mismatches++ == 0) {
            va_list args;
            va_start(args, format);
            std::vsnprintf(first, sizeof first, format, args);
            va_end(args);
        }
    }

    void write(const char* name) const {
        report("%s=cases=%d mismatches=%d first=%s", name, cases, mismatches, first);
    }
};

// Queues one record, polls once and checks the pair; also that the record was
// taken and nothing else is left.
void expect_key(tally* t, const INPUT_RECORD& record, int key, int character) {
    FlushConsoleInputBuffer(input);
    DWORD written = 0;
    WriteConsoleInputA(input, &record, 1, &written);
    int got_key = -12345;
    int got_char = -12345;
    os_get_input(&got_key, &got_char);
    const DWORD left = waiting_records(input);
    const KEY_EVENT_RECORD& k = record.Event.KeyEvent;
    t->add(written == 1 && got_key == key && got_char == character && left == 0,
           "type=%u down=%d vk=0x%02x char=0x%02x state=0x%03lx: want %d/%d got %d/%d "
           "queued=%lu left=%lu",
           record.EventType, k.bKeyDown ? 1 : 0, k.wVirtualKeyCode,
           static_cast<unsigned char>(k.uChar.AsciiChar),
           static_cast<unsigned long>(k.dwControlKeyState), key, character, got_key, got_char,
           static_cast<unsigned long>(written), static_cast<unsigned long>(left));
}

// Bits of the control-key state the host must ignore, in a few combinations.
const DWORD ignored_bits[] = {0, NUMLOCK_ON, CAPSLOCK_ON, ENHANCED_KEY,
                              NUMLOCK_ON | CAPSLOCK_ON | SCROLLLOCK_ON | ENHANCED_KEY};

struct table_key {
    WORD virtual_key;
    int code;
    const char* name;  // as X names the key
};

const table_key navigation_keys[] = {
    {0x24, 71, "Home"},  {0x26, 72, "Up"},  {0x21, 73, "Prior"}, {0x25, 75, "Left"},
    {0x27, 77, "Right"}, {0x23, 79, "End"}, {0x28, 80, "Down"},  {0x22, 81, "Next"},
};

// The key code the table gives a key with the modifiers of `state`.
int table_code(WORD virtual_key, DWORD state) {
    const bool alt = (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
    if (virtual_key >= VK_F1 && virtual_key <= VK_F9) return 59 + (virtual_key - VK_F1) + (alt ? 1000 : 0);
    if (alt) return 0;
    for (const table_key& key : navigation_keys) {
        if (key.virtual_key != virtual_key) continue;
        if (state & SHIFT_PRESSED) return key.code + 2000;
        if (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) return key.code + 3000;
        return key.code;
    }
    return 0;
}

// Modifier states the table keys are tried with, each with every ignored_bits.
const DWORD modifier_states[] = {
    0,
    SHIFT_PRESSED,
    LEFT_CTRL_PRESSED,
    RIGHT_CTRL_PRESSED,
    SHIFT_PRESSED | LEFT_CTRL_PRESSED,
    SHIFT_PRESSED | RIGHT_CTRL_PRESSED,
    LEFT_ALT_PRESSED,
    RIGHT_ALT_PRESSED,
    LEFT_ALT_PRESSED | SHIFT_PRESSED,
    RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED,
    RIGHT_ALT_PRESSED | RIGHT_CTRL_PRESSED,
};

void check_navigation_keys() {
    tally t;
    for (const table_key& key : navigation_keys)
        for (DWORD state : modifier_states)
            for (DWORD extra : ignored_bits)
                expect_key(&t, key_record(key.virtual_key, 0, state | extra),
                           table_code(key.virtual_key, state), 0);
    t.write("navigation_keys");
}

void check_function_keys() {
    tally t;
    tally high;
    for (WORD vk = VK_F1; vk <= VK_F12; ++vk)
        for (DWORD state : modifier_states) {
            // Alt+F4 ends the process: another test covers it.
            if (vk == VK_F4 && (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED))) continue;
            for (DWORD extra : ignored_bits)
                expect_key(vk <= VK_F9 ? &t : &high, key_record(vk, 0, state | extra),
                           table_code(vk, state), 0);
        }
    t.write("function_keys");
    high.write("f10_f12");
}

void check_other_keys() {
    tally t;
    // Keys outside the table give code 0 and their character, whatever the modifiers.
    expect_key(&t, key_record('A', 'a', 0), 0, 'a');
    expect_key(&t, key_record('A', 'A', SHIFT_PRESSED | CAPSLOCK_ON), 0, 'A');
    expect_key(&t, key_record('A', 'a', LEFT_ALT_PRESSED), 0, 'a');
    expect_key(&t, key_record(VK_NUMPAD8, '8', NUMLOCK_ON), 0, '8');
    expect_key(&t, key_record(VK_INSERT, 0, ENHANCED_KEY), 0, 0);
    expect_key(&t, key_record(VK_ESCAPE, 27, 0), 0, 27);
    expect_key(&t, key_record(VK_RETURN, 13, 0), 0, 13);
    expect_key(&t, key_record(VK_SHIFT, 0, SHIFT_PRESSED), 0, 0);
    expect_key(&t, key_record(VK_F13, 0, 0), 0, 0);
    t.write("other_keys");

    tally chars;
    expect_key(&chars, key_record(0, 0xE9, 0), 0, -23);
    expect_key(&chars, key_record('E', 0xE9, RIGHT_ALT_PRESSED | LEFT_CTRL_PRESSED), 0, -23);
    expect_key(&chars, key_record(0, 0x80, 0), 0, -128);
    expect_key(&chars, key_record(0, 0xFF, 0), 0, -1);
    expect_key(&chars, key_record(0, 0x7F, 0), 0, 127);
    expect_key(&chars, key_record(0, 0x01, 0), 0, 1);
    chars.write("characters");

    // Ctrl+C is an ordinary key: character 3, and the process goes on.
    tally ctrl_c;
    expect_key(&ctrl_c, key_record('C', 3, LEFT_CTRL_PRESSED), 0, 3);
    expect_key(&ctrl_c, key_record('C', 3, RIGHT_CTRL_PRESSED | SHIFT_PRESSED), 0, 3);
    Sleep(50);
    ctrl_c.write("ctrl_c");
    report("after_ctrl_c=alive");

    // Releases and records that are not keys are taken one per poll and give 0/0.
    tally releases;
    expect_key(&releases, key_record('A', 'a', 0, false), 0, 0);
    expect_key(&releases, key_record(VK_UP, 0, 0, false), 0, 0);
    expect_key(&releases, key_record(VK_F1, 0, LEFT_ALT_PRESSED, false), 0, 0);
    INPUT_RECORD focus;
    std::memset(&focus, 0, sizeof focus);
    focus.EventType = FOCUS_EVENT;
    focus.Event.FocusEvent.bSetFocus = TRUE;
    expect_key(&releases, focus, 0, 0);
    INPUT_RECORD menu;
    std::memset(&menu, 0, sizeof menu);
    menu.EventType = MENU_EVENT;
    menu.Event.MenuEvent.dwCommandId = 1;
    expect_key(&releases, menu, 0, 0);
    releases.write("releases_and_other_records");
}

// Polls the queue: a sequence of records must come out one per call, in order.
void check_sequences() {
    // An empty queue overwrites both outputs with 0.
    FlushConsoleInputBuffer(input);
    int key = 55;
    int character = 66;
    os_get_input(&key, &character);
    report("empty_queue=%d/%d", key, character);

    // A press and its release take two calls.
    const INPUT_RECORD press_release[] = {key_record('A', 'a', 0), key_record('A', 'a', 0, false)};
    DWORD written = 0;
    WriteConsoleInputA(input, press_release, 2, &written);
    int k1, c1, k2, c2, k3, c3;
    os_get_input(&k1, &c1);
    os_get_input(&k2, &c2);
    os_get_input(&k3, &c3);
    report("press_release=%d/%d %d/%d %d/%d", k1, c1, k2, c2, k3, c3);

    // A record that stands for three auto-repeats yields one key.
    FlushConsoleInputBuffer(input);
    const INPUT_RECORD repeated = key_record(VK_UP, 0, 0, true, 3);
    WriteConsoleInputA(input, &repeated, 1, &written);
    os_get_input(&k1, &c1);
    os_get_input(&k2, &c2);
    report("repeat_count_3=%d/%d %d/%d", k1, c1, k2, c2);

    // Something that is not a key in front of a key: one call each.
    INPUT_RECORD focus_then_key[2];
    std::memset(focus_then_key, 0, sizeof focus_then_key);
    focus_then_key[0].EventType = FOCUS_EVENT;
    focus_then_key[1] = key_record('X', 'x', 0);
    WriteConsoleInputA(input, focus_then_key, 2, &written);
    os_get_input(&k1, &c1);
    os_get_input(&k2, &c2);
    report("focus_then_key=%d/%d %d/%d", k1, c1, k2, c2);
}

void check_pauses() {
    FlushConsoleInputBuffer(input);
    int shortest_ticks = 1 << 30;
    int fewest_result = 1 << 30;
    int most_result = 0;
    int result_above_ticks = 0;
    double shortest_counter = 1e9;
    for (int i = 0; i < 5; ++i) {
        const double counter_start = counter_ms();
        const DWORD start = GetTickCount();
        const int result = os_pause();
        const DWORD ticks = GetTickCount() - start;
        const double counter = counter_ms() - counter_start;
        report("  pause[%d]: result=%d ticks=%lu counter_ms=%.1f", i, result,
               static_cast<unsigned long>(ticks), counter);
        if (static_cast<int>(ticks) < shortest_ticks) shortest_ticks = static_cast<int>(ticks);
        if (result < fewest_result) fewest_result = result;
        if (result > most_result) most_result = result;
        if (result > static_cast<int>(ticks)) ++result_above_ticks;
        if (counter < shortest_counter) shortest_counter = counter;
    }
    report("pause_shortest_ticks=%d", shortest_ticks);
    report("pause_result_range=%d..%d", fewest_result, most_result);
    report("pause_result_above_ticks=%d", result_above_ticks);
    report("pause_shortest_counter_ms=%.1f", shortest_counter);
}

// Queued records during a pause: the pause's polls take some from the front,
// one per poll, and the rest come out of os_get_input afterwards, in order.
void check_drain() {
    const unsigned total = 200;
    std::vector<INPUT_RECORD> records;
    for (unsigned i = 0; i < total; ++i) records.push_back(sequence_record(i));
    for (int round = 0; round < 3; ++round) {
        FlushConsoleInputBuffer(input);
        const DWORD queued = queue_records(input, records.data(), total);
        const DWORD before = waiting_records(input);
        const double start = counter_ms();
        os_pause();
        const double lasted = counter_ms() - start;
        const DWORD after = waiting_records(input);
        const unsigned drained = before - after;
        // Each poll sleeps at least 1 ms and takes at most one record.
        const int at_most = static_cast<int>(lasted) + 1;
        int out_of_order = 0;
        char first[96] = "none";
        for (unsigned i = drained; i < total; ++i) {
            int key = -1, character = -1;
            os_get_input(&key, &character);
            if (!sequence_matches(i, key, character) && out_of_order++ == 0)
                std::snprintf(first, sizeof first, "record%u=%d/%d", i, key, character);
        }
        int key = -1, character = -1;
        os_get_input(&key, &character);
        report("drain[%d]=queued=%lu before=%lu drained=%u within_poll_bound=%d out_of_order=%d "
               "first=%s then=%d/%d",
               round, static_cast<unsigned long>(queued), static_cast<unsigned long>(before),
               drained, static_cast<int>(drained) <= at_most ? 1 : 0, out_of_order, first, key,
               character);
        report("  drain[%d]: %u of %u records taken by a pause of %.1f ms", round, drained, total,
               lasted);
    }
}

bool modifier_key(WORD virtual_key) {
    switch (virtual_key) {
        case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_LSHIFT: case VK_RSHIFT:
        case VK_LCONTROL: case VK_RCONTROL: case VK_LMENU: case VK_RMENU: case VK_NUMLOCK:
        case VK_CAPITAL: case VK_SCROLL:
            return true;
        default:
            return false;
    }
}

// "shift+ctrl+alt+Up", "KP_7", "F12", "ctrl+char:24": the modifiers held, then
// the table key's or keypad digit's X name, else the character's code.
void name_key(const KEY_EVENT_RECORD& k, char* name, size_t size) {
    const DWORD state = k.dwControlKeyState;
    const char* shift = state & SHIFT_PRESSED ? "shift+" : "";
    const char* ctrl = state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED) ? "ctrl+" : "";
    const char* alt = state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED) ? "alt+" : "";
    char key[16];
    std::snprintf(key, sizeof key, "char:%u", static_cast<unsigned char>(k.uChar.AsciiChar));
    for (const table_key& t : navigation_keys)
        if (t.virtual_key == k.wVirtualKeyCode) std::snprintf(key, sizeof key, "%s", t.name);
    if (k.wVirtualKeyCode >= VK_F1 && k.wVirtualKeyCode <= VK_F12)
        std::snprintf(key, sizeof key, "F%d", k.wVirtualKeyCode - VK_F1 + 1);
    if (k.wVirtualKeyCode >= VK_NUMPAD0 && k.wVirtualKeyCode <= VK_NUMPAD9)
        std::snprintf(key, sizeof key, "KP_%d", k.wVirtualKeyCode - VK_NUMPAD0);
    std::snprintf(name, size, "%s%s%s%s", shift, ctrl, alt, key);
}

int run_typed() {
    os_init();
    input = open_console_input();
    for (;;) {
        INPUT_RECORD record;
        DWORD peeked = 0;
        if (!PeekConsoleInputA(input, &record, 1, &peeked) || peeked == 0) {
            Sleep(1);
            continue;
        }
        const KEY_EVENT_RECORD& k = record.Event.KeyEvent;
        const bool press = record.EventType == KEY_EVENT && k.bKeyDown;
        const bool logged = press && !modifier_key(k.wVirtualKeyCode);
        if (logged) {
            char name[48];
            name_key(k, name, sizeof name);
            report("typed=%s want=%d/%d", name, table_code(k.wVirtualKeyCode, k.dwControlKeyState),
                   static_cast<signed char>(k.uChar.AsciiChar));
        }
        int key = -1, character = -1;
        os_get_input(&key, &character);
        if (logged) report("got=%d/%d", key, character);
        else if (key != 0 || character != 0) report("unlogged record gave %d/%d", key, character);
        if (logged && character == 'q') return 0;
    }
}

int run_input() {
    os_init();
    input = open_console_input();
    check_navigation_keys();
    check_function_keys();
    check_other_keys();
    check_sequences();
    check_pauses();
    check_drain();
    report("done=1");
    return 0;
}

}  // namespace

GAME_ENTRY {
    const char* scenario = argc > 1 ? argv[1] : "";
    if (std::strcmp(scenario, "input") == 0) return run_input();
    if (std::strcmp(scenario, "typed") == 0) return run_typed();
    report("unknown scenario <%s>", scenario);
    return 3;
}
