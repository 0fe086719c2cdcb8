// The pause timer: waits at least 40 ms while draining input.
#include "pause.h"

#include <windows.h>

#include "os_services.h"

namespace {

// The clock reading at the last mark, kept in double precision.
double pause_mark = 0.0;

constexpr int pause_minimum_ms = 40;
constexpr int pause_clamp_ms = 5000;

// The tick count wraps to 0 after 2^32 ms. A reading far below the mark has
// wrapped; one just below it differs only by the mark's rounding to double.
constexpr long double tick_wrap_seconds = 4294967296.0L / 1000.0L;

}  // namespace

long double clock_seconds() { return static_cast<DWORD>(GetTickCount()) / 1000.0L; }

int pause_clock(int measure) {
    if (measure == 0) {
        pause_mark = static_cast<double>(clock_seconds());
        return 0;
    }
    long double elapsed = clock_seconds() - pause_mark;
    if (elapsed < -tick_wrap_seconds / 2) elapsed += tick_wrap_seconds;
    if (elapsed < 0) return 0;
    if (elapsed > pause_clamp_ms / 1000.0L) return pause_clamp_ms;
    return static_cast<int>(elapsed * 1000);
}

extern "C" int os_pause(void) {
    pause_clock(0);
    for (;;) {
        const int waited = pause_clock(1);
        if (waited >= pause_minimum_ms) return waited;
        int discarded_key = 0;
        int discarded_char = 0;
        os_get_input(&discarded_key, &discarded_char);
    }
}
