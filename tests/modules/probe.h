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
#include "results_file.h"

// Each line is appended to probe.out, the file closed again, so that it
// survives whatever way the process ends.
constexpr char probe_file[] = "probe.out";

void record_line(const char* line) { append_line(probe_file, line); }

inline void report(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    append_line(probe_file, line);
}

inline HANDLE open_console_input() {
    return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}
