// Starting points for the unit tests: a fresh scripted console, before or after
// the game module has set it up.
#pragma once

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
