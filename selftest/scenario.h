// All the runner and the test module agree on: the files the module leaves in
// a scenario's folder, the values the columns of scenarios.def take, and the
// results both sides know.
#pragma once

namespace selftest {

constexpr const char results_file[] = "results.txt";
// The module's second copy, never freed: its process detach sees the console
// as the process leaves it, after the host's at-exit list.
constexpr const char witness_file[] = "witness.dll";

// What the scenario's folder holds as Umberdeep.dll.
enum module_kind {
    test_module,       // the test module, and its copy as the witness
    refusing_module,   // the same, whose DllMain refuses to load in this scenario
    no_module, no_entry, other_bitness,
    text_file, no_header, header_only, truncated, empty_file  // not a loadable image
};

// How the runner starts the host: the console as its standard input and output,
// or one of them a file; or in a process group of its own, for Ctrl+Break.
enum host_start { console_io, input_from_file, output_to_file, own_process_group };

// What the player's console must be once the host has ended.
enum console_after {
    restored,            // the player's buffer shown, the input mode back
    untouched,           // that, and the title, the cursor and every cell as before
    left_to_the_console  // nothing gave it back: only what the console does by itself
};

// What the normal run's entry returns.
constexpr int entry_result = 7;
// What a scenario returns when the host did not end the process as it should.
constexpr int survived = 5;
// The calibration scenario leaves through ExitProcess with this status.
constexpr int skipped_exit_status = 3;
// The arguments after the scenario's name; the normal run's entry must get
// them unchanged.
constexpr const char* passed_arguments[] = {"two words", "", "quote\"d", "back\\slash\\"};

}  // namespace selftest

// A scenario in which the host shows no "Error" box (contract.h has the texts).
constexpr const char* no_box = nullptr;
