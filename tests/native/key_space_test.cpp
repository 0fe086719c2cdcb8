// Every key record there is, through the real translation, against a separate
// statement of the key vocabulary.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "key_translation.h"

namespace {

// The vocabulary, written out per virtual key: navigation keys by scan code,
// function keys F1-F9 as 59 + their number.
int plain_code(int vk) {
    switch (vk) {
        case 0x24: return 71;  // Home
        case 0x26: return 72;  // Up
        case 0x21: return 73;  // Page Up
        case 0x25: return 75;  // Left
        case 0x27: return 77;  // Right
        case 0x23: return 79;  // End
        case 0x28: return 80;  // Down
        case 0x22: return 81;  // Page Down
        default: return vk >= 0x70 && vk <= 0x78 ? 59 + (vk - 0x70) : 0;
    }
}

int expected_key_code(int vk, unsigned state) {
    const bool alt = state & 0x3, ctrl = state & 0xC, shift = state & 0x10;
    const int plain = plain_code(vk);
    if (alt) return plain >= 59 && plain <= 67 ? plain + 1000 : 0;
    if (plain < 71) return plain;
    return shift ? plain + 2000 : ctrl ? plain + 3000 : plain;
}

bool in_vocabulary(int code) {
    if (code == 0 || (code >= 59 && code <= 67) || (code >= 1059 && code <= 1067)) return true;
    for (int base : {71, 72, 73, 75, 77, 79, 80, 81})
        if (code == base || code == base + 2000 || code == base + 3000) return true;
    return false;
}

TEST(KeySpace, EveryRecordTranslatesAsTheVocabularySays) {
    long records = 0, mismatches = 0, exits = 0;
    INPUT_RECORD record;
    std::memset(&record, 0, sizeof record);
    record.EventType = KEY_EVENT;
    KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    key.wRepeatCount = 1;
    for (int vk = 0; vk < 256; ++vk) {
        key.wVirtualKeyCode = static_cast<WORD>(vk);
        for (unsigned state = 0; state < 0x200; ++state) {
            key.dwControlKeyState = state;
            const int want_down = expected_key_code(vk, state);
            for (int down = 0; down < 2; ++down) {
                key.bKeyDown = down;
                for (int byte = 0; byte < 256; ++byte) {
                    key.uChar.AsciiChar = static_cast<CHAR>(byte);
                    const key_translation t = translate_input_record(record);
                    ++records;
                    const int want_key = down ? want_down : 0;
                    const int want_char = down ? (byte < 128 ? byte : byte - 256) : 0;
                    const bool want_exit = down && (want_key == 1062 || want_char == 24);
                    const bool alt_navigation = (state & 0x3) && t.key_code >= 71 &&
                                                (t.key_code % 1000) >= 71 && (t.key_code % 1000) <= 81;
                    if (t.key_code != want_key || t.char_code != want_char ||
                        t.ends_process != want_exit || !in_vocabulary(t.key_code) || alt_navigation) {
                        if (++mismatches <= 5)
                            ADD_FAILURE() << "vk " << vk << " state " << state << " down " << down
                                          << " byte " << byte << ": key " << t.key_code << " char "
                                          << t.char_code << " exit " << t.ends_process;
                    }
                    exits += t.ends_process;
                }
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    // Alt+F4: 256 characters x every state with an Alt bit (384); character 24:
    // every other key-down record of that byte (256 keys x 512 states, less
    // Alt+F4's own 384).
    EXPECT_EQ(exits, 256L * 384 + (256L * 512 - 384));
    std::printf("  key space: %ld records checked, %ld mismatches, %ld end the process\n", records,
                mismatches, exits);
}

}  // namespace
