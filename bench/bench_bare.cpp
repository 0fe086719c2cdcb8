// A console program that does nothing but record when main was reached.
#include "startup_stamp.h"

int main() {
    record_first_line();
    return 0;
}
