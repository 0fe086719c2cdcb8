// How the test modules keep their result lines: appended to a file in the
// current folder (the self-test's results file, a Wine test's probe.out),
// opened and closed for each line so that every line survives
// whatever way the process ends. Only kernel32: a DLL's process detach may run
// after the C runtime has shut down.
#pragma once

#include <windows.h>

#include "check.h"
#include "scenario.h"

// Appends LINE and a line end to the file at PATH.
inline void append_line(const char* path, const char* line) {
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

inline void append_to_results_file(const char* line) { append_line(selftest::results_file, line); }
