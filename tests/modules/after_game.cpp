// Not a game module: a program that a test runs in the same console right after
// the host, as a launcher script or a shell goes on once the game is over. It
// writes what it finds of the console to "after.out" (console_witness.h).
#include "console_witness.h"

int main() {
    write_witness("after.out", false);
    return 0;
}
