// Keys typed on a real keyboard (a console window), for tests/wine/test_window.sh.
// Scenario "typed" (argv[1]) checks every key pressed against the groups of
// keys the script types (expected.txt, one a line: "LABEL<TAB>NAME NAME ..."):
// the key's name, read from the record before the host takes it, and that
// os_get_input reported the key table's code and the record's character. It
// writes one verdict a group to probe.out, "PASS LABEL (N keys)" or "FAIL LABEL
// (N keys): NAME(...) ...", and "typed=NAME want=KEY/CHAR" for each key beyond
// the groups, before the host takes it. It returns 0 after a q.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "key_vocabulary.h"
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

struct typed_group {
    std::string label;
    std::vector<std::string> keys;
};

std::vector<typed_group> read_groups() {
    std::vector<typed_group> groups;
    FILE* in = std::fopen("expected.txt", "rb");
    if (in == nullptr) return groups;
    char line[4096];
    while (std::fgets(line, sizeof line, in) != nullptr) {
        char* tab = std::strchr(line, '\t');
        if (tab == nullptr) continue;
        *tab = '\0';
        typed_group group{line, {}};
        for (char* key = std::strtok(tab + 1, " \r\n"); key != nullptr; key = std::strtok(nullptr, " \r\n"))
            group.keys.push_back(key);
        groups.push_back(group);
    }
    std::fclose(in);
    return groups;
}

// Where the typed keys stand against the groups, read when the first key comes:
// by then the script has written them all.
struct typed_verdict {
    bool read = false;
    std::vector<typed_group> groups;
    size_t group = 0, key = 0;
    std::string wrong;

    bool beyond_groups() {
        if (!read) groups = read_groups();
        read = true;
        return group >= groups.size();
    }

    void take(const char* name, int want_key, int want_char, int got_key, int got_char) {
        const typed_group& g = groups[group];
        char text[96] = "";
        if (g.keys[key] != name)
            std::snprintf(text, sizeof text, " %s(expected %s)", name, g.keys[key].c_str());
        else if (got_key != want_key || got_char != want_char)
            std::snprintf(text, sizeof text, " %s(got=%d/%d,want=%d/%d)", name, got_key, got_char,
                          want_key, want_char);
        wrong += text;
        if (++key < g.keys.size()) return;
        report("%s %s (%zu keys)%s%s", wrong.empty() ? "PASS" : "FAIL", g.label.c_str(), g.keys.size(),
               wrong.empty() ? "" : ":", wrong.c_str());
        ++group;
        key = 0;
        wrong.clear();
    }
} verdict;

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
    if (std::strcmp(scenario, "typed") == 0) return run_typed();
    report("unknown scenario <%s>", scenario);
    return 3;
}
