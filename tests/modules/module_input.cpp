// Keys typed on a real keyboard (a console window), for tests/wine/test_window.sh.
// Scenario "typed" (argv[1]) writes two lines to probe.out per key pressed:
// "typed=NAME want=KEY/CHAR", read from the record before the host takes it,
// then "got=KEY/CHAR", what os_get_input reported. It returns 0 after a q.
#include <cstdio>
#include <cstring>

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
            report("typed=%s want=%d/%d", name, key_code(k.wVirtualKeyCode, k.dwControlKeyState),
                   static_cast<signed char>(k.uChar.AsciiChar));
        }
        int key = -1, character = -1;
        os_get_input(&key, &character);
        if (logged) report("got=%d/%d", key, character);
        else if (key != 0 || character != 0) report("unlogged record gave %d/%d", key, character);
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
