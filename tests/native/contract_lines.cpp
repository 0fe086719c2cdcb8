// What the Wine scripts read from the C++ side, so that a script holds the
// host to the same figures and reads result lines the same way as the C++ tests:
//   contract_lines                 the contract (contract.h), one "NAME VALUE..." line each:
//                                  "banner TOP BOTTOM LEFT RIGHT LAST_DARK_ROW",
//                                  "key X_NAME PLAIN SHIFT CTRL ALT" a row of the key table,
//                                  "exit_character CODE", "erased ATTRIBUTES"
//   contract_lines verdicts FILE LABEL
//                                  the checks a test module wrote to FILE (result_line.h),
//                                  as the scripts' result lines (tests/verdict.sh): "PASS:
//                                  LABEL: text", "FAIL: LABEL: what: file:line: seen",
//                                  "SKIP: LABEL: text (file:line)"
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "contract.h"
#include "result_line.h"

namespace {

void print_contract() {
    std::printf("banner %d %d %d %d %d\n", banner::top, banner::bottom, banner::left, banner::right,
                banner::last_dark_row);
    for (const key_row& row : key_rows)
        std::printf("key %s %d %d %d %d\n", row.x_name, row.plain, row.shift, row.ctrl, row.alt);
    std::printf("exit_character %d\nerased 0x%02X\n", keys::exit_character, banner::erased);
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

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) {
        print_contract();
        return 0;
    }
    if (argc != 4 || std::strcmp(argv[1], "verdicts") != 0) {
        std::fprintf(stderr, "usage: contract_lines [verdicts FILE LABEL]\n");
        return 2;
    }
    std::ifstream file(argv[2], std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    for_each_result_line(text.str(), [&](const result_line& r) { print_verdict(r, argv[3]); });
    return 0;
}
