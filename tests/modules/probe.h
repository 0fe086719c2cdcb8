// For the test modules that help a Wine script: the lines the script reads
// back from "probe.out" in the current folder, and the console's input. The
// module's checks (selftest/check.h's OK, OK_EQ, SKIPPED) go there as
// "PASS|FAIL|SKIP<TAB>file:line<TAB>text", which tests/verdict.sh's
// module_verdicts turns into the script's results; report() adds plain lines
// (what was typed, what the module saw), which hold no tab-separated verdict.
// A module includes this header from one source file: it defines record_line.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "check.h"

// Appends one line to probe.out and closes the file again, so the line
// survives whatever way the process ends.
inline void append_probe_line(const char* line) {
    FILE* out = std::fopen("probe.out", "ab");
    if (out == nullptr) return;
    std::fputs(line, out);
    std::fputc('\n', out);
    std::fclose(out);
}

void record_line(const char* line) { append_probe_line(line); }

inline void report(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    append_probe_line(line);
}

inline HANDLE open_console_input() {
    return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}
