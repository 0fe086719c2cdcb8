// The pause timer and its clock, driven by the scripted tick count.
#include <gtest/gtest.h>

#include <cstdlib>

#include "console_state.h"
#include "os_services.h"
#include "pause.h"
#include "host_fixture.h"
#include "contract.h"
#include "scripted_console.h"

namespace {

class Pause : public ::testing::Test {
protected:
    void SetUp() override {
        start_after_setup();
    }
    static long polls() {
        long n = 0;
        for (const std::string& call : scripted::state().calls) n += call == "Sleep(1)";
        return n;
    }
};

TEST(PauseClock, ReadsTheTickCountAsUnsignedSeconds) {
    scripted::reset();
    scripted::state().ticks = 1234567;
    EXPECT_EQ(clock_seconds(), 1234567 / 1000.0L);
    scripted::state().ticks = 0xFFFFFFFFu;
    EXPECT_EQ(clock_seconds(), 4294967295.0L / 1000.0L);
}

TEST(PauseClock, MeasuresWholeMillisecondsFromTheMarkWithinItsClamps) {
    scripted::reset();
    scripted::state().ticks = 500000;
    EXPECT_EQ(pause_clock(0), 0);
    EXPECT_EQ(pause_clock(1), 0);
    scripted::state().ticks += 1234;
    EXPECT_EQ(pause_clock(1), 1234);
    EXPECT_EQ(pause_clock(-3), 1234);  // any nonzero argument measures
    scripted::state().ticks = 500000 + 5000;
    EXPECT_EQ(pause_clock(1), 5000);
    scripted::state().ticks = 500000 + 5001;
    EXPECT_EQ(pause_clock(1), 5000);
    scripted::state().ticks = 500000 + 3000000;
    EXPECT_EQ(pause_clock(1), 5000);
}

TEST(PauseClock, MeasuresAcrossTheTickWrap) {
    scripted::reset();
    scripted::state().ticks = 0xFFFFFFFFu - 9;  // 10 ms before the wrap
    pause_clock(0);
    scripted::state().ticks = 30;               // 40 ms later, after the wrap
    const int measured = pause_clock(1);
    EXPECT_GE(measured, 39);
    EXPECT_LE(measured, 40);
    scripted::state().ticks = 6000;
    EXPECT_EQ(pause_clock(1), 5000);
}

TEST_F(Pause, WaitsAtLeastFortyMillisecondsPollingEachMillisecond) {
    const DWORD start = scripted::state().ticks;
    const int waited = os_pause();
    const DWORD elapsed = scripted::state().ticks - start;
    EXPECT_GE(waited, 40);
    EXPECT_LE(waited, 41);
    EXPECT_GE(elapsed, 40u);
    EXPECT_EQ(static_cast<DWORD>(polls()), elapsed);
}

TEST_F(Pause, ReturnsWhatItMeasuredWithCoarseTicks) {
    scripted::state().ticks_per_sleep_ms = 16;  // the tick count moves in 16 ms steps
    EXPECT_EQ(os_pause(), 48);
    EXPECT_EQ(polls(), 3);
}

TEST_F(Pause, NeverReportsMoreThanFiveSeconds) {
    scripted::state().ticks_per_sleep_ms = 6000;
    EXPECT_EQ(os_pause(), 5000);
    EXPECT_EQ(polls(), 1);
}

TEST_F(Pause, EndsAcrossTheTickWrapLikeAnyOther) {
    scripted::state().ticks = 0xFFFFFFFFu - 9;
    scripted::state().sleep_limit = 10000;
    const int waited = os_pause();
    EXPECT_GE(waited, 40);
    EXPECT_LE(waited, 41);
    EXPECT_LE(polls(), 42);
    EXPECT_LT(scripted::state().ticks, 100u);
}

TEST_F(Pause, AnExactFortyTickDifferenceCanReadThirtyNineAndWaitsOneTickMore) {
    // The mark is kept in double precision, the readings in extended precision.
    DWORD mark = 0;
    for (DWORD t = 1000000; t < 1100000 && mark == 0; ++t) {
        scripted::state().ticks = t;
        pause_clock(0);
        scripted::state().ticks = t + 40;
        if (pause_clock(1) == 39) mark = t;
    }
    ASSERT_NE(mark, 0u) << "no tick shows the rounding";
    scripted::state().ticks = mark;
    scripted::state().calls.clear();
    EXPECT_GE(os_pause(), 40);
    EXPECT_EQ(polls(), 41);
}

TEST_F(Pause, DrainsOneRecordPerPollAndLeavesTheRestQueued) {
    for (int i = 0; i < 100; ++i)
        scripted::state().input.push_back(key_record('A', static_cast<char>(32 + i % 90), 0));
    os_pause();
    const long drained = polls();
    ASSERT_EQ(scripted::state().input.size(), static_cast<size_t>(100 - drained));
    for (long i = drained; i < 100; ++i) {
        int key = -1, ch = -1;
        os_get_input(&key, &ch);
        EXPECT_EQ(ch, 32 + i % 90);
    }
}

TEST(PauseExitKeys, CtrlXDuringAPauseEndsTheProcessWithStatusZero) {
    EXPECT_EXIT(
        {
            scripted::reset();
            os_init();
            scripted::state().input.push_back(key_record('A', 'a', 0));
            scripted::state().input.push_back(key_record('X', keys::exit_character, LEFT_CTRL_PRESSED));
            os_pause();
            std::exit(42);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
