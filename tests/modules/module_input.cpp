// Keys typed on a real keyboard (a console window), for tests/wine/test_window.sh.
// Scenario "typed" (argv[1]) writes the groups of keys the script is to type to
// plan.txt ("typed_alone" none), then checks every key pressed against them:
// the key's name, read from the record before the host takes it, and that
// os_get_input reported the key table's code and the record's character. It
// states one check a group (selftest/check.h, into probe.out): "LABEL (N keys)",
// a failure naming each wrong key, "NAME(expected NAME)" or "NAME(got=K/C,want=K/C)";
// and writes the plain line "typed=NAME want=KEY/CHAR" for each key beyond the
// groups, before the host takes it. It returns 0 after a q.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"
#include "contract.h"
#include "os_services.h"
#include "probe.h"

namespace {

HANDLE input = nullptr;

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
    for (const key_row& row : key_rows)
        if (row.virtual_key == k.wVirtualKeyCode) std::snprintf(key, sizeof key, "%s", row.x_name);
    if (k.wVirtualKeyCode >= VK_NUMPAD0 && k.wVirtualKeyCode <= VK_NUMPAD9)
        std::snprintf(key, sizeof key, "KP_%d", k.wVirtualKeyCode - VK_NUMPAD0);
    std::snprintf(name, size, "%s%s%s%s", shift, ctrl, alt, key);
}

// The groups of keys the script types, in order: TYPED the HOW way ("window":
// X events to the window; "slow": the same, a second apart, for characters
// the keyboard map lacks; "server": through the X server's keyboard, which
// keeps Num Lock's state), each key then named as EXPECTED says.
struct typed_group {
    std::string label, how, typed, expected;
};

// The keys of the table, those with codes or those that give 0, each plain and
// with Shift, Ctrl, Shift+Ctrl, Alt and Ctrl+Alt; Alt+F4 is left out, as it
// ends the game.
std::string table_keys(bool with_codes) {
    static const char* const modifiers[] = {"", "shift+", "ctrl+", "shift+ctrl+", "alt+", "ctrl+alt+"};
    std::string keys;
    for (const key_row& row : key_rows) {
        if ((row.plain != 0) != with_codes) continue;
        for (const char* modifier : modifiers)
            if (row.virtual_key != VK_F4 || std::strstr(modifier, "alt+") == nullptr)
                keys += std::string(keys.empty() ? "" : " ") + modifier + row.x_name;
    }
    return keys;
}

std::vector<typed_group> typed_groups() {
    const std::string keypad =
        "Num_Lock KP_Home KP_Up KP_Prior KP_Left KP_Begin KP_Right KP_End KP_Down KP_Next KP_Insert";
    return {
        {"every row of the key table with every modifier", "window", table_keys(true), table_keys(true)},
        {"F10-F12 with every modifier give 0", "window", table_keys(false), table_keys(false)},
        {"\xC3\xA9 and \xC3\xBC arrive as 0x82 and 0x81 (-126, -127)", "slow", "eacute udiaeresis",
         "char:130 char:129"},
        {"the keypad with Num Lock on types digits", "server", keypad,
         "KP_7 KP_8 KP_9 KP_4 KP_5 KP_6 KP_1 KP_2 KP_3 KP_0"},
        {"the keypad with Num Lock off gives the navigation codes (KP_Begin and KP_Insert are outside the table)",
         "server", keypad, "Home Up Prior Left char:0 Right End Down Next char:0"},
    };
}

// The plan the script follows: "HOW<TAB>TYPED" a group.
void write_plan(const std::vector<typed_group>& groups) {
    FILE* out = std::fopen("plan.txt", "wb");
    if (out == nullptr) return;
    for (const typed_group& g : groups) std::fprintf(out, "%s\t%s\n", g.how.c_str(), g.typed.c_str());
    std::fclose(out);
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// Where the typed keys stand against the groups.
struct typed_verdict {
    std::vector<typed_group> groups;
    size_t group = 0, key = 0;
    std::string wrong;

    bool beyond_groups() const { return group >= groups.size(); }

    void take(const char* name, int want_key, int want_char, int got_key, int got_char) {
        const typed_group& g = groups[group];
        const std::vector<std::string> expected = words(g.expected);
        char text[96] = "";
        if (expected[key] != name)
            std::snprintf(text, sizeof text, " %s(expected %s)", name, expected[key].c_str());
        else if (got_key != want_key || got_char != want_char)
            std::snprintf(text, sizeof text, " %s(got=%d/%d,want=%d/%d)", name, got_key, got_char,
                          want_key, want_char);
        wrong += text;
        if (++key < expected.size()) return;
        OK(wrong.empty(), "%s (%zu keys)%s%s", g.label.c_str(), expected.size(), wrong.empty() ? "" : ":",
           wrong.c_str());
        ++group;
        key = 0;
        wrong.clear();
    }
} verdict;

int run_typed(bool with_groups) {
    if (with_groups) verdict.groups = typed_groups();
    write_plan(verdict.groups);
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
        char name[48] = "";
        const int want_key = key_code(k.wVirtualKeyCode, k.dwControlKeyState);
        const int want_char = static_cast<signed char>(k.uChar.AsciiChar);
        if (logged) name_key(k, name, sizeof name);
        const bool in_group = logged && !verdict.beyond_groups();
        if (logged && !in_group) report("typed=%s want=%d/%d", name, want_key, want_char);
        int key = -1, character = -1;
        os_get_input(&key, &character);
        if (in_group) verdict.take(name, want_key, want_char, key, character);
        else if (!logged && (key != 0 || character != 0)) report("unlogged record gave %d/%d", key, character);
        if (logged && character == 'q') return 0;
    }
}

}  // namespace

int dll_main(int argc, char** argv) {
    const char* scenario = argc > 1 ? argv[1] : "";
    if (std::strcmp(scenario, "typed") == 0) return run_typed(true);
    if (std::strcmp(scenario, "typed_alone") == 0) return run_typed(false);
    report("unknown scenario <%s>", scenario);
    return 3;
}
