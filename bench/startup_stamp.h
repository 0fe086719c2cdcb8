// The start-up probe shared by the three programs the start-up is compared
// across. Writes to "startup.out" the wall-clock time at the first line, and
// the time from the process's creation (as the system recorded it) to there.
#pragma once

#include <windows.h>

inline unsigned long long filetime_ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Microseconds since 1970 on the system clock, the clock bash's EPOCHREALTIME
// reads on the other side of the "wine" command.
inline long long unix_us(unsigned long long filetime) {
    constexpr unsigned long long unix_epoch_ticks = 116444736000000000ULL;  // 1601 to 1970
    return static_cast<long long>((filetime - unix_epoch_ticks) / 10);
}

inline void append_number(char* text, int& length, long long value) {
    if (value < 0) {
        text[length++] = '-';
        value = -value;
    }
    char digits[20];
    int count = 0;
    unsigned long long rest = static_cast<unsigned long long>(value);
    do {
        digits[count++] = static_cast<char>('0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    while (count > 0) text[length++] = digits[--count];
}

// Takes the time first, writes it afterwards: the file work is not measured.
// Plain WriteFile, no stdio: the bare program stays bare.
inline void record_first_line() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    FILETIME created, exited, kernel, user;
    long long since_creation = -1;
    if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        since_creation = unix_us(filetime_ticks(now)) - unix_us(filetime_ticks(created));

    char text[48];
    int length = 0;
    append_number(text, length, unix_us(filetime_ticks(now)));
    text[length++] = ' ';
    append_number(text, length, since_creation);
    text[length++] = '\n';
    HANDLE out = CreateFileA("startup.out", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(out, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(out);
}
