// The self-test's game module, cut as the services are: launch.cpp (the entry,
// the witness, which scenario runs), setup.cpp (os_init), cells.cpp
// (os_put_font, os_put_tile and the inert services), banner.cpp
// (os_display_title), input.cpp (os_get_input), pause.cpp (os_pause),
// exit_paths.cpp (every way the game ends), stress.cpp (long runs) and
// bench.cpp (--bench, figures rather than checks). Each check states its
// expectation beside the call it checks (check.h); the results go to the
// results file in the current folder, never to the console under test.
#pragma once

#include <windows.h>

#include "check.h"
#include "console_view.h"
#include "contract.h"
#include "host_buffer.h"
#include "os_services.h"
#include "scenario.h"
#include "screen.h"

// The console's input (CONIN$) and the player's buffer (CONOUT$), opened when
// the entry starts, before any os_init.
HANDLE console_input();
HANDLE player_buffer();

// The scenarios' functions, as scenarios.def names them; each returns what the
// entry returns.
#define SCENARIO(name, title, module, run, ...) int run(int argc, char** argv);
#include "scenarios.def"
#undef SCENARIO
int run_bench(int argc, char** argv);

// Launch: the arguments the entry gets, the witness loaded.
void check_arguments(int argc, char** argv);
void load_witness();

// Console events: Windows' default handling, as the witness installs it under
// Windows' rules.
void handle_console_events_as_windows();

// Set-up: before os_init, os_init, and os_init again.
void check_before_init(HANDLE player);
HANDLE check_setup(HANDLE player);
void check_reinit();
void witnessed_setup();

// Cells and the inert services.
bool check_screen(HANDLE buffer, const screen_copy& expected, const char* file, int line,
                  const char* format, ...);
#define OK_SCREEN(buffer, expected, ...) \
    check_screen((buffer), (expected), __FILE__, __LINE__, __VA_ARGS__)
bool read_top(HANDLE buffer, int rows, screen_copy* copy);
bool single_byte_code_page(UINT code_page);
void check_cells(HANDLE screen);
void check_coordinates(HANDLE screen);
void check_inert(HANDLE screen);

// The banner.
void check_banner(HANDLE screen);

// Keys. poll_own polls the queue until one of the check's own records (the
// queue's first, behind any records of the console's own, each polled away)
// has been polled with KEY and CHARACTER (either may be null); true when that
// poll took the record and no other. still_queued tells whether the record
// waits among the first few.
bool poll_own(const INPUT_RECORD& own, int* key, int* character);
bool still_queued(const INPUT_RECORD& own);
void check_foreign_records(const char* scenario);
void expect_key(const INPUT_RECORD& record, int key, int character, const char* name);
void check_key_table();
void check_other_records();
void check_sequences();
void check_null_pointers();

// Pauses, and records queued during them.
void check_pauses();
unsigned poll_sequence(unsigned from, unsigned to, char (&first)[64]);
void check_drain(unsigned total);
