// The pause timer's clock, exposed for the host's own tests.
#pragma once

// Seconds since the system started, from the 32-bit millisecond tick count.
long double clock_seconds();

// measure == 0: marks now and returns 0. Otherwise: whole milliseconds since the
// mark, clamped to 0..5000.
int pause_clock(int measure);
