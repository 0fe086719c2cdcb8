// A game module whose entry only records when it was reached.
#include "startup_stamp.h"

extern "C" __declspec(dllexport) int dll_main(int, char**) {
    record_first_line();
    return 0;
}
