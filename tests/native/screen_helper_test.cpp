// The kit's back buffer (kit/os_screen.h) over the real services and the
// scripted console: what a flush writes, what it leaves, and what it retries.
#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>

#include "console_state.h"
#include "host_fixture.h"
#include "os_screen.h"
#include "scripted_console.h"

namespace {

using cell_set = std::set<std::pair<int, int>>;

os_screen screen;

class ScreenHelper : public ::testing::Test {
protected:
    void SetUp() override {
        start_after_setup();
        os_screen_init(&screen);
    }

    // The cells the console was asked to write since the log was last emptied;
    // a cell asked for twice fails the test.
    static cell_set written_cells() {
        cell_set cells;
        for (const scripted::cell_write& w : scripted::state().writes)
            EXPECT_TRUE(cells.insert({w.region.Left, w.region.Top}).second)
                << "cell " << w.region.Left << "," << w.region.Top << " written twice";
        scripted::state().writes.clear();
        return cells;
    }

    // The cells of the console's buffer that differ from the frame.
    static cell_set cells_unlike_frame() {
        scripted::screen_buffer& buffer = scripted::state().buffers[console_handles.screen_buffer];
        cell_set unlike;
        for (int y = 0; y < OS_SCREEN_HEIGHT; ++y)
            for (int x = 0; x < OS_SCREEN_WIDTH; ++x) {
                const CHAR_INFO cell = buffer.at(x, y);
                const os_screen_cell drawn = screen.frame[y][x];
                if (static_cast<unsigned char>(cell.Char.AsciiChar) != drawn.character ||
                    cell.Attributes != drawn.attr)
                    unlike.insert({x, y});
            }
        return unlike;
    }
};

// What the game draws on a fresh screen, and how many cells its first flush
// writes: the buffer is taken to start blank in 0x07, and what falls outside
// 80 x 25 is dropped. Each flush leaves the console's buffer equal to the
// frame, writes no cell twice, and a second flush writes nothing.
struct drawing {
    const char* what;
    void (*draw)();
    int written;
};

const drawing drawings[] = {
    {"a blank in the default colours", [] { os_screen_put(&screen, ' ', 0x07, 5, 5); }, 0},
    {"one character", [] { os_screen_put(&screen, 'A', 0x07, 5, 5); }, 1},
    {"a blank in other colours", [] { os_screen_put(&screen, ' ', 0x1F, 5, 5); }, 1},
    {"text past the right edge", [] { os_screen_text(&screen, "abc", 0x07, 78, 0); }, 2},
    {"text from column -2", [] { os_screen_text(&screen, "abc", 0x07, -2, 3); }, 1},
    {"cells outside the area",
     [] {
         os_screen_put(&screen, 'A', 0x07, 80, 0);
         os_screen_put(&screen, 'A', 0x07, 0, 25);
         os_screen_put(&screen, 'A', 0x07, -1, 0);
     },
     0},
    {"a fill over the bottom-right corner", [] { os_screen_fill(&screen, 'x', 0x07, 78, 23, 5, 5); }, 4},
    {"a fill of INT_MAX cells from INT_MIN",
     [] { os_screen_fill(&screen, 'x', 0x07, INT_MIN, INT_MIN, INT_MAX, INT_MAX); }, 0},
    {"a fill of INT_MAX columns from column 0",
     [] { os_screen_fill(&screen, 'x', 0x07, 0, 0, INT_MAX, 1); }, 80},
    {"a clear in other colours", [] { os_screen_clear(&screen, 0x1F); }, 2000},
    {"nothing, after forgetting the buffer", [] { os_screen_forget(&screen); }, 2000},
    {"nothing, after forgetting 3 x 2 cells", [] { os_screen_forget_area(&screen, 10, 10, 3, 2); }, 6},
};

TEST_F(ScreenHelper, AFlushWritesEachChangedCellOnceAndAnUnchangedFrameNone) {
    for (const drawing& d : drawings) {
        SCOPED_TRACE(d.what);
        SetUp();
        d.draw();
        int failed = -1;
        EXPECT_EQ(os_screen_flush(&screen, &failed), d.written);
        EXPECT_EQ(failed, 0);
        EXPECT_EQ(written_cells().size(), static_cast<size_t>(d.written));
        EXPECT_EQ(cells_unlike_frame(), cell_set{});
        EXPECT_EQ(os_screen_flush(&screen, &failed), 0);
        EXPECT_EQ(written_cells(), cell_set{});
    }
}

TEST_F(ScreenHelper, AFailedWriteIsWrittenAgainByTheNextFlush) {
    os_screen_text(&screen, "lost", 0x0E, 10, 2);
    scripted::state().failing.insert("WriteConsoleOutputA");
    int failed = 0;
    EXPECT_EQ(os_screen_flush(&screen, &failed), 0);
    EXPECT_EQ(failed, 4);
    scripted::state().failing.clear();
    written_cells();
    EXPECT_EQ(os_screen_flush(&screen, &failed), 4);
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(written_cells(), (cell_set{{10, 2}, {11, 2}, {12, 2}, {13, 2}}));
    EXPECT_EQ(cells_unlike_frame(), cell_set{});
}

// The banner is the host's own writes: shown, it stays over a frame that does
// not change there; erased, the game's cells it covered come back, and only
// those are written.
TEST_F(ScreenHelper, TheBannerStaysUntilErasedAndTheCellsItCoveredComeBack) {
    os_screen_text(&screen, "over the banner's edge", 0x0A, 10, 4);
    os_screen_text(&screen, "under it", 0x0B, 30, 9);
    os_screen_flush(&screen, nullptr);
    written_cells();

    os_screen_display_title(&screen, 1);
    const cell_set banner = written_cells();
    EXPECT_EQ(os_screen_flush(&screen, nullptr), 0);
    EXPECT_EQ(cells_unlike_frame(), banner);

    os_screen_display_title(&screen, 0);
    written_cells();
    // "over the banner's edge" from column 10 reaches into the banner's
    // columns with "er's edge", 9 cells in columns 23-31.
    EXPECT_EQ(os_screen_flush(&screen, nullptr), 9);
    for (const auto& [x, y] : written_cells()) {
        EXPECT_EQ(y, 4);
        EXPECT_GE(x, OS_TITLE_LEFT);
        EXPECT_LT(x, OS_TITLE_LEFT + OS_TITLE_WIDTH);
    }
    EXPECT_EQ(cells_unlike_frame(), cell_set{});
}

}  // namespace
