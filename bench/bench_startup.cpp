// A game module whose entry only records when it was reached.
#include "os_services.h"
#include "startup_stamp.h"

int dll_main(int, char**) {
    record_first_line();
    return 0;
}
