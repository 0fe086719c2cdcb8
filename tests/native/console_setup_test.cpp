// os_init's steps, their failures, the at-exit restore and the inert services.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "console_state.h"
#include "os_services.h"
#include "host_fixture.h"
#include "contract.h"
#include "scripted_console.h"

namespace {

class ConsoleSetup : public ::testing::Test {
protected:
    void SetUp() override {
        start_before_setup();
    }
};

// The player's console is taken before the private buffer becomes active, the
// guards for the ways out that skip the at-exit list once the handler is in.
const std::vector<std::string> setup_calls = {
    "GetStdHandle(input)",
    "GetStdHandle(output)",
    "CreateFileA(CONOUT$,3221225472,3,3)",
    "GetConsoleMode(input)",
    "CreateConsoleScreenBuffer(3221225472,0,null,1,null)",
    "SetConsoleActiveScreenBuffer(buffer)",
    "SetConsoleCtrlHandler(add)",
    "SetUnhandledExceptionFilter",
    "SetConsoleMode(input,0)",
    "SetConsoleMode(buffer,0)",
    "SetConsoleCursorInfo(buffer,1,hidden)",
    "SetConsoleTitleA(Umberdeep)",
    "PeekConsoleInputA(1)",
};

TEST_F(ConsoleSetup, RunsItsStepsInOrderAndActivatesAPrivateBuffer) {
    EXPECT_NE(os_init(), 0);
    EXPECT_EQ(scripted::state().calls, setup_calls);

    scripted::console& c = scripted::state();
    EXPECT_EQ(console_handles.input, c.std_input);
    EXPECT_EQ(console_handles.initial_output, c.std_output);
    ASSERT_NE(console_handles.screen_buffer, c.std_output);
    EXPECT_EQ(c.active, console_handles.screen_buffer);
    EXPECT_EQ(c.input_modes[c.std_input], 0u);
    const scripted::screen_buffer& buffer = c.buffers[console_handles.screen_buffer];
    EXPECT_EQ(buffer.mode, 0u);
    EXPECT_EQ(buffer.cursor.dwSize, 1u);
    EXPECT_FALSE(buffer.cursor.bVisible);
    EXPECT_EQ(c.title, "Umberdeep");
}

TEST_F(ConsoleSetup, LooksAtTheInputOnceWithoutTakingAnything) {
    // The peek that starts a terminal console's input must leave every waiting
    // record for os_get_input, and its failure must not matter.
    scripted::state().input.push_back(key_record(VK_UP, 0, 0));
    scripted::state().failing.insert("PeekConsoleInputA");
    EXPECT_NE(os_init(), 0);
    EXPECT_EQ(scripted::state().calls, setup_calls);
    scripted::state().failing.clear();
    os_init();
    ASSERT_EQ(scripted::state().input.size(), 1u);
    int key = 0, character = 0;
    os_get_input(&key, &character);
    EXPECT_EQ(key, OS_KEY_UP);
}

TEST_F(ConsoleSetup, AFailedTitleOnlyMakesTheResultZero) {
    scripted::state().failing.insert("SetConsoleTitleA");
    EXPECT_EQ(os_init(), 0);
    EXPECT_EQ(scripted::state().active, console_handles.screen_buffer);
    EXPECT_EQ(scripted::state().calls.size(), setup_calls.size());
}

TEST_F(ConsoleSetup, AFailedCursorStepIsIgnored) {
    scripted::state().failing.insert("SetConsoleCursorInfo");
    EXPECT_NE(os_init(), 0);
    EXPECT_EQ(scripted::state().calls, setup_calls);
}

TEST(ConsoleSetupNullHandle, ANullStandardHandleIsTakenAsItIs) {
    // Only INVALID_HANDLE_VALUE ends set-up at once; a null input handle goes on
    // until the console refuses to set its mode.
    EXPECT_EXIT(
        {
            start_before_setup();
            scripted::state().std_input = nullptr;
            std::atexit([] {
                for (const std::string& call : scripted::state().calls)
                    std::fprintf(stderr, "%s ", call.c_str());
            });
            os_init();
        },
        ::testing::ExitedWithCode(1), "CreateConsoleScreenBuffer.* SetConsoleMode\\(null,0\\) SetConsoleActive");
}

// Each failing step ends the process with status 1 before any later step runs
// (StopsAtTheFailingStep checks both).
struct failing_step {
    const char* function;
    const char* last_calls;  // the end of the call log, as a pattern
};

void PrintTo(const failing_step& step, std::ostream* out) { *out << step.function; }

class ConsoleSetupFailure : public ::testing::TestWithParam<failing_step> {};

TEST_P(ConsoleSetupFailure, StopsAtTheFailingStep) {
    const failing_step step = GetParam();
    // The process ends at the failing step: the calls made to the end, the
    // at-exit handler's included, show where.
    EXPECT_EXIT(
        {
            start_before_setup();
            scripted::state().failing.insert(step.function);
            std::atexit([] {
                std::string calls;
                for (const std::string& call : scripted::state().calls) calls += " " + call;
                std::fprintf(stderr, "calls:%s.\n", calls.c_str());
            });
            os_init();
        },
        ::testing::ExitedWithCode(1), std::string(" ") + step.last_calls + "\\.\n$");
}

// Once the handler is registered, the player's console comes back right
// after the failing step.
#define RESTORE_CALLS " SetConsoleActiveScreenBuffer\\(conout\\) SetConsoleMode\\(input,503\\)"

INSTANTIATE_TEST_SUITE_P(
    EachStep, ConsoleSetupFailure,
    ::testing::Values(
        failing_step{"GetStdHandle(input)", "GetStdHandle\\(input\\)"},
        failing_step{"GetStdHandle(output)", "GetStdHandle\\(output\\)"},
        failing_step{"CreateConsoleScreenBuffer", "CreateConsoleScreenBuffer\\([^)]*\\)"},
        failing_step{"SetConsoleActiveScreenBuffer", "SetConsoleActiveScreenBuffer\\(buffer\\)"},
        failing_step{"SetConsoleMode(input)", "SetConsoleMode\\(input,0\\)" RESTORE_CALLS},
        failing_step{"SetConsoleMode(buffer)", "SetConsoleMode\\(buffer,0\\)" RESTORE_CALLS}));

TEST(ConsoleRestore, TheInitialBufferIsActiveAgainAtExit) {
    EXPECT_EXIT(
        {
            start_before_setup();
            report_active_buffer_at_exit();
            os_init();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "active at exit: initial, input mode " + player_mode);
}

TEST(ConsoleRestore, SeveralSetupsStillGiveBackThePlayersInputMode) {
    // A later os_init must not take the 0 that the first one set as the mode
    // to give back.
    EXPECT_EXIT(
        {
            start_before_setup();
            report_active_buffer_at_exit();
            os_init();
            os_init();
            os_init();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "active at exit: initial, input mode " + player_mode);
}

TEST(ConsoleRestore, AnUnreadableInputModeIsLeftAloneAtExit) {
    EXPECT_EXIT(
        {
            start_before_setup();
            scripted::state().failing.insert("GetConsoleMode(input)");
            report_active_buffer_at_exit();
            os_init();
            // Whatever the mode is at exit, nothing may overwrite it.
            scripted::console& c = scripted::state();
            c.input_modes[c.std_input] = 77;
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "active at exit: initial, input mode 77\n");
}

TEST(ConsoleRestore, AnInputModeFailureStillRestoresTheInitialBuffer) {
    EXPECT_EXIT(
        {
            start_before_setup();
            scripted::state().failing.insert("SetConsoleMode(input)");
            report_active_buffer_at_exit();
            os_init();
        },
        ::testing::ExitedWithCode(1), "active at exit: initial, input mode " + player_mode);
}

TEST(ConsoleRestore, EachSetupRegistersTheHandlerAgain) {
    EXPECT_EXIT(
        {
            start_before_setup();
            std::atexit([] {
                int restores = 0;
                for (const std::string& call : scripted::state().calls)
                    restores += call == "SetConsoleActiveScreenBuffer(conout)";
                std::fprintf(stderr, "restores: %d\n", restores);
            });
            os_init();
            os_init();
            os_init();
            scripted::state().calls.clear();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "restores: 3");
}

TEST(ConsoleRestore, ThePlayersBufferComesBackWhenStandardOutputIsAFile) {
    // Output redirected to a file: only the CONOUT$ handle taken before the
    // private buffer became active still names the buffer the player saw.
    EXPECT_EXIT(
        {
            start_before_setup();
            report_active_buffer_at_exit();
            scripted::console& c = scripted::state();
            HANDLE players_buffer = c.std_output;
            c.std_output = scripted::new_handle();  // a file: no buffer behind it
            os_init();
            c.std_output = players_buffer;  // names the player's buffer in the report
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "active at exit: initial, input mode " + player_mode);
}

TEST(ConsoleRestore, WithoutCONOUTTheStandardOutputHandleIsActivated) {
    EXPECT_EXIT(
        {
            start_before_setup();
            scripted::state().failing.insert("CreateFileA");
            report_active_buffer_at_exit();
            os_init();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "active at exit: initial, input mode " + player_mode);
}

// The console event handler and the crash filter give the console back on the
// ways out that skip the at-exit list, and leave the ending itself as it was.
void expect_console_given_back() {
    scripted::console& c = scripted::state();
    EXPECT_EQ(c.active, c.std_output);
    EXPECT_EQ(c.input_modes[c.std_input], player_input_mode);
}

void take_console_away() {
    scripted::console& c = scripted::state();
    c.active = console_handles.screen_buffer;
    c.input_modes[c.std_input] = 0;
}

TEST_F(ConsoleSetup, AConsoleEventGivesTheConsoleBackAndLetsTheDefaultEndTheProcess) {
    os_init();
    ASSERT_EQ(scripted::state().ctrl_handlers.size(), 1u);
    PHANDLER_ROUTINE handler = scripted::state().ctrl_handlers[0];
    for (DWORD event : {CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT}) {
        take_console_away();
        // The console runs its handlers on a thread of their own.
        BOOL handled = TRUE;
        std::thread([&] { handled = handler(event); }).join();
        EXPECT_EQ(handled, FALSE) << event;
        expect_console_given_back();
    }
}

// A terminal that turns Ctrl+C into an interrupt raises the event and queues
// no key: the game gets the key all the same, and goes on.
TEST_F(ConsoleSetup, TheCtrlCEventQueuesCtrlCForTheGameAndEndsNothing) {
    os_init();
    PHANDLER_ROUTINE handler = scripted::state().ctrl_handlers.at(0);
    BOOL handled = FALSE;
    std::thread([&] { handled = handler(CTRL_C_EVENT); }).join();
    EXPECT_EQ(handled, TRUE);
    EXPECT_EQ(scripted::state().active, console_handles.screen_buffer);
    int key_code = -1, char_code = -1;
    os_get_input(&key_code, &char_code);
    EXPECT_EQ(key_code, 0);
    EXPECT_EQ(char_code, 3);
    os_get_input(&key_code, &char_code);  // its release
    EXPECT_TRUE(scripted::state().input.empty());
}

LONG WINAPI earlier_filter(EXCEPTION_POINTERS* exception) {
    return exception != nullptr && exception->ExceptionRecord == &earlier_filter
               ? EXCEPTION_EXECUTE_HANDLER
               : -7;
}

TEST_F(ConsoleSetup, ACrashGivesTheConsoleBackAndGoesOnToTheEarlierFilter) {
    SetUnhandledExceptionFilter(earlier_filter);
    os_init();
    LPTOP_LEVEL_EXCEPTION_FILTER filter = scripted::state().crash_filter;
    ASSERT_NE(filter, earlier_filter);
    take_console_away();
    EXCEPTION_POINTERS exception = {reinterpret_cast<void*>(&earlier_filter), nullptr};
    EXPECT_EQ(filter(&exception), EXCEPTION_EXECUTE_HANDLER);
    expect_console_given_back();
}

TEST_F(ConsoleSetup, ACrashWithNoEarlierFilterGoesOnToTheSystem) {
    os_init();
    take_console_away();
    EXCEPTION_POINTERS exception = {nullptr, nullptr};
    EXPECT_EQ(scripted::state().crash_filter(&exception), EXCEPTION_CONTINUE_SEARCH);
    expect_console_given_back();
}

TEST_F(ConsoleSetup, ARepeatedSetupCreatesAndActivatesAnotherBuffer) {
    os_init();
    HANDLE first = console_handles.screen_buffer;
    scripted::state().calls.clear();
    os_init();
    // Every step again, but the player's console is taken and the guards are
    // installed only the first time.
    std::vector<std::string> again = setup_calls;
    for (const char* first_only : {"CreateFileA(CONOUT$,3221225472,3,3)", "GetConsoleMode(input)",
                                   "SetConsoleCtrlHandler(add)", "SetUnhandledExceptionFilter"})
        again.erase(std::find(again.begin(), again.end(), first_only));
    EXPECT_EQ(scripted::state().calls, again);
    EXPECT_NE(console_handles.screen_buffer, first);
    EXPECT_EQ(scripted::state().active, console_handles.screen_buffer);
    EXPECT_EQ(scripted::state().buffers.size(), 3u);  // initial, first, second
}

TEST_F(ConsoleSetup, TheInertServicesChangeNothing) {
    os_init();
    const scripted::console before = scripted::state();
    const console_handle_set handles = console_handles;
    os_sound(1, 2, 3);
    os_fade("anything", 4.5);
    os_zoom();
    os_update_client(nullptr, -1);
    EXPECT_EQ(scripted::state().calls, before.calls);
    EXPECT_EQ(scripted::state().active, before.active);
    EXPECT_EQ(console_handles.screen_buffer, handles.screen_buffer);
    EXPECT_EQ(console_handles.input, handles.input);
    EXPECT_EQ(console_handles.initial_output, handles.initial_output);
}

}  // namespace
