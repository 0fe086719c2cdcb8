// The launcher: loading the module, the hand-off, and the two failure boxes.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "launcher.h"
#include "scripted_console.h"

namespace {

int entry_argc = 0;
char** entry_argv = nullptr;
int entry_result = 0;
bool loaded_during_entry = false;
DWORD entry_error_mode = 0;

int recording_entry(int argc, char** argv) {
    entry_argc = argc;
    entry_argv = argv;
    loaded_during_entry = scripted::state().loaded.count("Umberdeep.dll") == 1;
    entry_error_mode = scripted::state().thread_error_mode;
    return entry_result;
}

void install_module(bool with_entry) {
    scripted::fake_module& module = scripted::state().modules["Umberdeep.dll"];
    if (with_entry) module.exports["dll_main"] = reinterpret_cast<void*>(&recording_entry);
}

// Registered before the launcher runs, so it reports after everything else.
void report_boxes_and_frees_at_exit() {
    std::atexit([] {
        for (const scripted::message_box& box : scripted::state().boxes)
            std::fprintf(stderr, "box <%s> <%s> %#x;", box.text.c_str(), box.caption.c_str(),
                         box.style);
        std::fprintf(stderr, "boxes %zu, freed %zu\n", scripted::state().boxes.size(),
                     scripted::state().freed.size());
    });
}

char program[] = "UmberdeepSafeMode.exe";
char spaced[] = "two words";
char empty[] = "";
char* arguments[] = {program, spaced, empty, nullptr};

TEST(Launcher, HandsTheCommandLineOverUntouchedAndReturnsTheResult) {
    for (int result : {0, 7, -1, 255, 256, INT_MAX, INT_MIN}) {
        scripted::reset();
        install_module(true);
        entry_result = result;
        EXPECT_EQ(run_game_module(3, arguments), result);
        EXPECT_EQ(entry_argc, 3);
        EXPECT_EQ(entry_argv, arguments);
        EXPECT_TRUE(loaded_during_entry);
        EXPECT_EQ(scripted::state().freed, std::vector<std::string>{"Umberdeep.dll"});
        EXPECT_TRUE(scripted::state().boxes.empty());
    }
}

TEST(Launcher, LoadsTheModuleByItsBareNameQuietlyAndLooksUpItsEntry) {
    // The load alone asks for quiet failures, on top of the thread's own mode,
    // which the game then runs with.
    scripted::reset();
    install_module(true);
    scripted::state().thread_error_mode = SEM_NOGPFAULTERRORBOX;
    run_game_module(1, arguments);
    const std::vector<std::string> expected = {
        "GetThreadErrorMode", "SetThreadErrorMode(3)", "LoadLibraryA(Umberdeep.dll)",
        "SetThreadErrorMode(2)", "GetProcAddress(dll_main)", "FreeLibrary"};
    EXPECT_EQ(scripted::state().calls, expected);
    EXPECT_EQ(entry_error_mode, SEM_NOGPFAULTERRORBOX);
}

TEST(Launcher, AMissingModuleShowsOneBoxAndEndsWithStatusOne) {
    EXPECT_EXIT(
        {
            scripted::reset();
            report_boxes_and_frees_at_exit();
            run_game_module(1, arguments);
            std::exit(42);
        },
        ::testing::ExitedWithCode(1),
        "^box <main: LoadLibrary failed> <Error> 0x30;boxes 1, freed 0\n$");
}

TEST(Launcher, AModuleWithoutEntryShowsOneBoxAndStaysLoaded) {
    EXPECT_EXIT(
        {
            scripted::reset();
            install_module(false);
            report_boxes_and_frees_at_exit();
            run_game_module(1, arguments);
            std::exit(42);
        },
        ::testing::ExitedWithCode(1),
        "^box <main: GetProcAddress failed> <Error> 0x30;boxes 1, freed 0\n$");
}

TEST(Launcher, WithoutAWindowingLibraryTheFailureStillEndsWithStatusOne) {
    EXPECT_EXIT(
        {
            scripted::reset();
            scripted::state().modules.erase("user32.dll");
            run_game_module(1, arguments);
            std::exit(42);
        },
        ::testing::ExitedWithCode(1), "");
}

}  // namespace
