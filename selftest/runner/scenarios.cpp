// Each scenario of scenarios.def as its own host process, and what only the
// outside sees of it: the exit status, the "Error" boxes, what the module
// reported, and the player's console afterwards.
#include <cstdio>

#include "runner.h"

namespace {

// Takes the module's result lines in, each check's named by the scenario's
// title; returns how many checks there were, and the module's NOTE lines in NOTES.
int take_module_results(const std::string& dir, std::string* notes) {
    int count = 0;
    for_each_result_line(read_file(dir + "\\" + selftest::results_file), [&](result_line r) {
        count += r.verdict();
        if (r.verdict()) r.text = std::string(current_context()) + ": " + r.text;
        if (r.is("NOTE")) *notes += r.text + " ";
        else recorded_results.push_back(r);
    });
    return count;
}

// How the host ended: by itself, with the exit status the row states (where
// Wine's console ends it otherwise, the one of the console the runner runs
// in), writing nothing to a standard output that is a file.
void check_ending(const scenario& c, const host_run& run, const std::string& dir) {
    OK(!run.timed_out, "the host ends by itself within its time");
    if (c.status == c.wine_status)
        OK_EQ(c.status, run.status, "the exit status");
    else
        OK_EITHER(run.status == c.status, run.status == c.wine_status,
                  "the exit status is 0x%lX under Windows, 0x%lX under Wine: 0x%lX", c.status,
                  c.wine_status, run.status);
    if (c.start == selftest::output_to_file)
        OK(read_file(dir + "\\output.txt").empty(), "the host writes nothing to standard output");
}

// The one "Error" box the row states, or none.
void check_boxes(const setup& s, const scenario& c, const host_run& run) {
    if (!s.desktop && c.box != nullptr) SKIPPED("the \"Error\" box: no desktop to show it on");
    if (!s.desktop) return;
    OK_EQ(c.box != nullptr ? 1 : 0, run.boxes.size(), "the windows the host shows");
    if (c.box == nullptr) return;
    OK(run.caption == box::caption && run.text == c.box,
       "the box is captioned \"%s\" and says \"%s\": <%s> <%s>", box::caption, c.box,
       run.caption.c_str(), run.text.c_str());
    OK(!run.owned && run.buttons == 1 && run.icon,
       "the box has no owner, one button (OK) and an icon: owned %d, %d buttons, icon %d",
       run.owned, run.buttons, run.icon);
}

// What the module in the folder reported: the test module its checks; one that
// refused to load, that it refused and nothing more; the module without an
// entry, that it stayed loaded until the process ended.
void check_module_reports(const scenario& c, int reported, const std::string& notes) {
    if (c.module == selftest::test_module) OK(reported > 0, "the test module ran and reported");
    if (c.module == selftest::refusing_module)
        OK(notes == "refused " && reported == 0, "its DllMain refused, and no entry ran: <%s>",
           notes.c_str());
    if (c.module == selftest::no_entry)
        OK(notes == "attached detached-at-exit ", "the module stays loaded until the process ends: <%s>",
           notes.c_str());
}

// The player's console once the host has ended, as the row states it.
void check_console_after(const scenario& c, const std::string& state_before) {
    if (c.after == selftest::untouched)
        OK(console_state() == state_before,
           "the player's title, cursor and every cell are left as they were");
    if (c.after == selftest::left_to_the_console) {
        // Once the last handle to the game's buffer is closed, Windows' console
        // shows the player's buffer by itself, Wine's keeps the game's: only the
        // witness, inside the process before its handles close, proves no restore.
        figure("after a host that skipped its at-exit list the console shows %s",
               compare_shown(true, player.buffer).passed
                   ? "the player's buffer (Windows' console does so by itself)"
                   : "the game's buffer (Wine's console keeps it)");
        OK_EQ(0, console_input_mode(), "the input mode is still 0 afterwards");
        return;
    }
    OK_SHOWN(true, player.buffer, "the player's buffer is active afterwards");
    OK_EQ(player.test_mode, console_input_mode(), "the player's input mode afterwards");
}

}  // namespace

const std::vector<scenario> all_scenarios = {
#define SCENARIO(name, title, module, run, start, long_only, status, wine_status, box, after) \
    {#name, title, selftest::module, selftest::start, long_only, static_cast<DWORD>(status), \
     static_cast<DWORD>(wine_status), box, selftest::after},
#include "scenarios.def"
#undef SCENARIO
};

void run_scenario(const setup& s, const scenario& c, int index) {
    check_context scope(c.title);
    if (c.module == selftest::other_bitness && s.other_module.empty()) {
        SKIPPED("no test module of the other bitness beside the self-test");
        return;
    }
    const std::string dir = s.temp + "\\" + std::to_string(index);
    prepare(s, c.module, dir);
    const std::string state_before = console_state();
    // Far above what a scenario takes on a busy machine (the normal run takes
    // 10-30 s under Wine): a host that hangs still fails.
    const DWORD limit_ms = (c.long_only ? 600 : 90) * 1000;
    // After the scenario's name, the arguments the normal run checks.
    std::string arguments = c.name;
    for (const char* argument : selftest::passed_arguments) arguments += " " + quoted(argument);
    const host_run run = run_host(s, arguments, c.start, limit_ms, dir);
    std::string notes;
    const int reported = take_module_results(dir, &notes);
    if (!run.started) {
        OK(false, "the host starts: error %lu", run.start_error);
        return;
    }
    // The module could not raise what the scenario needs here, and its SKIP
    // says why: nothing the outside sees afterwards belongs to the scenario.
    if (notes.find("not-run ") != std::string::npos) {
        give_console_back();
        return;
    }
    check_ending(c, run, dir);
    check_module_reports(c, reported, notes);
    check_boxes(s, c, run);
    check_console_after(c, state_before);
    give_console_back();
}

// --bench: the module's bench scenario alone, OPTIONS after its name. A
// measurement, not a test: the module's figures, "  key=value" a line, and status
// 0 when the host ran it to its end. Ends as main does: console back, folder gone.
int run_bench(const setup& s, const std::string& options) {
    const std::string dir = s.temp + "\\bench";
    prepare(s, selftest::test_module, dir);
    const host_run run = run_host(s, "bench" + options, selftest::console_io, 600 * 1000, dir);
    check_context scope("the bench");
    std::string notes;
    take_module_results(dir, &notes);
    release_console();
    remove_folder(s.temp);
    bool finished = false;
    std::printf("Figures from this machine:\n");
    for (const result_line& r : recorded_results) {
        if (r.is("FAIL")) std::printf("FAIL %s: %s\n", r.where.c_str(), r.text.c_str());
        if (r.is("FIGURE")) std::printf("  %s\n", r.text.c_str());
        finished = finished || (r.is("FIGURE") && r.text == "done=1");
    }
    std::printf("  host_status=%lu\n", run.status);
    if (!run.started) std::printf("The host did not start: error %lu\n", run.start_error);
    else if (run.timed_out) std::printf("The host did not end within its time.\n");
    return run.started && !run.timed_out && run.status == 0 && finished ? 0 : 1;
}
