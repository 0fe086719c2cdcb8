// The verdict: every result line the runner and the modules recorded, the
// failures with file and line and the warnings, "N passed, N failed"
// (", N skipped"), the figures; and the same results as a JUnit report.
#include <cstdio>

#include "runner.h"

namespace {

std::vector<std::string> results;  // "KIND<TAB>file:line<TAB>text", in order

std::string xml_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

}  // namespace

void record_line(const char* line) { results.emplace_back(line); }

const std::vector<std::string>& recorded_lines() { return results; }

result split(const std::string& line) {
    const size_t first = line.find('\t');
    const size_t second = line.find('\t', first + 1);
    return {line.substr(0, first), line.substr(first + 1, second - first - 1),
            line.substr(second + 1)};
}

int verdict(const char* junit) {
    int passed = 0, failed = 0, skipped = 0;
    bool told_where = false;
    std::string cases;
    for (const std::string& line : results) {
        const result r = split(line);
        if (r.kind == "WARN") std::printf("WARNING: %s\n", r.text.c_str());
        if (r.kind == "FIGURE" || r.kind == "WARN") continue;
        passed += r.kind == "PASS";
        failed += r.kind == "FAIL";
        skipped += r.kind == "SKIP";
        if (r.kind != "PASS" && !told_where)
            std::printf("For the report: each line names its check's place in the self-test's source.\n");
        told_where = told_where || r.kind != "PASS";
        if (r.kind != "PASS") std::printf("%s %s: %s\n", r.kind.c_str(), r.where.c_str(), r.text.c_str());
        const size_t colon = r.where.rfind(':');
        const std::string file = r.where.substr(0, colon);
        cases += "    <testcase classname=\"" + xml_escaped(file) + "\" name=\"" + xml_escaped(r.text) +
                 "\" file=\"" + xml_escaped(file) + "\" line=\"" + r.where.substr(colon + 1) + "\"";
        if (r.kind == "PASS") cases += "/>\n";
        else
            cases += ">\n      <" + std::string(r.kind == "FAIL" ? "failure" : "skipped") + " message=\"" +
                     xml_escaped(r.where + ": " + r.text) + "\"/>\n    </testcase>\n";
    }
    std::printf("%d passed, %d failed", passed, failed);
    if (skipped > 0) std::printf(", %d skipped", skipped);
    std::printf("\n\nFigures from this machine:\n");
    for (const std::string& line : results)
        if (line.compare(0, 7, "FIGURE\t") == 0) std::printf("  %s\n", split(line).text.c_str());
    std::fflush(stdout);
    if (junit != nullptr) {
        FILE* out = std::fopen(junit, "wb");
        if (out == nullptr) {
            std::printf("cannot write %s\n", junit);
            return 1;
        }
        std::fprintf(out,
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  <testsuite "
                     "name=\"UmberdeepSafeMode-selftest\" tests=\"%d\" failures=\"%d\" skipped=\"%d\">\n%s"
                     "  </testsuite>\n</testsuites>\n",
                     passed + failed + skipped, failed, skipped, cases.c_str());
        std::fclose(out);
    }
    return failed == 0 ? 0 : 1;
}
