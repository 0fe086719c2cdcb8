// The scripted console behind the stand-in Win32 functions: screen buffers of
// cells, console modes, an input queue, a controllable tick count, loadable
// fake modules and a log of every call the host made.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <windows.h>

namespace scripted {

struct screen_buffer {
    int width = 80;
    int height = 25;
    std::vector<CHAR_INFO> cells = std::vector<CHAR_INFO>(80 * 25, CHAR_INFO{{' '}, 0x07});
    DWORD mode = 0x3;  // processed output and wrapping, as a new buffer has
    CONSOLE_CURSOR_INFO cursor = {25, TRUE};

    CHAR_INFO& at(int x, int y) { return cells[y * width + x]; }
};

// A new buffer of the given size, blank and in the modes a new buffer has.
screen_buffer sized_buffer(int width, int height);

struct cell_write {
    HANDLE buffer;
    CHAR_INFO cell;
    COORD size;
    COORD source;
    SMALL_RECT region;
};

struct message_box {
    std::string text;
    std::string caption;
    UINT style;
};

struct fake_module {
    std::map<std::string, void*> exports;
};

struct console {
    HANDLE std_input;
    HANDLE std_output;
    HANDLE active;
    std::map<HANDLE, screen_buffer> buffers;
    std::map<HANDLE, DWORD> input_modes;
    std::map<HANDLE, HANDLE> opened_buffers;  // CONOUT$ handles, each bound to the buffer active when opened
    std::string title = "wine";
    COORD new_buffer_size = {80, 25};  // what CreateConsoleScreenBuffer makes (the window's size)
    std::deque<INPUT_RECORD> input;
    DWORD ticks = 1000;
    DWORD ticks_per_sleep_ms = 1;  // how far each Sleep(n) moves the tick count, per ms
    long sleeps = 0;
    long sleep_limit = 1000000;    // a loop that never ends aborts the test here

    std::vector<std::string> calls;      // one entry per stand-in call, in order
    std::set<std::string> failing;       // names of the functions that must fail
    std::vector<cell_write> writes;
    bool empty_region = false;           // hand back an empty region after a write

    std::vector<PHANDLER_ROUTINE> ctrl_handlers;  // in the order they were added
    LPTOP_LEVEL_EXCEPTION_FILTER crash_filter = nullptr;
    DWORD thread_error_mode = 0;

    std::map<std::string, fake_module> modules;  // by file name
    std::set<std::string> loaded;
    std::vector<std::string> freed;
    std::vector<message_box> boxes;
    int next_handle = 0x100;
};

// The one scripted console; reset() starts a fresh one with a standard input
// console buffer and an initial 80 x 25 output buffer.
console& state();
void reset();

HANDLE new_handle();
bool fails(const char* function);

}  // namespace scripted
