// The self-test's game module. launch.cpp is its root: the entry, the witness,
// the scenario run, the normal run through the whole contract. Each area checks
// one service and shares only what this header declares: setup.cpp (os_init),
// cells.cpp (os_put_font, os_put_tile, the inert services), banner.cpp
// (os_display_title), input.cpp (os_get_input), pause.cpp (os_pause),
// exit_paths.cpp (the ways the game ends), stress.cpp (long runs), bench.cpp
// (--bench: figures, not checks); what all use is in shared.cpp and screen.h.
// Results go to the results file (check.h), never to the console under test.
#pragma once

#include <windows.h>

#include "check.h"
#include "console_view.h"
#include "contract.h"
#include "host_buffer.h"
#include "os_services.h"
#include "scenario.h"
#include "screen.h"

// The scenarios' functions (scenarios.def); each returns what the entry returns.
#define SCENARIO(name, title, module, run, ...) int run(int argc, char** argv);
#include "scenarios.def"
#undef SCENARIO
int run_bench(int argc, char** argv);

// Shared (shared.cpp). CONIN$ and the player's buffer (CONOUT$), opened when
// the entry starts, before any os_init; fresh_input empties the input's queue.
void open_console_handles();
HANDLE console_input();
HANDLE player_buffer();
HANDLE fresh_input();
// The witness loaded, then os_init, the set-up most scenarios start from.
void load_witness();
void witnessed_setup();
// poll_own polls away the console's own records, then the check's own into KEY
// and CHARACTER (either may be null); true when that poll took it alone.
// still_queued: whether it waits among the first few. expect_key queues a record
// alone and checks what os_get_input makes of it. poll_sequence polls for the
// sequence's records FROM..TO-1 and returns how many came out wrong, the first
// described in FIRST.
bool poll_own(const INPUT_RECORD& own, int* key, int* character);
bool still_queued(const INPUT_RECORD& own);
void expect_key(const INPUT_RECORD& record, int key, int character, const char* name);
unsigned poll_sequence(unsigned from, unsigned to, char (&first)[64]);
void check_foreign_records(const char* scenario);

// The areas' checks, which the root runs.
void handle_console_events_as_windows();
void check_before_init(HANDLE player);
HANDLE check_setup(HANDLE player);
void check_reinit();
void check_cells(HANDLE screen);
void check_coordinates(HANDLE screen);
void check_inert(HANDLE screen);
void check_banner(HANDLE screen);
void check_key_table();
void check_other_records();
void check_sequences();
void check_null_pointers();
void check_pauses();
void check_drain(unsigned total);
void check_flood(unsigned total);
