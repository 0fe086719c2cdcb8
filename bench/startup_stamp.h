// The start-up probe shared by the three programs the start-up is compared
// across: the wall-clock time at the first line, written to "startup.out".
#pragma once

#include <windows.h>

// Microseconds since 1970 on the system clock, the clock bash's EPOCHREALTIME
// reads on the other side of the "wine" command.
inline long long wall_clock_us() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    constexpr unsigned long long unix_epoch_ticks = 116444736000000000ULL;  // 1601 to 1970
    return static_cast<long long>((ticks - unix_epoch_ticks) / 10);
}

// Takes the time first, writes it afterwards: the file work is not measured.
// Plain WriteFile, no stdio: the bare program stays bare.
inline void record_first_line() {
    const long long reached = wall_clock_us();
    char text[24];
    int length = 0;
    char digits[20];
    int count = 0;
    unsigned long long rest = static_cast<unsigned long long>(reached);
    do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    while (count > 0) text[length++] = digits[--count];
    text[length++] = '\n';
    HANDLE out = CreateFileA("startup.out", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(out);
}
