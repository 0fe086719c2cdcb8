// For the test modules that help a Wine script: a report file the script reads
// back, and the console's input.
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

inline HANDLE open_console_input() {
    return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}
