// Every key record there is, through the real translation, against the tests'
// statement of the key vocabulary (contract.h).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "contract.h"
#include "key_translation.h"

namespace {

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
            const int want_down = key_code(static_cast<WORD>(vk), state);
            for (int down = 0; down < 2; ++down) {
                key.bKeyDown = down;
                for (int byte = 0; byte < 256; ++byte) {
                    key.uChar.AsciiChar = static_cast<CHAR>(byte);
                    const key_translation t = translate_input_record(record);
                    ++records;
                    const int want_key = down ? want_down : 0;
                    const int want_char = down ? (byte < 128 ? byte : byte - 256) : 0;
                    const bool want_exit = down && (want_key == keys::alt_f4 || want_char == keys::exit_character);
                    if (t.key_code != want_key || t.char_code != want_char ||
                        t.ends_process != want_exit || !in_vocabulary(t.key_code)) {
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
