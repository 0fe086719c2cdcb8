// Not a game module: a program that starts another in its own console and, while
// that one runs, keeps a copy of the console's active screen in two text files
// in the current folder, so that a test can read what a console window shows:
//   screen.txt  the characters of the visible rows, trailing spaces dropped
//   screen.bg   each cell's background: '.' black, 'D' dark grey (0x80),
//               'L' light grey (0x70), 'X' any other
// usage: screen_watch PROGRAM [ARGS...]; ends with PROGRAM's exit status.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// Writes TEXT to NAME through a temporary file, so that a reader never sees half of it.
void replace_file(const char* name, const std::string& text) {
    const std::string temporary = std::string(name) + ".tmp";
    FILE* out = std::fopen(temporary.c_str(), "wb");
    if (out == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), out);
    std::fclose(out);
    MoveFileExA(temporary.c_str(), name, MOVEFILE_REPLACE_EXISTING);
}

char background(WORD attributes) {
    switch (attributes & 0xF0) {
        case 0x00: return '.';
        case 0x80: return 'D';
        case 0x70: return 'L';
        default: return 'X';
    }
}

// Copies the visible part of the active buffer; false when nothing changed.
bool copy_screen(std::string* last) {
    HANDLE buffer = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    if (buffer == INVALID_HANDLE_VALUE) return false;
    CONSOLE_SCREEN_BUFFER_INFO info;
    std::string text, backgrounds;
    if (GetConsoleScreenBufferInfo(buffer, &info)) {
        const SHORT width = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
        static CHAR_INFO row[512];
        for (SHORT y = info.srWindow.Top; y <= info.srWindow.Bottom && width <= 512; ++y) {
            SMALL_RECT region = {info.srWindow.Left, y, info.srWindow.Right, y};
            if (!ReadConsoleOutputA(buffer, row, COORD{width, 1}, COORD{0, 0}, &region)) break;
            std::string line;
            for (SHORT x = 0; x < width; ++x) {
                line += row[x].Char.AsciiChar;
                backgrounds += background(row[x].Attributes);
            }
            text += line.erase(line.find_last_not_of(' ') + 1) + '\n';
            backgrounds += '\n';
        }
    }
    CloseHandle(buffer);
    if (text.empty() || text + backgrounds == *last) return false;
    *last = text + backgrounds;
    replace_file("screen.bg", backgrounds);
    replace_file("screen.txt", text);
    return true;
}

}  // namespace

int main() {
    // The command line after this program's own name, quoted as it was given.
    const char* line = GetCommandLineA();
    const bool quoted = *line == '"';
    line += quoted ? 1 : 0;
    while (*line != '\0' && *line != (quoted ? '"' : ' ')) ++line;
    if (*line == '"') ++line;
    while (*line == ' ') ++line;
    std::string command = line;
    if (command.empty()) return 2;

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
        return 2;
    std::string last;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) copy_screen(&last);
    DWORD status = 2;
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}
