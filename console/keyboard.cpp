// Keyboard input: one console input record per poll, translated to key codes.
#include <cstdlib>

#include "console_state.h"
#include "key_translation.h"
#include "os_services.h"

namespace {

// Takes one waiting record off the input queue; false when there is none.
bool read_one_record(INPUT_RECORD* record) {
    if (console_handles.input == nullptr) return false;
    DWORD waiting = 0;
    if (!GetNumberOfConsoleInputEvents(console_handles.input, &waiting) || waiting == 0)
        return false;
    DWORD read = 0;
    return ReadConsoleInputA(console_handles.input, record, 1, &read) && read == 1;
}

}  // namespace

extern "C" void os_get_input(int* key_code, int* char_code) {
    Sleep(1);
    if (key_code != nullptr) *key_code = 0;
    if (char_code != nullptr) *char_code = 0;

    INPUT_RECORD record;
    if (!read_one_record(&record)) return;

    const key_translation key = translate_input_record(record);
    if (key_code != nullptr) *key_code = key.key_code;
    if (char_code != nullptr) *char_code = key.char_code;
    if (key.ends_process) std::exit(0);
}
