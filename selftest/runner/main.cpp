// UmberdeepSafeMode-selftest.exe [--long | --only NAME] [--junit FILE] [--windows-rules] [HOST.exe]
// UmberdeepSafeMode-selftest.exe --bench [--quick] [--window] [HOST.exe]
//
// Checks a host against its contract from inside Windows, in the console it
// runs in. It copies the host and the test module into a temporary folder and
// runs each scenario (scenarios.def; with --only the one named) as its own host
// process in this console; the module checks the services from inside
// (module/), the runner what only the outside sees (scenarios.cpp). Nothing is
// printed while a host runs; the verdict (report.cpp) comes at the end. Exit
// status 0 only when nothing failed.
#include <cstring>
#include <string>

#include "runner.h"

namespace {

// Whether message boxes can show: without a desktop (Wine without a display) no
// window can be made, and MessageBoxA returns at once.
bool desktop_present() {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    if (window == nullptr) return false;
    DestroyWindow(window);
    return true;
}

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
    const bool shown = window != nullptr && IsWindowVisible(window);
    char terminal[8] = "";
    const bool windows_terminal = GetEnvironmentVariableA("WT_SESSION", terminal, sizeof terminal) > 0;
    figure("console: %s%s%s%s",
           window == nullptr                               ? "no console window"
           : std::strcmp(kind, "PseudoConsoleWindow") == 0 ? "a pseudo-console (a terminal program)"
           : !shown                                        ? "a terminal (the console shows no window)"
                                                           : "a console window of class ",
           shown && std::strcmp(kind, "PseudoConsoleWindow") != 0 ? kind : "",
           windows_terminal ? ", in Windows Terminal" : "",
           windows_rules() ? ", under Wine with Windows' rules" : under_wine() ? ", under Wine" : "");
}

// Prints the usage and returns `status`: 0 when it was asked for, 2 after a
// command line it cannot take.
int usage(int status = 2) {
    std::printf("usage: UmberdeepSafeMode-selftest.exe [--long | --only NAME] [--junit FILE] [--windows-rules] [HOST.exe]\n"
                "       UmberdeepSafeMode-selftest.exe --bench [--quick] [--window] [HOST.exe]\n"
                "NAME, a scenario:");
    for (const scenario& c : all_scenarios()) std::printf(" %s", c.name);
    std::printf("\n");
    return status;
}

// What the command line asks for.
struct request {
    const char* junit = nullptr;
    const scenario* only = nullptr;
    bool bench = false;
    std::string bench_options;  // the bench scenario's arguments after its name
};

// Reads the command line into S and R; returns the status to end with at
// once, or -1 to go on.
int read_command_line(int argc, char** argv, setup* s, request* r) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return usage(0);
        else if (std::strcmp(argv[i], "--long") == 0) s->with_long = true;
        else if (std::strcmp(argv[i], "--windows-rules") == 0)
            SetEnvironmentVariableA(windows_rules_variable, "1");  // the hosts inherit it
        else if (std::strcmp(argv[i], "--junit") == 0 && i + 1 < argc) r->junit = argv[++i];
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            const char* name = argv[++i];
            for (const scenario& c : all_scenarios())
                if (std::strcmp(c.name, name) == 0) r->only = &c;
            if (r->only == nullptr) return usage();
        }
        else if (std::strcmp(argv[i], "--bench") == 0) r->bench = true;
        else if (std::strcmp(argv[i], "--quick") == 0 || std::strcmp(argv[i], "--window") == 0)
            r->bench_options += std::string(" ") + (argv[i] + 2);
        else if (argv[i][0] == '-') return usage();
        else s->host = argv[i];
    }
    return !r->bench && !r->bench_options.empty() ? usage() : -1;
}

// The modules beside the self-test; false when the host or the test module is
// missing.
bool find_modules(const std::string& here, setup* s) {
    s->host = full_path(s->host);
    s->module = here + "\\selftest-module.dll";
    s->no_entry_module = here + "\\selftest-no-entry.dll";
    // The release keeps each bitness's self-test in selftest\x64 and selftest\x86.
    const std::string other = here + (sizeof(void*) == 8 ? "\\..\\x86" : "\\..\\x64") +
                              "\\selftest-module.dll";
    if (GetFileAttributesA(other.c_str()) != INVALID_FILE_ATTRIBUTES) s->other_module = other;
    return GetFileAttributesA(s->host.c_str()) != INVALID_FILE_ATTRIBUTES &&
           GetFileAttributesA(s->module.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    setup s;
    request r;
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string here = folder_of(ansi_path(self));
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
    s.desktop = desktop_present();
    if (r.bench) return run_bench(s, r.bench_options);

    check_exports(s);
    int index = 0;
    for (const scenario& c : all_scenarios())
        if (r.only != nullptr ? &c == r.only : !c.long_only || s.with_long) run_scenario(s, c, index++);
    console_figures();

    release_console();
    remove_folder(s.temp);
    return verdict(r.junit);
}
