// What a witness of the console sees: the mark of the active buffer (see
// probe.h's mark_buffer) and the console's input mode, written as
//   active_mark=C     the mark cell of the active buffer
//   module_loaded=0|1 whether "Umberdeep.dll" is still mapped (when asked)
//   input_mode=N      the console's input mode, in decimal
//   output_mode=N     the active buffer's output mode, in decimal
//   cursor=visible|hidden  the active buffer's cursor
// The last two tell the player's buffer from the game's where the mark cell may
// have scrolled away (a debugger's report after a crash).
// Only kernel32 is used: in a DLL's process detach the C runtime may already be
// shut down.
#pragma once

#include <windows.h>


inline void append(char* line, size_t* length, const char* text) {
    while (*text != '\0') line[(*length)++] = *text++;
}

inline void append_number(char* line, size_t* length, DWORD value) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) line[(*length)++] = digits[--count];
}

inline DWORD input_mode() {
    HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return 999999;
    return mode;
}

inline HANDLE active_buffer() {
    return CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

inline char active_mark(HANDLE active) {
    if (active == INVALID_HANDLE_VALUE) return '!';
    CHAR_INFO cell = {};
    SMALL_RECT region = {79, 24, 79, 24};
    if (!ReadConsoleOutputA(active, &cell, COORD{1, 1}, COORD{0, 0}, &region)) return '?';
    return cell.Char.AsciiChar;
}

// Appends the report to FILE in the current folder; the module line only when
// asked (a program run after the host has no module to look for).
inline void write_witness(const char* file_name, bool with_module) {
    char text[256];
    size_t length = 0;
    HANDLE active = active_buffer();
    append(text, &length, "active_mark=");
    text[length++] = active_mark(active);
    if (with_module) {
        append(text, &length, "\nmodule_loaded=");
        text[length++] = GetModuleHandleA("Umberdeep.dll") != nullptr ? '1' : '0';
    }
    append(text, &length, "\ninput_mode=");
    append_number(text, &length, input_mode());
    DWORD output_mode = 999999;
    if (!GetConsoleMode(active, &output_mode)) output_mode = 999999;
    append(text, &length, "\noutput_mode=");
    append_number(text, &length, output_mode);
    CONSOLE_CURSOR_INFO cursor = {};
    append(text, &length, "\ncursor=");
    append(text, &length, !GetConsoleCursorInfo(active, &cursor) ? "unknown"
                          : cursor.bVisible                      ? "visible"
                                                                 : "hidden");
    text[length++] = '\n';
    HANDLE file = CreateFileA(file_name, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}
