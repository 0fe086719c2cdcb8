// The one reader of result lines (check.h writes them): "KIND<TAB>file:line<TAB>text",
// KIND one of PASS, FAIL, SKIP, FIGURE, WARN (FIGURE and WARN with "-" for a
// place), or "NOTE<TAB>text", a module's note to its runner. The runner reads
// its own and its module's lines with it, and the native contract_lines reads
// a Wine test module's probe.out for the scripts. Plain C++, no windows.h.
#pragma once

#include <string>

struct result_line {
    std::string kind, where, text;
    bool is(const char* name) const { return kind == name; }
    // A check's verdict: PASS, FAIL or SKIP.
    bool verdict() const { return is("PASS") || is("FAIL") || is("SKIP"); }
};

// Reads LINE into *R; false for a line that is no result line (a log line, a
// line cut short).
inline bool read_result_line(const std::string& line, result_line* r) {
    static const char* const kinds[] = {"PASS", "FAIL", "SKIP", "FIGURE", "WARN", "NOTE"};
    const size_t first = line.find('\t');
    if (first == std::string::npos) return false;
    r->kind = line.substr(0, first);
    bool known = false;
    for (const char* kind : kinds) known = known || r->kind == kind;
    const size_t second = line.find('\t', first + 1);
    if (!known || (second == std::string::npos && !r->is("NOTE"))) return false;
    r->where = second == std::string::npos ? "" : line.substr(first + 1, second - first - 1);
    r->text = line.substr(second == std::string::npos ? first + 1 : second + 1);
    return true;
}

// Calls EACH(result_line) for each result line of TEXT, lines ending in "\n".
template <typename Each>
void for_each_result_line(const std::string& text, Each each) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        result_line r;
        if (read_result_line(text.substr(start, end - start), &r)) each(r);
        start = end + 1;
    }
}
