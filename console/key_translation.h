// Translation of one console input record into the game's key vocabulary.
#pragma once

#include <windows.h>

struct key_translation {
    int key_code;        // a key code of the vocabulary, or 0
    int char_code;       // the typed character as a signed byte, or 0
    bool ends_process;   // Alt+F4 or character 24: the game ends with status 0
};

// Pure: reads the record and nothing else.
key_translation translate_input_record(const INPUT_RECORD& record);

// Control-key state bits that take part in the translation; all others are ignored.
constexpr DWORD alt_bits = RIGHT_ALT_PRESSED | LEFT_ALT_PRESSED;
constexpr DWORD ctrl_bits = RIGHT_CTRL_PRESSED | LEFT_CTRL_PRESSED;
constexpr DWORD shift_bit = SHIFT_PRESSED;
