// The self-test's assertion vocabulary, shared by the runner and its test
// module. Each check states its expectation beside the call it checks:
//
//   OK(condition, "what is checked", ...)            passes when condition holds
//   OK_EQ(expected, actual, "what is checked", ...)  integers; a failure shows both
//   SKIPPED("what is not checked, and why", ...)
//
// Every result becomes one line, "PASS|FAIL|SKIP<TAB>file:line<TAB>text"; the
// runner keeps its own and reads the module's from the results file the module
// writes in its folder (the console is under test, so nothing goes there).
// FIGURE lines carry what the player's machine measured, shown after the verdict.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>

// Where a program keeps its result lines: the runner in memory, the module in
// its results file. Each program defines it.
void record_line(const char* line);

inline void record_formatted(const char* kind, const char* file, int line, const char* detail,
                             const char* format, va_list args) {
    char text[512];
    int length = std::snprintf(text, sizeof text, "%s\t%s:%d\t", kind, file, line);
    if (length < 0 || length >= static_cast<int>(sizeof text)) length = 0;
    std::vsnprintf(text + length, sizeof text - length, format, args);
    if (detail != nullptr) {
        const size_t used = std::strlen(text);
        std::snprintf(text + used, sizeof text - used, "%s", detail);
    }
    record_line(text);
}

inline bool check_that(bool passed, const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    record_formatted(passed ? "PASS" : "FAIL", file, line, nullptr, format, args);
    va_end(args);
    return passed;
}

inline bool check_equal(long long expected, long long actual, const char* file, int line,
                        const char* format, ...) {
    char detail[96] = "";
    if (expected != actual)
        std::snprintf(detail, sizeof detail, ": expected %lld, got %lld", expected, actual);
    va_list args;
    va_start(args, format);
    record_formatted(expected == actual ? "PASS" : "FAIL", file, line, detail, format, args);
    va_end(args);
    return expected == actual;
}

inline void check_skipped(const char* file, int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    record_formatted("SKIP", file, line, nullptr, format, args);
    va_end(args);
}

inline void figure(const char* format, ...) {
    char text[256] = "FIGURE\t-\t";
    const size_t used = std::strlen(text);
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + used, sizeof text - used, format, args);
    va_end(args);
    record_line(text);
}

#define OK(condition, ...) check_that((condition), __FILE__, __LINE__, __VA_ARGS__)
#define OK_EQ(expected, actual, ...)                                                    \
    check_equal(static_cast<long long>(expected), static_cast<long long>(actual), __FILE__, \
                __LINE__, __VA_ARGS__)
#define SKIPPED(...) check_skipped(__FILE__, __LINE__, __VA_ARGS__)

// What the runner and the module agree on.
namespace selftest {

constexpr const char results_file[] = "results.txt";
// The module's second copy, loaded and never freed: its DLL_PROCESS_DETACH runs
// after the host's at-exit list and sees the console as the process leaves it.
constexpr const char witness_file[] = "witness.dll";
// The runner marks the last cell of the player's buffer with this character, so
// that anyone can tell that buffer from another by reading the active one.
constexpr char player_mark = '\x04';
// The arguments after the scenario's name in the "console" run; the entry must
// get them unchanged.
constexpr const char* passed_arguments[] = {"two words", "", "quote\"d", "back\\slash\\"};
// What the "console" run's entry returns.
constexpr int entry_result = 7;
// What a scenario returns when the host did not end the process as it should.
constexpr int survived = 5;
// The calibration scenario: the module leaves through ExitProcess, which skips
// the host's at-exit list, with this status.
constexpr char skip_at_exit[] = "skip_at_exit";
constexpr int skipped_exit_status = 3;
// The first argument that makes the module's DllMain refuse to load.
constexpr const char refuse_argument[] = "refuse-to-load";

}  // namespace selftest
