// The stand-in Win32 console functions, true to the real functions' contracts
// for the arguments the host passes.
#include "scripted_console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace scripted {

namespace {

console* current = nullptr;

std::string handle_name(HANDLE handle) {
    console& c = state();
    if (handle == nullptr) return "null";
    if (handle == INVALID_HANDLE_VALUE) return "invalid";
    if (handle == c.std_input) return "input";
    if (handle == c.std_output) return "initial";
    if (c.opened_buffers.count(handle)) return "conout";
    return "buffer";
}

void log(const std::string& call) { state().calls.push_back(call); }

int message_box_stand_in(HWND, LPCSTR text, LPCSTR caption, UINT style) {
    state().boxes.push_back({text, caption, style});
    log("MessageBoxA");
    return 1;
}

}  // namespace

console& state() {
    if (current == nullptr) reset();
    return *current;
}

void reset() {
    delete current;
    current = new console();
    current->std_input = new_handle();
    current->std_output = new_handle();
    current->active = current->std_output;
    current->buffers[current->std_output] = screen_buffer();
    current->input_modes[current->std_input] = 0x1F7;
    current->modules["user32.dll"].exports["MessageBoxA"] =
        reinterpret_cast<void*>(&message_box_stand_in);
}

screen_buffer sized_buffer(int width, int height) {
    screen_buffer buffer;
    buffer.width = width;
    buffer.height = height;
    buffer.cells.assign(static_cast<size_t>(width) * height, CHAR_INFO{{' '}, 0x07});
    return buffer;
}

HANDLE new_handle() {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(state().next_handle++ * 4));
}

bool fails(const char* function) { return state().failing.count(function) != 0; }

}  // namespace scripted

using scripted::handle_name;
using scripted::log;
using scripted::state;
using scripted::console;

HANDLE GetStdHandle(DWORD which) {
    log(which == STD_INPUT_HANDLE ? "GetStdHandle(input)" : "GetStdHandle(output)");
    if (scripted::fails(which == STD_INPUT_HANDLE ? "GetStdHandle(input)" : "GetStdHandle(output)"))
        return INVALID_HANDLE_VALUE;
    return which == STD_INPUT_HANDLE ? state().std_input : state().std_output;
}

HANDLE CreateConsoleScreenBuffer(DWORD access, DWORD share, const void* security, DWORD flags,
                                 void* reserved) {
    log("CreateConsoleScreenBuffer(" + std::to_string(access) + "," + std::to_string(share) + "," +
        (security ? "attrs" : "null") + "," + std::to_string(flags) + "," +
        (reserved ? "ptr" : "null") + ")");
    if (scripted::fails("CreateConsoleScreenBuffer")) return INVALID_HANDLE_VALUE;
    HANDLE buffer = scripted::new_handle();
    const COORD size = state().new_buffer_size;
    state().buffers[buffer] = scripted::sized_buffer(size.X, size.Y);
    return buffer;
}

BOOL SetConsoleActiveScreenBuffer(HANDLE buffer) {
    log("SetConsoleActiveScreenBuffer(" + handle_name(buffer) + ")");
    console& c = state();
    if (c.opened_buffers.count(buffer)) buffer = c.opened_buffers[buffer];
    if (scripted::fails("SetConsoleActiveScreenBuffer") || !c.buffers.count(buffer)) return FALSE;
    c.active = buffer;
    return TRUE;
}

// Only the console's own names are known here; CONOUT$ gives a new handle to
// the buffer active now, which stays bound to it.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, const void*, DWORD disposition, DWORD,
                   HANDLE) {
    log(std::string("CreateFileA(") + name + "," + std::to_string(access) + "," +
        std::to_string(share) + "," + std::to_string(disposition) + ")");
    console& c = state();
    if (scripted::fails("CreateFileA") || std::string(name) != "CONOUT$" || !c.buffers.count(c.active))
        return INVALID_HANDLE_VALUE;
    HANDLE opened = scripted::new_handle();
    c.opened_buffers[opened] = c.active;
    return opened;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add) {
    log(std::string("SetConsoleCtrlHandler(") + (add ? "add" : "remove") + ")");
    if (add) state().ctrl_handlers.push_back(handler);
    return TRUE;
}

LPTOP_LEVEL_EXCEPTION_FILTER SetUnhandledExceptionFilter(LPTOP_LEVEL_EXCEPTION_FILTER filter) {
    log("SetUnhandledExceptionFilter");
    LPTOP_LEVEL_EXCEPTION_FILTER previous = state().crash_filter;
    state().crash_filter = filter;
    return previous;
}

DWORD GetThreadErrorMode() {
    log("GetThreadErrorMode");
    return state().thread_error_mode;
}

BOOL SetThreadErrorMode(DWORD mode, DWORD* previous_mode) {
    log("SetThreadErrorMode(" + std::to_string(mode) + ")");
    if (previous_mode != nullptr) *previous_mode = state().thread_error_mode;
    state().thread_error_mode = mode;
    return TRUE;
}

BOOL GetConsoleMode(HANDLE handle, DWORD* mode) {
    log("GetConsoleMode(" + handle_name(handle) + ")");
    if (scripted::fails(("GetConsoleMode(" + handle_name(handle) + ")").c_str())) return FALSE;
    console& c = state();
    if (c.input_modes.count(handle)) {
        *mode = c.input_modes[handle];
        return TRUE;
    }
    if (c.buffers.count(handle)) {
        *mode = c.buffers[handle].mode;
        return TRUE;
    }
    return FALSE;
}

BOOL SetConsoleMode(HANDLE handle, DWORD mode) {
    log("SetConsoleMode(" + handle_name(handle) + "," + std::to_string(mode) + ")");
    if (scripted::fails(("SetConsoleMode(" + handle_name(handle) + ")").c_str())) return FALSE;
    console& c = state();
    if (c.input_modes.count(handle)) {
        c.input_modes[handle] = mode;
        return TRUE;
    }
    if (c.buffers.count(handle)) {
        c.buffers[handle].mode = mode;
        return TRUE;
    }
    return FALSE;
}

BOOL SetConsoleCursorInfo(HANDLE buffer, const CONSOLE_CURSOR_INFO* info) {
    log("SetConsoleCursorInfo(" + handle_name(buffer) + "," + std::to_string(info->dwSize) + "," +
        (info->bVisible ? "visible" : "hidden") + ")");
    if (scripted::fails("SetConsoleCursorInfo") || !state().buffers.count(buffer)) return FALSE;
    if (info->dwSize < 1 || info->dwSize > 100) return FALSE;
    state().buffers[buffer].cursor = *info;
    return TRUE;
}

BOOL SetConsoleTitleA(LPCSTR title) {
    log(std::string("SetConsoleTitleA(") + title + ")");
    if (scripted::fails("SetConsoleTitleA")) return FALSE;
    state().title = title;
    return TRUE;
}

BOOL WriteConsoleOutputA(HANDLE buffer, const CHAR_INFO* cells, COORD size, COORD source,
                         SMALL_RECT* region) {
    log("WriteConsoleOutputA");
    console& c = state();
    c.writes.push_back({buffer, cells[0], size, source, *region});
    if (scripted::fails("WriteConsoleOutputA") || !c.buffers.count(buffer)) return FALSE;
    scripted::screen_buffer& b = c.buffers[buffer];
    // Clip the target region to the buffer and to the block, then copy.
    const int left = std::max<int>(region->Left, 0);
    const int top = std::max<int>(region->Top, 0);
    const int right = std::min<int>({region->Right, b.width - 1, region->Left + size.X - source.X - 1});
    const int bottom = std::min<int>({region->Bottom, b.height - 1, region->Top + size.Y - source.Y - 1});
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            const int from_x = source.X + x - region->Left;
            const int from_y = source.Y + y - region->Top;
            b.at(x, y) = cells[from_y * size.X + from_x];
        }
    // Windows hands back the region clipped to the buffer.
    *region = SMALL_RECT{static_cast<SHORT>(left), static_cast<SHORT>(top),
                         static_cast<SHORT>(right), static_cast<SHORT>(bottom)};
    if (c.empty_region) region->Right = static_cast<SHORT>(region->Left - 1);
    return TRUE;
}

BOOL GetNumberOfConsoleInputEvents(HANDLE input, DWORD* count) {
    log("GetNumberOfConsoleInputEvents");
    if (scripted::fails("GetNumberOfConsoleInputEvents") || input != state().std_input) return FALSE;
    *count = static_cast<DWORD>(state().input.size());
    return TRUE;
}

BOOL PeekConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, DWORD* read) {
    log("PeekConsoleInputA(" + std::to_string(length) + ")");
    console& c = state();
    if (scripted::fails("PeekConsoleInputA") || input != c.std_input) return FALSE;
    DWORD n = 0;
    for (; n < length && n < c.input.size(); ++n) records[n] = c.input[n];
    *read = n;
    return TRUE;
}

BOOL ReadConsoleInputA(HANDLE input, INPUT_RECORD* records, DWORD length, DWORD* read) {
    log("ReadConsoleInputA(" + std::to_string(length) + ")");
    console& c = state();
    if (scripted::fails("ReadConsoleInputA") || input != c.std_input) return FALSE;
    DWORD n = 0;
    while (n < length && !c.input.empty()) {
        records[n++] = c.input.front();
        c.input.pop_front();
    }
    *read = n;
    return TRUE;
}

BOOL WriteConsoleInputA(HANDLE input, const INPUT_RECORD* records, DWORD length, DWORD* written) {
    log("WriteConsoleInputA(" + std::to_string(length) + ")");
    console& c = state();
    if (scripted::fails("WriteConsoleInputA") || input != c.std_input) return FALSE;
    c.input.insert(c.input.end(), records, records + length);
    *written = length;
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    log("Sleep(" + std::to_string(milliseconds) + ")");
    console& c = state();
    c.ticks += milliseconds * c.ticks_per_sleep_ms;
    if (++c.sleeps > c.sleep_limit) {
        std::fprintf(stderr, "Sleep called %ld times: the caller never stops waiting\n", c.sleeps);
        std::abort();
    }
}

DWORD GetTickCount() { return state().ticks; }

HMODULE LoadLibraryA(LPCSTR name) {
    log(std::string("LoadLibraryA(") + name + ")");
    console& c = state();
    auto found = c.modules.find(name);
    if (found == c.modules.end()) return nullptr;
    c.loaded.insert(name);
    return reinterpret_cast<HMODULE>(&found->second);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
    log(std::string("GetProcAddress(") + name + ")");
    auto* found = static_cast<scripted::fake_module*>(module);
    auto entry = found->exports.find(name);
    if (entry == found->exports.end()) return nullptr;
    return reinterpret_cast<FARPROC>(entry->second);
}

BOOL FreeLibrary(HMODULE module) {
    console& c = state();
    for (auto& [name, m] : c.modules)
        if (&m == module) {
            c.freed.push_back(name);
            c.loaded.erase(name);
        }
    log("FreeLibrary");
    return TRUE;
}
