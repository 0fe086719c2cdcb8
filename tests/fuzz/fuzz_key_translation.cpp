// libFuzzer target: arbitrary whole input records through the key translation.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "contract.h"
#include "key_translation.h"

namespace {

[[noreturn]] void broken(const char* invariant, const INPUT_RECORD& record) {
    std::fprintf(stderr, "broken invariant: %s (event %u, down %d, vk %u, char %d, state %#x)\n",
                 invariant, record.EventType, record.Event.KeyEvent.bKeyDown,
                 record.Event.KeyEvent.wVirtualKeyCode, record.Event.KeyEvent.uChar.AsciiChar,
                 record.Event.KeyEvent.dwControlKeyState);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    INPUT_RECORD record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, data, size < sizeof record ? size : sizeof record);

    const key_translation t = translate_input_record(record);
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    const bool key_down = record.EventType == KEY_EVENT && key.bKeyDown != 0;
    const DWORD state = key.dwControlKeyState;

    if (!in_vocabulary(t.key_code)) broken("key code outside the vocabulary", record);
    if (!key_down && (t.key_code != 0 || t.char_code != 0 || t.ends_process))
        broken("a record that is no key press yields something", record);
    if (key_down && t.char_code != static_cast<signed char>(key.uChar.AsciiChar))
        broken("character is not the record's signed byte", record);
    if (t.char_code < -128 || t.char_code > 127) broken("character outside a signed byte", record);
    if ((state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) && t.key_code != 0 && t.key_code < keys::alt_f1)
        broken("Alt yields a code other than Alt+F1-F9", record);
    if ((state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) == 0 && t.key_code >= keys::alt_f1 &&
        t.key_code <= keys::alt_f9)
        broken("an Alt code without Alt", record);
    if (t.ends_process != (key_down && (t.key_code == keys::alt_f4 || t.char_code == keys::exit_character)))
        broken("the process ends other than for Alt+F4 or character 24", record);
    return 0;
}
