// UmberdeepSafeMode-selftest.exe [--long | --only NAME] [--junit FILE] [--windows-rules] [HOST.exe]
// UmberdeepSafeMode-selftest.exe --bench [--quick] [--window] [HOST.exe]
// Checks a host against its contract in the console it runs in: each scenario
// (scenarios.def; with --only the one named) runs as a host process of its own
// in a temporary folder, the module checking the services from inside
// (module/), the runner what only the outside sees (scenarios.cpp). Nothing is
// printed while a host runs; the verdict (report.cpp), exit status 0 only when
// nothing failed, comes at the end.
#include <cstring>
#include <string>

#include "runner.h"

namespace {

void console_figures() {
    const UINT output = GetConsoleOutputCP();
    figure("output code page %u, input code page %u%s", output, GetConsoleCP(),
           output == 65001 ? ": bytes 128-255 are parts of UTF-8 characters, not characters"
                           : "");
    // A console that draws into a terminal keeps a window nobody sees:
    // Windows' pseudo-console, and Wine's console on a Linux terminal.
    HWND window = GetConsoleWindow();
    char kind[64] = "";
    if (window != nullptr) GetClassNameA(window, kind, sizeof kind);
    const bool pseudo = std::strcmp(kind, "PseudoConsoleWindow") == 0;
    const bool shown = window != nullptr && IsWindowVisible(window);
    figure("console: %s%s%s%s",
           window == nullptr ? "no console window"
           : pseudo          ? "a pseudo-console (a terminal program)"
           : !shown          ? "a terminal (the console shows no window)"
                             : "a console window of class ",
           shown && !pseudo ? kind : "",
           is_set("WT_SESSION") ? ", in Windows Terminal" : "",
           windows_rules() ? ", under Wine with Windows' rules" : under_wine() ? ", under Wine" : "");
}

// Prints the usage; returns STATUS: 0 when it was asked for, 2 after a bad command line.
int usage(int status = 2) {
    std::printf("usage: UmberdeepSafeMode-selftest.exe [--long | --only NAME] [--junit FILE] [--windows-rules] [HOST.exe]\n"
                "       UmberdeepSafeMode-selftest.exe --bench [--quick] [--window] [HOST.exe]\n"
                "NAME, a scenario:");
    for (const scenario& c : all_scenarios) std::printf(" %s", c.name);
    std::printf("\n");
    return status;
}

struct request {  // what the command line asks for
    const char* junit = nullptr;
    const scenario* only = nullptr;
    bool with_long = false, bench = false;
    std::string bench_options;  // the bench scenario's arguments after its name
};

// Reads the command line into S and R; returns the status to end with now, or -1.
int read_command_line(int argc, char** argv, setup* s, request* r) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") return usage(0);
        if (option == "--long") r->with_long = true;
        else if (option == "--windows-rules")
            SetEnvironmentVariableA(windows_rules_variable, "1");  // the hosts inherit it
        else if (option == "--junit" && i + 1 < argc) r->junit = argv[++i];
        else if (option == "--only" && i + 1 < argc) {
            const std::string name = argv[++i];
            for (const scenario& c : all_scenarios) r->only = name == c.name ? &c : r->only;
            if (r->only == nullptr) return usage();
        }
        else if (option == "--bench") r->bench = true;
        else if (option == "--quick" || option == "--window") r->bench_options += " " + option.substr(2);
        else if (option[0] == '-') return usage();
        else s->host = option;
    }
    return !r->bench && !r->bench_options.empty() ? usage() : -1;
}

// A path that the ANSI functions the runner uses can take: the path itself
// where the ANSI code page can write it, else its short form, which is plain
// ASCII (a user name outside the code page would otherwise come out as ?s).
std::string ansi_path(const wchar_t* wide) {
    const bool utf8 = GetACP() == CP_UTF8;  // takes no default-character flag
    char out[MAX_PATH * 3] = "";
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, out, sizeof out, nullptr, utf8 ? nullptr : &lossy) > 0 &&
        !lossy)
        return out;
    wchar_t short_form[MAX_PATH] = L"";
    if (GetShortPathNameW(wide, short_form, MAX_PATH) > 0)
        WideCharToMultiByte(CP_ACP, 0, short_form, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The host as a full path and the modules beside the self-test; false when
// the host or the test module is missing.
bool find_modules(const std::string& here, setup* s) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(s->host.c_str(), sizeof full, full, nullptr);
    if (length > 0 && length < sizeof full) s->host = full;
    s->module = here + "\\selftest-module.dll";
    s->no_entry_module = here + "\\selftest-no-entry.dll";
    // The release keeps each bitness's self-test in selftest\x64 and selftest\x86.
    const std::string other =
        here + (sizeof(void*) == 8 ? "\\..\\x86" : "\\..\\x64") + "\\selftest-module.dll";
    if (exists(other)) s->other_module = other;
    return exists(s->host) && exists(s->module);
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    setup s;
    request r;
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string here = ansi_path(self);
    here = here.substr(0, here.find_last_of("\\/"));
    s.host = here + (sizeof(void*) == 8 ? "\\..\\..\\bin\\x64" : "\\..\\..\\bin\\x86") +
             "\\UmberdeepSafeMode.exe";
    const int status = read_command_line(argc, argv, &s, &r);
    if (status >= 0) return status;
    if (!find_modules(here, &s)) {
        std::printf("No host at %s, or no selftest-module.dll beside the self-test.\n", s.host.c_str());
        return usage();
    }
    if (!take_console()) {
        std::printf("The self-test needs a console: run it in cmd, PowerShell or Windows Terminal.\n");
        return 2;
    }
    OK_EQ(distinct_input_mode, player.test_mode, "the console takes the runner's input mode");
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    s.temp = ansi_path(temp) + "UmberdeepSafeMode-selftest-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(s.temp.c_str(), nullptr);
    // Without a desktop (Wine without a display) MessageBoxA returns at once.
    HWND probe = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    s.desktop = probe != nullptr && DestroyWindow(probe);
    if (r.bench) return run_bench(s, r.bench_options);

    check_exports(s);
    int index = 0;
    for (const scenario& c : all_scenarios)
        if (r.only != nullptr ? &c == r.only : !c.long_only || r.with_long) run_scenario(s, c, index++);
    console_figures();

    release_console();
    remove_folder(s.temp);
    return verdict(r.junit);
}
