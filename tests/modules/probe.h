// Helpers shared by the test modules: a report file the Wine tests read back,
// and handles on the console that show what the host did.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>

// Appends one line to "probe.out" in the current folder and flushes it, so the
// line survives whatever way the process ends.
inline void report(const char* format, ...) {
    FILE* out = std::fopen("probe.out", "ab");
    if (out == nullptr) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(out, format, args);
    va_end(args);
    std::fputc('\n', out);
    std::fclose(out);
}

// The buffer the console shows now.
inline HANDLE open_active_buffer() {
    return CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

inline HANDLE open_console_input() {
    return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// Under Wine the standard output handle follows the active buffer. A CONOUT$
// handle opened now stays tied to the buffer active now: installing it as
// standard output gives the host what it has on Windows, a handle to the
// initial buffer. Returns that handle.
inline HANDLE pin_initial_buffer() {
    HANDLE initial = open_active_buffer();
    SetStdHandle(STD_OUTPUT_HANDLE, initial);
    return initial;
}

// Marks a buffer by writing a recognisable cell into its last column, so that
// later the active buffer can be told apart: reads back that cell.
inline void mark_buffer(HANDLE buffer, char mark) {
    CHAR_INFO cell;
    cell.Char.AsciiChar = mark;
    cell.Attributes = 0x4F;
    SMALL_RECT region = {79, 24, 79, 24};
    WriteConsoleOutputA(buffer, &cell, COORD{1, 1}, COORD{0, 0}, &region);
}

inline char read_mark(HANDLE buffer) {
    CHAR_INFO cell = {};
    SMALL_RECT region = {79, 24, 79, 24};
    if (!ReadConsoleOutputA(buffer, &cell, COORD{1, 1}, COORD{0, 0}, &region)) return '?';
    return cell.Char.AsciiChar;
}

#define GAME_ENTRY extern "C" __declspec(dllexport) int dll_main(int argc, char** argv)
