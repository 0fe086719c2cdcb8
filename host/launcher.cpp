// Loads "Umberdeep.dll", hands it the command line and unloads it afterwards.
#include "launcher.h"

#include <cstdlib>

#include <windows.h>

namespace {

using game_entry = int (*)(int argc, char** argv);
using message_box_function = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT);

constexpr UINT error_box_style = MB_OK | MB_ICONEXCLAMATION;  // 0x30

// USER32 is needed only on this failure path, so it is loaded here rather than
// imported: a normal start then maps one DLL less.
void show_error_box(const char* text) {
    HMODULE user32 = LoadLibraryA("user32.dll");
    if (user32 == nullptr) return;
    auto message_box =
        reinterpret_cast<message_box_function>(
        reinterpret_cast<void*>(GetProcAddress(user32, "MessageBoxA")));
    if (message_box != nullptr) message_box(nullptr, text, "Error", error_box_style);
}

[[noreturn]] void fail_launch(const char* text) {
    show_error_box(text);
    std::exit(1);
}

// A module that is not a valid image would make the system show a box of its
// own before the load fails, and the player would dismiss two boxes: the load
// asks for quiet failures. The thread's mode is put back afterwards, so the
// game runs with the error mode it would have had.
HMODULE load_game_module() {
    const DWORD previous_mode = GetThreadErrorMode();
    SetThreadErrorMode(previous_mode | SEM_FAILCRITICALERRORS, nullptr);
    HMODULE module = LoadLibraryA("Umberdeep.dll");
    SetThreadErrorMode(previous_mode, nullptr);
    return module;
}

}  // namespace

int run_game_module(int argc, char** argv) {
    HMODULE module = load_game_module();
    if (module == nullptr) fail_launch("main: LoadLibrary failed");

    auto entry = reinterpret_cast<game_entry>(
        reinterpret_cast<void*>(GetProcAddress(module, "dll_main")));
    if (entry == nullptr) fail_launch("main: GetProcAddress failed");

    const int result = entry(argc, argv);
    FreeLibrary(module);
    return result;
}
