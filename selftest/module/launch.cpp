// The module's root: its entry and DllMain, which scenario runs (scenarios.def),
// the arguments the host passes, and the scenarios that run several areas. The
// same DLL copied as witness.dll is the witness: never freed, its process
// detach runs after the host's at-exit list and checks the player's console.
#include <cstring>

#include "module.h"
#include "results_file.h"

void record_line(const char* line) { append_line(selftest::results_file, line); }

namespace {

struct module_scenario {
    const char* name;
    int (*run)(int argc, char** argv);
    selftest::module_kind module;
    selftest::console_after after;
};

const module_scenario scenarios[] = {
#define SCENARIO(name, title, module, run, stdio, long_only, status, wine_status, box, after) \
    {#name, run, selftest::module, selftest::after},
#include "scenarios.def"
#undef SCENARIO
    {"bench", run_bench, selftest::test_module, selftest::restored},
};

const module_scenario* scenario_named(const char* name, size_t length) {
    for (const module_scenario& s : scenarios)
        if (std::strlen(s.name) == length && std::strncmp(s.name, name, length) == 0) return &s;
    return nullptr;
}

// The scenario argv[1] names, read from the command line, which DllMain has
// before the entry gets its arguments: the line's second word.
const module_scenario* scenario_of_command_line() {
    const char* command = GetCommandLineA();
    const char* end = command[0] == '"' ? std::strchr(command + 1, '"') : std::strchr(command, ' ');
    if (end == nullptr) return nullptr;
    end += 1 + std::strspn(end + 1, " ");
    return scenario_named(end, std::strcspn(end, " "));
}

// The witness's own copy of this DLL's data: the player's console when it loaded.
bool is_witness = false;
DWORD player_input_mode = 0;
HANDLE player_buffer_at_load = INVALID_HANDLE_VALUE;
// Set in the process's environment, which both copies share, when the entry returns.
constexpr char entry_returned_variable[] = "SELFTEST_ENTRY_RETURNED";
bool entry_returned() { return is_set(entry_returned_variable); }

bool has_suffix(const char* text, const char* suffix) {
    const size_t length = std::strlen(text), tail = std::strlen(suffix);
    return length >= tail && lstrcmpiA(text + length - tail, suffix) == 0;
}

// At the very end of the process, after the host's at-exit list.
void witness_checks(const module_scenario* now) {
    if (now != nullptr && now->after == selftest::left_to_the_console) {
        // Calibration: without the host's at-exit list nothing gives the console
        // back, and the witness must see that, or its other checks prove nothing.
        OK_SHOWN(false, player_buffer_at_load, "without the at-exit list the game's buffer is still active");
        OK_EQ(0, console_input_mode(), "without the at-exit list the input mode is still 0");
    } else {
        OK_SHOWN(true, player_buffer_at_load, "at process exit the player's buffer is active again");
        OK_EQ(player_input_mode, console_input_mode(),
              "at process exit the player's input mode is back");
        OK_EQ(entry_returned() ? 0 : 1, GetModuleHandleA("Umberdeep.dll") != nullptr,
              "at process exit the module is mapped only when its entry did not return");
    }
    // Windows' console shows the player's buffer again once the game's last
    // handle closes: under its rules, so does the witness, its checks done.
    if (windows_rules()) SetConsoleActiveScreenBuffer(player_buffer_at_load);
}

// Loaded: the witness notes the player's console; the module refuses to load
// where its scenario says so, as a broken game would, or checks its error mode.
BOOL attached(HINSTANCE self) {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(self, path, sizeof path);
    is_witness = has_suffix(path, selftest::witness_file);
    if (is_witness) {
        player_input_mode = console_input_mode();
        player_buffer_at_load = open_console("CONOUT$");
        if (windows_rules()) handle_console_events_as_windows();
        return TRUE;
    }
    const module_scenario* now = scenario_of_command_line();
    if (now != nullptr && now->module == selftest::refusing_module) {
        record_line("NOTE\trefused");
        return FALSE;
    }
    // The runner starts the host with the default error mode: only the host's
    // own setting, of the process or the thread, keeps critical-error boxes away.
    const UINT process_mode = GetErrorMode();
    const DWORD thread_mode = GetThreadErrorMode();
    OK(((process_mode | thread_mode) & SEM_FAILCRITICALERRORS) != 0,
       "the host loads the module with critical-error boxes off: process error mode 0x%x, "
       "thread error mode 0x%lx", process_mode, static_cast<unsigned long>(thread_mode));
    return TRUE;
}

// Unloaded by the host (reserved is null) or at process exit.
void detached(bool at_exit) {
    if (!is_witness && !at_exit) {
        // The witness, which stays, watches the host's buffers from here on.
        unwatch_host_buffers();
        HMODULE witness = GetModuleHandleA(selftest::witness_file);
        const FARPROC watch = witness ? GetProcAddress(witness, "selftest_watch_host_buffers") : nullptr;
        if (watch != nullptr) reinterpret_cast<bool (*)()>(reinterpret_cast<void*>(watch))();
    }
    if (is_witness && at_exit) witness_checks(scenario_of_command_line());
    if (!is_witness && entry_returned()) OK(!at_exit, "the host unloads the module after its entry returned");
}

void check_arguments(int argc, char** argv) {
    const int passed = sizeof selftest::passed_arguments / sizeof selftest::passed_arguments[0];
    OK_EQ(passed + 2, argc, "the entry gets the argument count");
    const char* name = argc > 0 ? argv[0] : "";
    OK(has_suffix(name, "UmberdeepSafeMode.exe"), "argv[0] names the host: <%s>", name);
    for (int i = 0; i < passed; ++i)
        OK(argc > i + 2 && std::strcmp(argv[i + 2], selftest::passed_arguments[i]) == 0,
           "argv[%d] reaches the entry unchanged: <%s>", i + 2, selftest::passed_arguments[i]);
}

}  // namespace

// The normal run: the whole contract in one run.
int whole_contract(int argc, char** argv) {
    check_arguments(argc, argv);
    load_witness();
    check_before_init(player_buffer());
    HANDLE screen = check_setup(player_buffer());
    check_cells(screen);
    check_coordinates(screen);
    check_banner(screen);
    check_inert(screen);
    check_key_table();
    check_other_records();
    check_sequences();
    check_null_pointers();
    check_pauses();
    check_drain(200);
    check_reinit();
    figure("buffers: the game's first buffer is %s at the end of the run", describe(buffer_size(screen)).s);
    return selftest::entry_result;
}

// Standard output to a file: the set-up alone, which must not write there.
int set_up_only(int, char**) {
    witnessed_setup();
    return 0;
}

// 10,000 queued records, then 20 pauses with 500 queued each.
int flood(int, char**) {
    witnessed_setup();
    check_flood(10000);
    for (int round = 0; round < 20; ++round) check_drain(500);
    return 0;
}

// The witness's watch, taken over when the host unloads the module.
extern "C" __declspec(dllexport) bool selftest_watch_host_buffers() { return watch_host_buffers(); }

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) return attached(self);
    if (reason == DLL_PROCESS_DETACH) detached(reserved != nullptr);
    return TRUE;
}

int dll_main(int argc, char** argv) {
    open_console_handles();
    OK(watch_host_buffers(), "the host's imports of CreateConsoleScreenBuffer and "
                             "SetConsoleActiveScreenBuffer are watched");
    const char* name = argc > 1 ? argv[1] : "";
    const module_scenario* now = scenario_named(name, std::strlen(name));
    OK(now != nullptr, "the scenario <%s> is known", name);
    const int result = now != nullptr ? now->run(argc, argv) : selftest::survived;
    if (now != nullptr && now->run == whole_contract) check_foreign_records(now->name);
    SetEnvironmentVariableA(entry_returned_variable, "1");
    return result;
}
