// The verdict: every result line the runner and the modules recorded, the
// failures with file and line and the warnings, "N passed, N failed"
// (", N skipped"), the figures; and the same results as a JUnit report.
#include <cstdio>

#include "runner.h"

std::vector<result_line> recorded_results;

namespace {

std::string xml_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        const char* entity = c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '>' ? "&gt;"
                           : c == '"' ? "&quot;" : "";
        if (*entity != '\0') out += entity;
        else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
    return out;
}

// The check as a JUnit test case: file, line, text, and what failed or was skipped.
std::string junit_case(const result_line& r) {
    const size_t colon = r.where.rfind(':');
    const std::string file = xml_escaped(r.where.substr(0, colon));
    std::string out = "    <testcase classname=\"" + file + "\" name=\"" + xml_escaped(r.text) +
                      "\" file=\"" + file + "\" line=\"" + r.where.substr(colon + 1) + "\"";
    if (r.is("PASS")) return out + "/>\n";
    return out + ">\n      <" + (r.is("FAIL") ? "failure" : "skipped") + " message=\"" +
           xml_escaped(r.where + ": " + r.text) + "\"/>\n    </testcase>\n";
}

}  // namespace

void record_line(const char* line) {
    result_line r;
    if (read_result_line(line, &r)) recorded_results.push_back(r);
}

int verdict(const char* junit) {
    int passed = 0, failed = 0, skipped = 0;
    std::string cases;
    for (const result_line& r : recorded_results) {
        if (r.is("WARN")) std::printf("WARNING: %s\n", r.text.c_str());
        if (!r.verdict()) continue;
        if (!r.is("PASS") && failed + skipped == 0)
            std::printf("For the report: each line names its check's place in the self-test's source.\n");
        passed += r.is("PASS");
        failed += r.is("FAIL");
        skipped += r.is("SKIP");
        if (!r.is("PASS")) std::printf("%s %s: %s\n", r.kind.c_str(), r.where.c_str(), r.text.c_str());
        cases += junit_case(r);
    }
    std::printf("%d passed, %d failed", passed, failed);
    if (skipped > 0) std::printf(", %d skipped", skipped);
    std::printf("\n\nFigures from this machine:\n");
    for (const result_line& r : recorded_results)
        if (r.is("FIGURE")) std::printf("  %s\n", r.text.c_str());
    std::fflush(stdout);
    FILE* out = junit != nullptr ? std::fopen(junit, "wb") : nullptr;
    if (junit != nullptr && out == nullptr) std::printf("cannot write %s\n", junit);
    if (out != nullptr) {
        std::fprintf(out,
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  <testsuite "
                     "name=\"UmberdeepSafeMode-selftest\" tests=\"%d\" failures=\"%d\" skipped=\"%d\">\n%s"
                     "  </testsuite>\n</testsuites>\n",
                     passed + failed + skipped, failed, skipped, cases.c_str());
        std::fclose(out);
    }
    return failed == 0 && (junit == nullptr || out != nullptr) ? 0 : 1;
}
