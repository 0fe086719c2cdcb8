// What the runner's files share, each part under the file that defines it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "check.h"
#include "console_view.h"
#include "contract.h"
#include "result_line.h"
#include "scenario.h"

// One scenario as the runner sees it: a line of scenarios.def (scenarios.cpp).
struct scenario {
    const char* name;  // what --only takes, and argv[1]
    const char* title;
    selftest::module_kind module;
    selftest::host_start start;
    bool long_only;
    DWORD status, wine_status;
    const char* box;  // the text of the one "Error" box, or none
    selftest::console_after after;
};
extern const std::vector<scenario> all_scenarios;

struct setup {
    std::string host, module, no_entry_module, other_module, temp;
    bool desktop = false;  // message boxes can show
};

// The player's console (player_console.cpp): as the runner found it, given
// back after every scenario and at the end. Its buffer is known by the handle
// opened at the start (console_view.h).
struct player_console {
    HANDLE input = INVALID_HANDLE_VALUE;   // CONIN$, inheritable
    HANDLE buffer = INVALID_HANDLE_VALUE;  // CONOUT$ opened at start: the player's buffer
    DWORD original_mode = 0, output_mode = 0, test_mode = 0;
    CONSOLE_CURSOR_INFO cursor = {};
    char title[256] = "";
    COORD size = {0, 0}, window = {0, 0};  // as found; Windows' rules make it taller
};
extern player_console player;
// The input mode during the run: one no console starts with.
constexpr DWORD distinct_input_mode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_WINDOW_INPUT;
bool take_console();
void give_console_back();
void release_console();
std::string console_state();

// The host's folder and run (host_process.cpp).
std::string read_file(const std::string& path);
void remove_folder(const std::string& folder);
// How the host ended, and the windows it showed, each dismissed as it came.
struct host_run {
    bool started = false, timed_out = false;
    DWORD status = 0, start_error = 0, process = 0;
    std::vector<HWND> boxes;
    std::string caption, text;  // of the last box
    int buttons = 0;
    bool owned = false, icon = false;  // it has an owner window; an icon (which, no other process sees)
};
// Puts the host, MODULE and what the scenario reads into DIR.
void prepare(const setup& s, selftest::module_kind module, const std::string& dir);
// Runs the host in DIR and this console, ARGUMENTS after its name, within LIMIT_MS.
host_run run_host(const setup& s, const std::string& arguments, selftest::host_start start,
                  DWORD limit_ms, const std::string& dir);
std::string quoted(const std::string& argument);  // as the runtime's parser reads it back

// The scenarios (scenarios.cpp): each, and the bench.
void run_scenario(const setup& s, const scenario& c, int index);
int run_bench(const setup& s, const std::string& options);

// The host's file (image_checks.cpp).
void check_exports(const setup& s);

// The verdict (report.cpp): the result lines the runner recorded, its own
// (record_line) and its modules', in order.
extern std::vector<result_line> recorded_results;
int verdict(const char* junit);
