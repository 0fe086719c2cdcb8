// Prints what the tests' contract (contract.h) states that the Wine scripts
// need, one "NAME VALUE..." line each, so that a script reads the same figures
// the C++ tests hold the host to.
#include <cstdio>

#include "contract.h"

int main() {
    std::printf("banner %d %d %d %d %d\n", banner::top, banner::bottom, banner::left, banner::right,
                banner::last_dark_row);
    return 0;
}
