// Starting points for the unit tests: a fresh scripted console, before or after
// the game module has set it up.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console_state.h"
#include "os_services.h"
#include "scripted_console.h"

// A new console, and the host as it is before os_init has run.
inline void start_before_setup() {
    scripted::reset();
    console_handles = {nullptr, nullptr, nullptr};
    initial_console = {false, nullptr, nullptr, false, 0};
}

// A new console set up by os_init, with the call log and write log emptied.
inline void start_after_setup() {
    start_before_setup();
    os_init();
    scripted::state().calls.clear();
    scripted::state().writes.clear();
}

// Registered before os_init, so it runs after os_init's handler at exit.
inline void report_active_buffer_at_exit() {
    std::atexit([] {
        scripted::console& c = scripted::state();
        std::fprintf(stderr, "active at exit: %s, input mode %u\n",
                     c.active == c.std_output ? "initial" : "private",
                     static_cast<unsigned>(c.input_modes[c.std_input]));
    });
}

// The mode a new scripted console's input starts with.
inline constexpr DWORD player_input_mode = 0x1F7;
inline const std::string player_mode = std::to_string(player_input_mode);
