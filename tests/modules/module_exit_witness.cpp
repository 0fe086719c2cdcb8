// Not a game module: a helper DLL that a test module loads and never frees.
// Its DLL_PROCESS_DETACH runs inside ExitProcess, after the host's at-exit list,
// so from there it sees the console as the process leaves it. It writes
// "witness.out" in the current folder:
//   active_mark=C     the mark cell of the active buffer (see probe.h's mark_buffer)
//   module_loaded=0|1 whether "Umberdeep.dll" is still mapped
//   input_mode=N      the console's input mode, in decimal
// Only kernel32 is used here: the C runtime may already be shut down.
#include <windows.h>

namespace {

void append(char* line, size_t* length, const char* text) {
    while (*text != '\0') line[(*length)++] = *text++;
}

void append_number(char* line, size_t* length, DWORD value) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count > 0) line[(*length)++] = digits[--count];
}

DWORD input_mode() {
    HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &mode)) return 999999;
    return mode;
}

char active_mark() {
    HANDLE active = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (active == INVALID_HANDLE_VALUE) return '!';
    CHAR_INFO cell = {};
    SMALL_RECT region = {79, 24, 79, 24};
    if (!ReadConsoleOutputA(active, &cell, COORD{1, 1}, COORD{0, 0}, &region)) return '?';
    return cell.Char.AsciiChar;
}

void write_witness() {
    char text[128];
    size_t length = 0;
    append(text, &length, "active_mark=");
    text[length++] = active_mark();
    append(text, &length, "\nmodule_loaded=");
    text[length++] = GetModuleHandleA("Umberdeep.dll") != nullptr ? '1' : '0';
    append(text, &length, "\ninput_mode=");
    append_number(text, &length, input_mode());
    text[length++] = '\n';
    HANDLE file = CreateFileA("witness.out", FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // Only the process exit counts; an early FreeLibrary would see the run
    // still going and is not what the tests ask about.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) write_witness();
    return TRUE;
}
