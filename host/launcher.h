// The launcher: loads the game module, runs its entry and returns its result.
#pragma once

// Runs the whole game; returns the entry's result. Ends the process with
// status 1, after an "Error" box, when the module or its entry is missing.
int run_game_module(int argc, char** argv);
