// The self-test's checks, shared by the runner and its test module, each beside
// the call it checks: OK(condition, "what is checked", ...); OK_EQ(expected,
// actual, ...) for integers; OK_EITHER(windows, wine, ...) where Windows' and
// Wine's consoles answer differently (console_view.h); OK_THAT(outcome, ...)
// for a comparison whose failure says what differs; SKIPPED("what is not
// checked, and why", ...). Each result is a line "PASS|FAIL|SKIP<TAB>file:line
// <TAB>text"; FIGURE lines carry what the player's machine measured, WARN lines
// what the player should know of it. The runner keeps its own lines; the
// module writes its to the results file, for the console is under test.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstring>

// Where a program keeps its result lines: the runner in memory, the module in
// its results file. Each program defines it.
void record_line(const char* line);

// The context of the checks that follow (a scenario's title, a table row's
// name), put before each one's text while a check_context lives.
inline const char*& current_context() {
    static const char* context = nullptr;
    return context;
}
struct check_context {
    const char* outer;
    explicit check_context(const char* context) : outer(current_context()) { current_context() = context; }
    ~check_context() { current_context() = outer; }
    check_context(const check_context&) = delete;
};

// A check's verdict, and what its line adds to the check's own text: both
// sides of a failed comparison, which console's answer was seen.
struct outcome { bool passed; char detail[192]; };

inline outcome verdict(bool passed) { return {passed, ""}; }

inline outcome compare_equal(long long expected, long long actual) {
    outcome o = {expected == actual, ""};
    if (!o.passed) std::snprintf(o.detail, sizeof o.detail, ": expected %lld, got %lld", expected, actual);
    return o;
}

// Passes on Wine's answer only where the console answers as Wine's does.
inline outcome compare_either(bool windows, bool wine, bool wine_console) {
    outcome o = {wine_console ? wine : windows, ""};
    std::snprintf(o.detail, sizeof o.detail, " (%s answer%s)",
                  windows ? "Windows'" : wine ? "Wine's" : "neither console's",
                  o.passed ? "" : wine_console ? ", where Wine's is due" : ", where Windows' is due");
    return o;
}

// Records one line, "KIND<TAB>file:line<TAB>context: text" and DETAIL; a note
// (FILE null: a FIGURE or a WARN) has "-" for its place and no context.
inline void record_formatted(const char* kind, const char* file, int line, const char* detail,
                             const char* format, ...) {
    char text[512];
    const char* context = file != nullptr ? current_context() : nullptr;
    int length = file != nullptr ? std::snprintf(text, sizeof text, "%s\t%s:%d\t%s%s", kind, file, line,
                                                 context != nullptr ? context : "",
                                                 context != nullptr ? ": " : "")
                                 : std::snprintf(text, sizeof text, "%s\t-\t", kind);
    if (length < 0 || length >= static_cast<int>(sizeof text)) length = 0;
    va_list args;
    va_start(args, format);
    std::vsnprintf(text + length, sizeof text - length, format, args);
    va_end(args);
    const size_t used = std::strlen(text);
    std::snprintf(text + used, sizeof text - used, "%s", detail);
    record_line(text);
}

template <typename... Args>
bool record_check(const outcome& o, const char* file, int line, const char* format, Args... args) {
    record_formatted(o.passed ? "PASS" : "FAIL", file, line, o.detail, format, args...);
    return o.passed;
}
template <typename... Args>
void figure(const char* format, Args... args) { record_formatted("FIGURE", nullptr, 0, "", format, args...); }
template <typename... Args>
void warning(const char* format, Args... args) { record_formatted("WARN", nullptr, 0, "", format, args...); }

// A check of any outcome: OK_THAT(compare_...(...), "what is checked", ...).
#define OK_THAT(result, ...) record_check((result), __FILE__, __LINE__, __VA_ARGS__)
#define OK(condition, ...) OK_THAT(verdict(condition), __VA_ARGS__)
#define OK_EQ(expected, actual, ...) \
    OK_THAT(compare_equal(static_cast<long long>(expected), static_cast<long long>(actual)), __VA_ARGS__)
#define SKIPPED(...) record_formatted("SKIP", __FILE__, __LINE__, "", __VA_ARGS__)
