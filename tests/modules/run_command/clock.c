/* A module that reads the clock through clock_gettime, which mingw-w64 keeps
   in its thread library, libwinpthread: its entry returns the seconds' low bit. */
#include <os_services.h>
#include <time.h>

int dll_main(int argc, char **argv) {
    struct timespec now;
    (void)argc;
    (void)argv;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (int)(now.tv_sec & 1);
}
