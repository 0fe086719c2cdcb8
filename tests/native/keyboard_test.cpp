// Keyboard translation and polling against the scripted console.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "contract.h"

#include "console_state.h"
#include "key_translation.h"
#include "os_services.h"
#include "host_fixture.h"
#include "scripted_console.h"

namespace {

constexpr DWORD shift = SHIFT_PRESSED;
constexpr DWORD ctrl = LEFT_CTRL_PRESSED;
constexpr DWORD rctrl = RIGHT_CTRL_PRESSED;
constexpr DWORD alt = LEFT_ALT_PRESSED;
constexpr DWORD ralt = RIGHT_ALT_PRESSED;

key_translation press(WORD vk, DWORD state, char ch = 0) {
    return translate_input_record(key_record(vk, ch, state));
}

// The key table (contract.h), and keys outside it, which give 0 whatever is held.
std::vector<key_row> table_and_outside_keys() {
    std::vector<key_row> rows(std::begin(key_rows), std::end(key_rows));
    for (WORD vk : {WORD{'A'}, WORD{0x0D}, WORD{0x2D} /* Insert */, WORD{0x67} /* keypad 7, Num Lock on */})
        rows.push_back({vk, "outside the table", "", 0, 0, 0, 0});
    return rows;
}

void PrintTo(const key_row& row, std::ostream* out) { *out << row.name << " (vk " << row.virtual_key << ")"; }

class KeyTable : public ::testing::TestWithParam<key_row> {};

TEST_P(KeyTable, EveryColumnGivesItsCode) {
    const key_row row = GetParam();
    const WORD vk = row.virtual_key;
    EXPECT_EQ(press(vk, 0).key_code, row.plain);
    EXPECT_EQ(press(vk, shift).key_code, row.shift);
    EXPECT_EQ(press(vk, ctrl).key_code, row.ctrl);
    EXPECT_EQ(press(vk, rctrl).key_code, row.ctrl);
    EXPECT_EQ(press(vk, shift | ctrl).key_code, row.shift);  // Shift wins over Ctrl
    if (row.alt != keys::alt_f4) {  // Alt+F4 ends the process; checked below
        EXPECT_EQ(press(vk, alt).key_code, row.alt);
        EXPECT_EQ(press(vk, ralt).key_code, row.alt);
        EXPECT_EQ(press(vk, alt | shift).key_code, row.alt);  // Alt wins over both
        EXPECT_EQ(press(vk, alt | ctrl | shift).key_code, row.alt);
    }
}

TEST_P(KeyTable, LockAndEnhancedBitsAreIgnored) {
    const key_row row = GetParam();
    for (DWORD extra : {DWORD{NUMLOCK_ON}, DWORD{CAPSLOCK_ON}, DWORD{SCROLLLOCK_ON},
                        DWORD{ENHANCED_KEY}, DWORD{0xFFFFFE00}}) {
        EXPECT_EQ(press(row.virtual_key, extra).key_code, row.plain) << extra;
        EXPECT_EQ(press(row.virtual_key, extra | shift).key_code, row.shift) << extra;
        EXPECT_EQ(press(row.virtual_key, extra | ctrl).key_code, row.ctrl) << extra;
    }
}

INSTANTIATE_TEST_SUITE_P(AllKeys, KeyTable, ::testing::ValuesIn(table_and_outside_keys()));

TEST(KeyTranslation, CharactersAreSignedBytes) {
    EXPECT_EQ(press('A', 0, 'a').char_code, 97);
    EXPECT_EQ(press(0, 0, static_cast<char>(0xE9)).char_code, -23);
    EXPECT_EQ(press(0, 0, static_cast<char>(0x80)).char_code, -128);
    EXPECT_EQ(press(0, 0, static_cast<char>(0xFF)).char_code, -1);
    EXPECT_EQ(press(0, 0, 127).char_code, 127);
    EXPECT_EQ(press(VK_UP, 0).char_code, 0);
}

TEST(KeyTranslation, OnlyAltF4AndCharacter24EndTheProcess) {
    EXPECT_TRUE(press(VK_F4, alt).ends_process);
    EXPECT_TRUE(press(VK_F4, ralt | shift | ctrl | NUMLOCK_ON).ends_process);
    EXPECT_TRUE(press('X', ctrl, keys::exit_character).ends_process);
    EXPECT_TRUE(press(0, 0, keys::exit_character).ends_process);  // typed any other way
    EXPECT_FALSE(press('C', ctrl, 3).ends_process);
    EXPECT_FALSE(press(VK_F4, 0).ends_process);
    EXPECT_FALSE(press(VK_F4, ctrl).ends_process);
    EXPECT_FALSE(press('X', 0, 'x').ends_process);
    EXPECT_FALSE(translate_input_record(key_record(VK_F4, 0, alt, false)).ends_process);
    EXPECT_FALSE(translate_input_record(key_record('X', keys::exit_character, ctrl, false)).ends_process);
}

TEST(KeyTranslation, ReleasesAndOtherRecordsGiveNothing) {
    const key_translation release = translate_input_record(key_record(VK_UP, 'a', 0, false));
    EXPECT_EQ(release.key_code, 0);
    EXPECT_EQ(release.char_code, 0);
    for (WORD type : {WORD{MOUSE_EVENT}, WORD{WINDOW_BUFFER_SIZE_EVENT}, WORD{MENU_EVENT},
                      WORD{FOCUS_EVENT}, WORD{0}, WORD{0xFFFF}}) {
        INPUT_RECORD record = key_record(VK_F4, keys::exit_character, alt);
        record.EventType = type;
        const key_translation t = translate_input_record(record);
        EXPECT_EQ(t.key_code, 0) << type;
        EXPECT_EQ(t.char_code, 0) << type;
        EXPECT_FALSE(t.ends_process) << type;
    }
}

class InputPolling : public ::testing::Test {
protected:
    void SetUp() override {
        start_after_setup();
    }
    static void queue(const INPUT_RECORD& record) { scripted::state().input.push_back(record); }
};

TEST_F(InputPolling, ARecordOfThreeAutoRepeatsYieldsOneKey) {
    INPUT_RECORD record = key_record(VK_DOWN, 0, 0);
    record.Event.KeyEvent.wRepeatCount = 3;
    queue(record);
    std::vector<int> keys;
    for (int poll = 0; poll < 3; ++poll) {
        int key = -1, ch = -1;
        os_get_input(&key, &ch);
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<int>{80, 0, 0}));
}

TEST_F(InputPolling, AnEmptyQueueGivesNothingAfterSleepingFirst) {
    int key = 5, ch = 5;
    os_get_input(&key, &ch);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(ch, 0);
    const std::vector<std::string> expected = {"Sleep(1)", "GetNumberOfConsoleInputEvents"};
    EXPECT_EQ(scripted::state().calls, expected);
}

TEST_F(InputPolling, TakesOneRecordPerCallInOrder) {
    queue(key_record('A', 'a', 0));
    queue(key_record('A', 'a', 0, false));
    queue(other_record(FOCUS_EVENT));
    queue(other_record(MENU_EVENT));
    queue(other_record(MOUSE_EVENT));
    queue(key_record(VK_UP, 0, shift));
    const std::pair<int, int> expected[] = {{0, 97}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {2072, 0}, {0, 0}};
    for (const auto& [want_key, want_char] : expected) {
        const size_t before = scripted::state().input.size();
        int key = -7, ch = -7;
        os_get_input(&key, &ch);
        EXPECT_EQ(key, want_key);
        EXPECT_EQ(ch, want_char);
        EXPECT_EQ(scripted::state().input.size(), before == 0 ? 0 : before - 1);
    }
    for (const std::string& call : scripted::state().calls)
        if (call.rfind("ReadConsoleInputA", 0) == 0) EXPECT_EQ(call, "ReadConsoleInputA(1)");
}

TEST_F(InputPolling, CtrlCIsAnOrdinaryCharacter) {
    queue(key_record('C', 3, ctrl));
    int key = -1, ch = -1;
    os_get_input(&key, &ch);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(ch, 3);
}

TEST_F(InputPolling, FailedQueriesReadAsNoKey) {
    queue(key_record('A', 'a', 0));
    for (const char* failing : {"GetNumberOfConsoleInputEvents", "ReadConsoleInputA"}) {
        scripted::state().failing = {failing};
        int key = -1, ch = -1;
        os_get_input(&key, &ch);
        EXPECT_EQ(key, 0) << failing;
        EXPECT_EQ(ch, 0) << failing;
    }
}

TEST_F(InputPolling, ANullPointerIsSkippedAndTheOtherOutputStillWritten) {
    queue(key_record(VK_UP, 0, 0));
    queue(key_record('b', 'b', 0));
    queue(key_record(VK_DOWN, 'c', 0));
    int value = -1;
    os_get_input(&value, nullptr);
    EXPECT_EQ(value, keys::up);
    os_get_input(nullptr, &value);
    EXPECT_EQ(value, 'b');
    os_get_input(nullptr, nullptr);
    EXPECT_TRUE(scripted::state().input.empty());
}

TEST(InputPollingBeforeSetup, ReportsNoKey) {
    start_before_setup();
    scripted::state().input.push_back(key_record(VK_UP, 0, 0));
    int key = -1, ch = -1;
    os_get_input(&key, &ch);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(ch, 0);
    EXPECT_EQ(scripted::state().input.size(), 1u);
}

struct exit_key {
    WORD vk;
    char ch;
    DWORD state;
    bool null_pointers;
};

// Names the case by its fields: the struct's padding would make the printed
// bytes, and so the test's name, differ from run to run.
void PrintTo(const exit_key& k, std::ostream* out) {
    *out << "vk " << k.vk << " char " << int{k.ch} << " state " << k.state
         << (k.null_pointers ? " null pointers" : "");
}

class ExitKeys : public ::testing::TestWithParam<exit_key> {};

// Sets up the console, queues the key and polls once; returns only if the
// key did not end the process.
void poll_one_key(const exit_key& k) {
    start_before_setup();
    report_active_buffer_at_exit();
    os_init();
    scripted::state().input.push_back(key_record(k.vk, k.ch, k.state));
    int key = 0, ch = 0;
    if (k.null_pointers)
        os_get_input(nullptr, nullptr);
    else
        os_get_input(&key, &ch);
}

TEST_P(ExitKeys, EndTheProcessWithStatusZero) {
    const exit_key k = GetParam();
    // Through the at-exit list, which gives the player's console back.
    EXPECT_EXIT((poll_one_key(k), std::exit(42)), ::testing::ExitedWithCode(0),
                "active at exit: initial, input mode " + player_mode);
}

INSTANTIATE_TEST_SUITE_P(
    AllWays, ExitKeys,
    ::testing::Values(exit_key{VK_F4, 0, alt, false}, exit_key{VK_F4, 0, ralt, false},
                      exit_key{VK_F4, 0, alt | ctrl | shift, false},
                      exit_key{VK_F4, 0, ralt | NUMLOCK_ON | ENHANCED_KEY, false},
                      exit_key{'X', keys::exit_character, ctrl, false},
                      exit_key{'X', keys::exit_character, ctrl | shift, false},
                      exit_key{0, keys::exit_character, 0, false}, exit_key{VK_F4, 0, alt, true},
                      exit_key{'X', keys::exit_character, ctrl, true}));

}  // namespace
