// The key vocabulary: console input records to key codes and characters.
#include "key_translation.h"

#include "os_services.h"

namespace {

struct key_table_row {
    WORD virtual_key;
    int plain_code;
    bool navigation;  // takes the Shift and Ctrl variants; function keys take Alt
};

// Virtual-key code to plain key code (the key's PC scan code).
constexpr key_table_row key_table[] = {
    {VK_HOME, OS_KEY_HOME, true},        {VK_UP, OS_KEY_UP, true},
    {VK_PRIOR, OS_KEY_PAGE_UP, true},    {VK_LEFT, OS_KEY_LEFT, true},
    {VK_RIGHT, OS_KEY_RIGHT, true},      {VK_END, OS_KEY_END, true},
    {VK_DOWN, OS_KEY_DOWN, true},        {VK_NEXT, OS_KEY_PAGE_DOWN, true},
    {VK_F1, OS_KEY_F1, false},           {VK_F2, OS_KEY_F2, false},
    {VK_F3, OS_KEY_F3, false},           {VK_F4, OS_KEY_F4, false},
    {VK_F5, OS_KEY_F5, false},           {VK_F6, OS_KEY_F6, false},
    {VK_F7, OS_KEY_F7, false},           {VK_F8, OS_KEY_F8, false},
    {VK_F9, OS_KEY_F9, false},
};

const key_table_row* find_key(WORD virtual_key) {
    for (const key_table_row& row : key_table)
        if (row.virtual_key == virtual_key) return &row;
    return nullptr;
}

// Alt wins over Shift, Shift over Ctrl; Alt only ever gives F1-F9 a code.
int translate_key(WORD virtual_key, DWORD control_state) {
    const key_table_row* row = find_key(virtual_key);
    if (row == nullptr) return 0;
    if (control_state & alt_bits) return row->navigation ? 0 : OS_KEY_ALT(row->plain_code);
    if (!row->navigation) return row->plain_code;
    if (control_state & shift_bit) return OS_KEY_SHIFT(row->plain_code);
    if (control_state & ctrl_bits) return OS_KEY_CTRL(row->plain_code);
    return row->plain_code;
}

constexpr int alt_f4 = OS_KEY_ALT(OS_KEY_F4);

}  // namespace

key_translation translate_input_record(const INPUT_RECORD& record) {
    key_translation result = {0, 0, false};
    if (record.EventType != KEY_EVENT) return result;
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    if (!key.bKeyDown) return result;

    result.char_code = static_cast<signed char>(key.uChar.AsciiChar);
    result.key_code = translate_key(key.wVirtualKeyCode, key.dwControlKeyState);
    result.ends_process = result.key_code == alt_f4 || result.char_code == OS_CHAR_EXIT;
    return result;
}
