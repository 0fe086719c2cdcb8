// How the test modules keep their result lines: appended to a file in the
// current folder (results.txt, a Wine test's probe.out), opened and closed for
// each line so that every line survives however the process ends. Only
// kernel32: a DLL's process detach may run after the C runtime has shut down.
#pragma once

#include <windows.h>

#include "check.h"

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
