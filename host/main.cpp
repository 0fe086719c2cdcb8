// UmberdeepSafeMode: the console host's process entry.
#include "launcher.h"

int main(int argc, char** argv) { return run_game_module(argc, argv); }
