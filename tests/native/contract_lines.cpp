// What the Wine scripts read from the C++ side, so that a script holds the
// host to the same figures and reads result lines the same way as the C++ tests:
//   contract_lines                 the contract (contract.h), one "NAME VALUE..." line each:
//                                  "banner TOP BOTTOM LEFT RIGHT LAST_DARK_ROW",
//                                  "key X_NAME PLAIN SHIFT CTRL ALT" a row of the key table,
//                                  "exit_character CODE"
//   contract_lines banner_report   from a background map on standard input (rows of cells,
//                                  D dark grey, L light grey, X another colour, "." none):
//                                  "cells=N outside=N dark_rows=R1-R2 light_rows=R1-R2", how
//                                  many cells have a background, how many of them lie outside
//                                  the banner's rectangle, and the rows of the dark and light ones
//   contract_lines background_map  from tmux's capture-pane -e on standard input: each row of
//                                  cells as D (dark grey background, SGR 100), L (light grey,
//                                  SGR 47), X (another colour) or "." (none)
//   contract_lines verdicts FILE LABEL
//                                  the checks a test module wrote to FILE (result_line.h),
//                                  as the scripts' result lines (tests/verdict.sh): "PASS:
//                                  LABEL: text", "FAIL: LABEL: what: file:line: seen",
//                                  "SKIP: LABEL: text (file:line)"
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "contract.h"
#include "result_line.h"

namespace {

void print_contract() {
    std::printf("banner %d %d %d %d %d\n", banner::top, banner::bottom, banner::left, banner::right,
                banner::last_dark_row);
    for (const key_row& row : key_rows)
        std::printf("key %s %d %d %d %d\n", row.x_name, row.plain, row.shift, row.ctrl, row.alt);
    std::printf("exit_character %d\n", keys::exit_character);
}

// The first and last row a kind of cell was seen on: "R1-R2", or "-" for none.
struct rows_seen {
    int first = -1, last = -1;
    void see(int row) {
        if (first < 0) first = row;
        last = row;
    }
    std::string text() const {
        return first < 0 ? "-" : std::to_string(first) + "-" + std::to_string(last);
    }
};

void print_banner_report() {
    int cells = 0, outside = 0, row = 0;
    rows_seen dark, light;
    for (std::string line; std::getline(std::cin, line); ++row) {
        for (int x = 0; x < static_cast<int>(line.size()); ++x) {
            if (line[x] == '.') continue;
            ++cells;
            outside += !banner::covers(x, row);
            if (line[x] == 'D') dark.see(row);
            if (line[x] == 'L') light.see(row);
        }
    }
    std::printf("cells=%d outside=%d dark_rows=%s light_rows=%s\n", cells, outside, dark.text().c_str(),
                light.text().c_str());
}

// The background after the SGR parameters PARAMS ("1;47"), from BACKGROUND before them.
char sgr_background(const std::string& params, char background) {
    std::vector<int> p(1, 0);
    for (char c : params) {
        if (c == ';') p.push_back(0);
        else p.back() = p.back() * 10 + (c - '0');
    }
    for (size_t i = 0; i < p.size(); ++i) {
        if (p[i] == 0 || p[i] == 40 || p[i] == 49) background = '.';
        else if (p[i] == 100 || p[i] == 47) background = p[i] == 100 ? 'D' : 'L';
        else if ((p[i] >= 41 && p[i] <= 46) || (p[i] >= 101 && p[i] <= 107) || p[i] == 48) background = 'X';
        // A colour of 38 or 48 takes its own parameters: "5;N" or "2;R;G;B".
        if (p[i] == 38 || p[i] == 48) i += i + 1 < p.size() && p[i + 1] == 5 ? 2 : 4;
    }
    return background;
}

// Each character (a UTF-8 sequence) a cell; each escape sequence "ESC [ params letter" none.
void print_background_map() {
    for (std::string line; std::getline(std::cin, line);) {
        std::string cells;
        char background = '.';
        for (size_t i = 0; i < line.size(); ++i) {
            const size_t end = line.compare(i, 2, "\x1b[") == 0 ? line.find_first_not_of("0123456789;", i + 2)
                                                                : std::string::npos;
            if (end != std::string::npos && std::isalpha(static_cast<unsigned char>(line[end]))) {
                if (line[end] == 'm')
                    background = sgr_background(line.substr(i + 2, end - i - 2), background);
                i = end;
            } else if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) {
                cells += background;
            }
        }
        std::printf("%s\n", cells.c_str());
    }
}

// A failure's text says what was checked, then after its first ": " what was
// seen; its place goes between the two.
void print_verdict(const result_line& r, const char* label) {
    if (r.is("PASS")) std::printf("PASS: %s: %s\n", label, r.text.c_str());
    if (r.is("SKIP")) std::printf("SKIP: %s: %s (%s)\n", label, r.text.c_str(), r.where.c_str());
    if (!r.is("FAIL")) return;
    const size_t seen = r.text.find(": ");
    if (seen == std::string::npos)
        std::printf("FAIL: %s: %s: %s\n", label, r.text.c_str(), r.where.c_str());
    else
        std::printf("FAIL: %s: %s: %s: %s\n", label, r.text.substr(0, seen).c_str(), r.where.c_str(),
                    r.text.substr(seen + 2).c_str());
}

// The checks of FILE as the scripts' result lines.
void print_verdicts(const char* path, const char* label) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    for_each_result_line(text.str(), [&](const result_line& r) { print_verdict(r, label); });
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (argc == 1) print_contract();
    else if (argc == 2 && command == "banner_report") print_banner_report();
    else if (argc == 2 && command == "background_map") print_background_map();
    else if (argc == 4 && command == "verdicts") print_verdicts(argv[2], argv[3]);
    else {
        std::fprintf(stderr, "usage: contract_lines [banner_report|background_map|verdicts FILE LABEL]\n");
        return 2;
    }
    return 0;
}
