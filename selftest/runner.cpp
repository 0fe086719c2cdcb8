// UmberdeepSafeMode-selftest.exe [--long | --only NAME] [--junit FILE] [--windows-rules] [HOST.exe]
// UmberdeepSafeMode-selftest.exe --bench [--quick] [--window] [HOST.exe]
//
// Checks a host against its contract from inside Windows, in the console it
// runs in. It copies the host and the test module into a temporary folder and
// runs each scenario (scenarios.def; with --only the one named) as its own host
// process in this console; the module checks the services from inside
// (module.cpp), the runner what only the outside sees: the exit status, the
// player's console after every way out, the "Error" boxes of the launch faults.
// Nothing is printed while a host runs; the verdict comes at the end: each
// failure with file and line, then "N passed, N failed" (", N skipped"), then
// the figures this machine measured. Exit status 0 only when nothing failed.
#include <windows.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "check.h"
#include "console_mark.h"
#include "os_services.h"

namespace {

std::vector<std::string> results;  // "KIND<TAB>file:line<TAB>text", in order

}  // namespace

void record_line(const char* line) { results.emplace_back(line); }

namespace {

// ------------------------------------------------------------------ the player's console

// The console as the runner found it, given back after every scenario and at
// the end; the input mode during the run is one no console starts with.
struct player_console {
    HANDLE input = INVALID_HANDLE_VALUE;   // CONIN$, inheritable
    HANDLE buffer = INVALID_HANDLE_VALUE;  // CONOUT$ opened at start: the player's buffer
    DWORD original_mode = 0, output_mode = 0, test_mode = 0;
    CONSOLE_CURSOR_INFO cursor = {};
    CHAR_INFO last_cell = {};
    char title[256] = "";
    COORD size = {0, 0};  // its size, given back after Windows' rules made it taller
} player;

constexpr DWORD distinct_input_mode = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_WINDOW_INPUT;

void mark_player_buffer() {
    CHAR_INFO mark = player.last_cell;
    mark.Char.AsciiChar = selftest::player_mark;
    access_last_cell(player.buffer, &mark, true);
}

bool take_console() {
    player.input = open_console("CONIN$", true);
    player.buffer = open_console("CONOUT$", true);
    if (player.input == INVALID_HANDLE_VALUE || player.buffer == INVALID_HANDLE_VALUE) return false;
    GetConsoleMode(player.input, &player.original_mode);
    GetConsoleMode(player.buffer, &player.output_mode);
    GetConsoleCursorInfo(player.buffer, &player.cursor);
    GetConsoleTitleA(player.title, sizeof player.title);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(player.buffer, &info);
    player.size = info.dwSize;
    // A Windows console's buffer is far taller than its window (120 x 9001
    // behind a 120 x 30 window by default); under its rules the player's is
    // made so too, with the window as it was.
    if (windows_rules()) {
        const SMALL_RECT window = {0, 0, static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left),
                                   static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top)};
        SetConsoleScreenBufferSize(player.buffer, COORD{info.dwSize.X, static_cast<SHORT>(info.dwSize.Y + 200)});
        SetConsoleWindowInfo(player.buffer, TRUE, &window);
    }
    access_last_cell(player.buffer, &player.last_cell, false);
    SetConsoleMode(player.input, distinct_input_mode);
    GetConsoleMode(player.input, &player.test_mode);
    mark_player_buffer();
    return true;
}

// Whatever the host did: the player's buffer active, its modes and cursor, the
// mark, an empty input queue.
void give_console_back() {
    SetConsoleActiveScreenBuffer(player.buffer);
    SetConsoleMode(player.input, player.test_mode);
    SetConsoleMode(player.buffer, player.output_mode);
    SetConsoleCursorInfo(player.buffer, &player.cursor);
    FlushConsoleInputBuffer(player.input);
    mark_player_buffer();
}

void release_console() {
    give_console_back();
    access_last_cell(player.buffer, &player.last_cell, true);
    if (windows_rules()) SetConsoleScreenBufferSize(player.buffer, player.size);
    SetConsoleMode(player.input, player.original_mode);
    SetConsoleTitleA(player.title);
}

// ------------------------------------------------------------------ files

std::string folder_of(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// A path that the ANSI functions the runner uses can take: the path itself
// where the ANSI code page can write it, else its short form, which is plain
// ASCII (a user name outside the code page would otherwise come out as ?s).
std::string ansi_path(const wchar_t* wide) {
    const bool utf8 = GetACP() == CP_UTF8;  // takes no default-character flag
    char out[MAX_PATH * 3] = "";
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, out, sizeof out, nullptr, utf8 ? nullptr : &lossy) > 0 &&
        !lossy)
        return out;
    wchar_t short_form[MAX_PATH] = L"";
    if (GetShortPathNameW(wide, short_form, MAX_PATH) > 0)
        WideCharToMultiByte(CP_ACP, 0, short_form, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

std::string full_path(const std::string& path) {
    char full[MAX_PATH];
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length > 0 && length < sizeof full ? std::string(full) : path;
}

bool write_file(const std::string& path, const std::string& text) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return true;
}

std::string read_file(const std::string& path) {
    std::string text;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return text;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof chunk, &read, nullptr) && read > 0) text.append(chunk, read);
    CloseHandle(file);
    return text;
}

void remove_folder(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) remove_folder(folder + "\\" + name);
            else DeleteFileA((folder + "\\" + name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// ------------------------------------------------------------------ scenarios

// What the scenario's folder holds as Umberdeep.dll.
enum module_kind {
    test_module, no_module, no_entry, other_bitness,
    text_file, no_header, header_only, truncated, empty_file  // not a loadable image
};

// Exit statuses the platform decides: Wine's default handling of a console
// event ends with 0, Windows' with STATUS_CONTROL_C_EXIT; a crash ends with
// its exception's code, as the module saw it go by.
constexpr long long console_event_status = -1;
constexpr long long crash_status = -2;

struct scenario {
    const char* name;      // what --only takes
    const char* argument;  // argv[1]: what the module does
    const char* title;
    module_kind module;
    bool input_from_file, output_to_file, long_only;
    long long status;
    const char* box;  // the text of the one "Error" box, or none
};

const scenario scenarios[] = {
#define SCENARIO(name, ...) {#name, __VA_ARGS__},
#include "scenarios.def"
#undef SCENARIO
};

const char* const service_names[] = {"os_display_title", "os_fade",  "os_get_input",
                                     "os_init",          "os_pause", "os_put_font",
                                     "os_put_tile",      "os_sound", "os_update_client",
                                     "os_zoom"};

struct setup {
    std::string host, module, no_entry_module, other_module, temp;
    bool with_long = false;
    bool desktop = false;  // message boxes can show
};

// An argument as the runtime's parser reads it back.
std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

// The windows a process shows, each dismissed as it comes.
struct box_watch {
    DWORD process;
    std::vector<HWND> seen;
    std::string caption, text;
    bool owned = false;        // the last box has an owner window
    int buttons = 0;           // its buttons
    bool icon = false;         // it shows an icon (which one, another process cannot see)
};

BOOL CALLBACK look_at_control(HWND control, LPARAM data) {
    auto* watch = reinterpret_cast<box_watch*>(data);
    char kind[32] = "";
    GetClassNameA(control, kind, sizeof kind);
    if (lstrcmpiA(kind, "Button") == 0) ++watch->buttons;
    const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    if (lstrcmpiA(kind, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
        watch->icon = watch->icon || SendMessageA(control, STM_GETICON, 0, 0) != 0;
    return TRUE;
}

BOOL CALLBACK watch_window(HWND window, LPARAM data) {
    auto* watch = reinterpret_cast<box_watch*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != watch->process || !IsWindowVisible(window)) return TRUE;
    bool known = false;
    for (HWND w : watch->seen) known = known || w == window;
    if (!known) {
        watch->seen.push_back(window);
        char text[256] = "";
        GetWindowTextA(window, text, sizeof text);
        watch->caption = text;
        text[0] = '\0';
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);  // a message box's text
        watch->text = text;
        watch->owned = GetWindow(window, GW_OWNER) != nullptr;
        watch->buttons = 0;
        watch->icon = false;
        EnumChildWindows(window, look_at_control, data);
    }
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// Puts what the scenario needs into its folder.
void prepare(const setup& s, const scenario& c, const std::string& dir) {
    CreateDirectoryA(dir.c_str(), nullptr);
    CopyFileA(s.host.c_str(), (dir + "\\UmberdeepSafeMode.exe").c_str(), FALSE);
    const std::string module = dir + "\\Umberdeep.dll";
    if (c.module == test_module) {
        CopyFileA(s.module.c_str(), module.c_str(), FALSE);
        CopyFileA(s.module.c_str(), (dir + "\\" + selftest::witness_file).c_str(), FALSE);
    }
    if (c.module == no_entry) CopyFileA(s.no_entry_module.c_str(), module.c_str(), FALSE);
    if (c.module == other_bitness) CopyFileA(s.other_module.c_str(), module.c_str(), FALSE);
    if (c.module == text_file) write_file(module, "MZ but not a program: a text file named Umberdeep.dll\r\n");
    if (c.module == no_header) write_file(module, std::string(64, 'x'));
    if (c.module == header_only) write_file(module, "MZ" + std::string(4094, '\xFF'));
    if (c.module == truncated) write_file(module, read_file(s.module).substr(0, 1024));
    if (c.module == empty_file) write_file(module, "");
    write_file(dir + "\\input.txt", "not a console\r\n");
}

HANDLE inheritable_file(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &security,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct host_run {
    bool started = false, timed_out = false;
    DWORD status = 0, start_error = 0;
    box_watch boxes = {};
};

// Runs the host in this console, dismissing whatever windows it shows.
host_run run_host(const setup& s, const scenario& c, const std::string& dir) {
    host_run run;
    std::string command = quoted(dir + "\\UmberdeepSafeMode.exe") + " " + c.argument;
    if (std::strcmp(c.argument, "console") == 0)
        for (const char* argument : selftest::passed_arguments) command += " " + quoted(argument);
    HANDLE input = c.input_from_file ? inheritable_file(dir + "\\input.txt", false) : player.input;
    HANDLE output = c.output_to_file ? inheritable_file(dir + "\\output.txt", true) : player.buffer;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = player.buffer;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    // The host gets the system's default error mode, not the runner's: only
    // its own SetErrorMode may keep the system's boxes away.
    run.started = CreateProcessA((dir + "\\UmberdeepSafeMode.exe").c_str(), line.data(), nullptr,
                                 nullptr, TRUE, CREATE_DEFAULT_ERROR_MODE, nullptr, dir.c_str(),
                                 &startup, &process) != 0;
    if (!run.started) run.start_error = GetLastError();
    if (run.started) {
        run.boxes.process = process.dwProcessId;
        // Far above what a scenario takes on a busy machine (the normal run
        // takes 10-30 s under Wine): a host that hangs still fails.
        const DWORD limit_ms = (c.long_only ? 600 : 90) * 1000;
        const DWORD start = GetTickCount();
        while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
            if (s.desktop) EnumWindows(watch_window, reinterpret_cast<LPARAM>(&run.boxes));
            if (GetTickCount() - start > limit_ms) {
                run.timed_out = true;
                TerminateProcess(process.hProcess, 124);
                WaitForSingleObject(process.hProcess, 5000);
            }
        }
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (input != player.input) CloseHandle(input);
    if (output != player.buffer) CloseHandle(output);
    return run;
}

// Takes the module's result lines in, each named by the scenario; returns how
// many there were and the crash's code, when the module noted one.
int take_module_results(const std::string& dir, const char* title, unsigned long* crash_code,
                        std::string* notes) {
    const std::string text = read_file(dir + "\\" + selftest::results_file);
    int count = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.compare(0, 5, "NOTE\t") == 0) {
            std::sscanf(line.c_str(), "NOTE\texception\t%lu", crash_code);
            *notes += line.substr(5) + " ";
            continue;
        }
        const size_t text_at = line.find('\t', line.find('\t') + 1);
        if (text_at == std::string::npos) continue;
        if (line.compare(0, 7, "FIGURE\t") != 0) {
            line.insert(text_at + 1, std::string(title) + ": ");
            ++count;
        }
        results.push_back(line);
    }
    return count;
}

// What a launch that fails must leave as it was: the player's title, cursor and
// every cell of the buffer.
std::string console_state() {
    char title[256] = "";
    GetConsoleTitleA(title, sizeof title);
    CONSOLE_CURSOR_INFO cursor = {};
    GetConsoleCursorInfo(player.buffer, &cursor);
    std::string state = std::string(title) + (cursor.bVisible ? "|visible|" : "|hidden|") +
            std::to_string(cursor.dwSize) + "|";
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(player.buffer, &info)) return state;
    std::vector<CHAR_INFO> row(info.dwSize.X);
    for (SHORT y = 0; y < info.dwSize.Y; ++y) {
        SMALL_RECT region = {0, y, static_cast<SHORT>(info.dwSize.X - 1), y};
        ReadConsoleOutputA(player.buffer, row.data(), COORD{info.dwSize.X, 1}, COORD{0, 0}, &region);
        for (const CHAR_INFO& cell : row) {
            state += cell.Char.AsciiChar;
            state += static_cast<char>(cell.Attributes & 0xFF);
        }
    }
    return state;
}

void run_scenario(const setup& s, const scenario& c, int index) {
    if (c.module == other_bitness && s.other_module.empty()) {
        SKIPPED("%s: no test module of the other bitness beside the self-test", c.title);
        return;
    }
    const std::string dir = s.temp + "\\" + std::to_string(index);
    prepare(s, c, dir);
    const std::string state_before = console_state();
    const host_run run = run_host(s, c, dir);
    unsigned long crash_code = EXCEPTION_ACCESS_VIOLATION;
    std::string notes;
    const int reported = take_module_results(dir, c.title, &crash_code, &notes);
    if (!run.started) {
        OK(false, "%s: the host starts: error %lu", c.title, run.start_error);
        return;
    }
    OK(!run.timed_out, "%s: the host ends by itself within its time", c.title);

    if (c.status == console_event_status)
        OK(run.status == 0 || run.status == 0xC000013A,
           "%s: the console's default handling ends the host, with 0 (Wine) or 0xC000013A "
           "(Windows): 0x%lX", c.title, run.status);
    else if (c.status == crash_status)
        OK_EQ(crash_code, run.status, "%s: the exit status is the crash's code", c.title);
    else
        OK_EQ(c.status, run.status, "%s: the exit status", c.title);

    if (c.module == test_module && c.box == nullptr)
        OK(reported > 0, "%s: the test module ran and reported", c.title);
    if (c.output_to_file)
        OK(read_file(dir + "\\output.txt").empty(), "%s: the host writes nothing to standard output",
           c.title);
    if (!s.desktop && c.box != nullptr) {
        SKIPPED("%s: the \"Error\" box: no desktop to show it on", c.title);
    } else if (s.desktop) {
        OK_EQ(c.box != nullptr ? 1 : 0, run.boxes.seen.size(), "%s: the windows the host shows",
              c.title);
        if (c.box != nullptr) {
            OK(run.boxes.caption == "Error" && run.boxes.text == c.box,
               "%s: the box is captioned \"Error\" and says \"%s\": <%s> <%s>", c.title, c.box,
               run.boxes.caption.c_str(), run.boxes.text.c_str());
            OK(!run.boxes.owned && run.boxes.buttons == 1 && run.boxes.icon,
               "%s: the box has no owner, one button (OK) and an icon: owned %d, %d buttons, "
               "icon %d", c.title, run.boxes.owned, run.boxes.buttons, run.boxes.icon);
        }
    }
    if (c.box != nullptr)
        OK(console_state() == state_before,
           "%s: the player's title, cursor and every cell are left as they were", c.title);
    if (c.box != nullptr && c.module == test_module)
        OK(notes == "refused " && reported == 0, "%s: its DllMain refused, and no entry ran: <%s>",
           c.title, notes.c_str());
    if (c.module == no_entry)
        OK(notes == "attached detached-at-exit ",
           "%s: the module stays loaded until the process ends: <%s>", c.title, notes.c_str());
    // Once the last handle to the game's buffer is closed, Windows' console
    // shows the player's buffer by itself, Wine's keeps the game's: what the
    // runner sees afterwards proves no restore. The witness, inside the
    // process before its handles close, gives that verdict.
    if (std::strcmp(c.argument, selftest::skip_at_exit) == 0) {
        figure("after a host that skipped its at-exit list the console shows %s",
               player_buffer_shown() ? "the player's buffer (Windows' console does so by itself)"
                                     : "the game's buffer (Wine's console keeps it)");
        OK_EQ(0, console_input_mode(), "%s: the input mode is still 0 afterwards", c.title);
        give_console_back();
        return;
    }

    OK(player_buffer_shown(), "%s: the player's buffer is active afterwards", c.title);
    OK_EQ(player.test_mode, console_input_mode(), "%s: the player's input mode afterwards",
          c.title);
    give_console_back();
}

// The version resource of FILE against the header's UMBERDEEP_OS_SERVICES_VERSION.
void check_version_resource(const std::string& file) {
    unsigned major = 0, minor = 0, patch = 0;
    char extra = 0;
    if (!OK(std::sscanf(UMBERDEEP_OS_SERVICES_VERSION, "%u.%u.%u%c", &major, &minor, &patch, &extra) == 3,
            "the header states a version, N.N.N: <%s>", UMBERDEEP_OS_SERVICES_VERSION))
        return;
    std::vector<char> data(GetFileVersionInfoSizeA(file.c_str(), nullptr) + 1);
    if (!OK(GetFileVersionInfoA(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()),
            "the host has a version resource"))
        return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    const bool has_fixed = VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length);
    OK(has_fixed && fixed->dwFileVersionMS == (major << 16 | minor) && fixed->dwFileVersionLS == patch << 16,
       "its FILEVERSION is the header's %s.0", UMBERDEEP_OS_SERVICES_VERSION);
    WORD* language = nullptr;
    if (!OK(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&language),
                           &length) && length >= 4,
            "its strings name their language"))
        return;
    const struct {
        const char *key, *expected;
    } strings[] = {{"ProductName", "UmberdeepSafeMode"},
                   {"ProductVersion", UMBERDEEP_OS_SERVICES_VERSION},
                   {"FileVersion", UMBERDEEP_OS_SERVICES_VERSION}};
    for (const auto& entry : strings) {
        char path[64];
        std::snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", language[0], language[1], entry.key);
        char* value = nullptr;
        const bool found = VerQueryValueA(data.data(), path, reinterpret_cast<void**>(&value), &length);
        OK(found && std::strcmp(value, entry.expected) == 0, "its %s is \"%s\": <%s>", entry.key,
           entry.expected, found ? value : "none");
    }
}

// The host as its contract names it: an executable of this bitness whose
// export table holds the ten services by name and nothing else, under the
// host's name; that imports from KERNEL32, USER32 and msvcrt alone, as a bare
// Windows has them; that stays small; and whose version resource, which a
// player sees in the file's properties, states the header's version.
void check_exports(const setup& s) {
    HMODULE image = LoadLibraryExA(s.host.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!OK(image != nullptr, "the host loads as a program of this bitness: %s", s.host.c_str()))
        return;
    for (const char* name : service_names)
        OK(GetProcAddress(image, name) != nullptr, "the host exports %s", name);
    const auto* base = reinterpret_cast<const char*>(image);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY* directories = headers->OptionalHeader.DataDirectory;
    const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(
        base + directories[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
    OK_EQ(std::size(service_names), exports->NumberOfNames, "the export table names the services alone");
    OK_EQ(std::size(service_names), exports->NumberOfFunctions, "the export table has no entry without a name");
    OK(std::strcmp(base + exports->Name, "UmberdeepSafeMode.exe") == 0,
       "the export table is named after the host: <%s>", base + exports->Name);
    std::string imports, foreign;
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
             base + directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
         entry->Name != 0; ++entry) {
        const char* dll = base + entry->Name;
        imports += std::string(" ") + dll;
        if (lstrcmpiA(dll, "KERNEL32.dll") != 0 && lstrcmpiA(dll, "USER32.dll") != 0 &&
            lstrcmpiA(dll, "msvcrt.dll") != 0)
            foreign += std::string(" ") + dll;
    }
    OK(imports.find("KERNEL32") != std::string::npos && foreign.empty(),
       "the host imports KERNEL32 and nothing beyond KERNEL32, USER32 and msvcrt:%s", imports.c_str());
    FreeLibrary(image);

    WIN32_FILE_ATTRIBUTE_DATA file = {};
    GetFileAttributesExA(s.host.c_str(), GetFileExInfoStandard, &file);
    OK(file.nFileSizeHigh == 0 && file.nFileSizeLow <= 65536, "the host is at most 64 KiB: %lu bytes",
       file.nFileSizeLow);
    check_version_resource(s.host);
}

// Whether message boxes can show: without a desktop (Wine without a display) no
// window can be made, and MessageBoxA returns at once.
bool desktop_present() {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  nullptr, nullptr);
    if (window == nullptr) return false;
    DestroyWindow(window);
    return true;
}

void console_figures() {
    const UINT output = GetConsoleOutputCP();
    figure("output code page %u, input code page %u%s", output, GetConsoleCP(),
           output == 65001 ? ": bytes 128-255 are parts of UTF-8 characters, not characters"
                           : "");
    // A console that draws into a terminal keeps a window nobody sees:
    // Windows' pseudo-console, and Wine's console on a Linux terminal.
    HWND window = GetConsoleWindow();
    char kind[64] = "";
    if (window != nullptr) GetClassNameA(window, kind, sizeof kind);
    const bool shown = window != nullptr && IsWindowVisible(window);
    char terminal[8] = "";
    const bool windows_terminal = GetEnvironmentVariableA("WT_SESSION", terminal, sizeof terminal) > 0;
    const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    figure("console: %s%s%s%s",
           window == nullptr                               ? "no console window"
           : std::strcmp(kind, "PseudoConsoleWindow") == 0 ? "a pseudo-console (a terminal program)"
           : !shown                                        ? "a terminal (the console shows no window)"
                                                           : "a console window of class ",
           shown && std::strcmp(kind, "PseudoConsoleWindow") != 0 ? kind : "",
           windows_terminal ? ", in Windows Terminal" : "", wine ? ", under Wine" : "");
}

// ------------------------------------------------------------------ the verdict

std::string xml_escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

struct result {
    std::string kind, where, text;
};

result split(const std::string& line) {
    const size_t first = line.find('\t');
    const size_t second = line.find('\t', first + 1);
    return {line.substr(0, first), line.substr(first + 1, second - first - 1),
            line.substr(second + 1)};
}

int verdict(const char* junit) {
    int passed = 0, failed = 0, skipped = 0;
    bool told_where = false;
    std::string cases;
    for (const std::string& line : results) {
        const result r = split(line);
        if (r.kind == "FIGURE") continue;
        passed += r.kind == "PASS";
        failed += r.kind == "FAIL";
        skipped += r.kind == "SKIP";
        if (r.kind != "PASS" && !told_where)
            std::printf("For the report: each line names its check's place in the self-test's source.\n");
        told_where = told_where || r.kind != "PASS";
        if (r.kind != "PASS") std::printf("%s %s: %s\n", r.kind.c_str(), r.where.c_str(), r.text.c_str());
        const size_t colon = r.where.rfind(':');
        const std::string file = r.where.substr(0, colon);
        cases += "    <testcase classname=\"" + xml_escaped(file) + "\" name=\"" + xml_escaped(r.text) +
                 "\" file=\"" + xml_escaped(file) + "\" line=\"" + r.where.substr(colon + 1) + "\"";
        if (r.kind == "PASS") cases += "/>\n";
        else
            cases += ">\n      <" + std::string(r.kind == "FAIL" ? "failure" : "skipped") + " message=\"" +
                     xml_escaped(r.where + ": " + r.text) + "\"/>\n    </testcase>\n";
    }
    std::printf("%d passed, %d failed", passed, failed);
    if (skipped > 0) std::printf(", %d skipped", skipped);
    std::printf("\n\nFigures from this machine:\n");
    for (const std::string& line : results)
        if (line.compare(0, 7, "FIGURE\t") == 0) std::printf("  %s\n", split(line).text.c_str());
    std::fflush(stdout);
    if (junit != nullptr) {
        FILE* out = std::fopen(junit, "wb");
        if (out == nullptr) {
            std::printf("cannot write %s\n", junit);
            return 1;
        }
        std::fprintf(out,
                     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  <testsuite "
                     "name=\"UmberdeepSafeMode-selftest\" tests=\"%d\" failures=\"%d\" skipped=\"%d\">\n%s"
                     "  </testsuite>\n</testsuites>\n",
                     passed + failed + skipped, failed, skipped, cases.c_str());
        std::fclose(out);
    }
    return failed == 0 ? 0 : 1;
}

const scenario* named_scenario(const char* name) {
    for (const scenario& c : scenarios)
        if (std::strcmp(c.name, name) == 0) return &c;
    return nullptr;
}

// --bench: the module's bench scenario alone, with `options` after its name. A
// measurement, not a test: the module's figures, "  key=value" a line, and
// status 0 when the host ran the bench to its end. Gives the console back and
// removes the temporary folder, as the end of main does.
int run_bench(const setup& s, const std::string& options) {
    const std::string argument = "bench" + options;
    const scenario c = {"bench", argument.c_str(), "the bench", test_module, false, false, true, 0, nullptr};
    const std::string dir = s.temp + "\\bench";
    prepare(s, c, dir);
    const host_run run = run_host(s, c, dir);
    unsigned long crash_code = 0;
    std::string notes;
    take_module_results(dir, c.title, &crash_code, &notes);
    release_console();
    remove_folder(s.temp);
    bool finished = false;
    std::printf("Figures from this machine:\n");
    for (const std::string& line : results) {
        const result r = split(line);
        if (r.kind == "FAIL") std::printf("FAIL %s: %s\n", r.where.c_str(), r.text.c_str());
        if (r.kind != "FIGURE") continue;
        std::printf("  %s\n", r.text.c_str());
        finished = finished || r.text == "done=1";
    }
    std::printf("  host_status=%lu\n", run.status);
    if (!run.started) std::printf("The host did not start: error %lu\n", run.start_error);
    else if (run.timed_out) std::printf("The host did not end within its time.\n");
    return run.started && !run.timed_out && run.status == 0 && finished ? 0 : 1;
}

// Prints the usage and returns `status`: 0 when it was asked for, 2 after a
// command line it cannot take.
int usage(int status = 2) {
    std::printf("usage: UmberdeepSafeMode-selftest.exe [--long | --only NAME] [--junit FILE] [--windows-rules] [HOST.exe]\n"
                "       UmberdeepSafeMode-selftest.exe --bench [--quick] [--window] [HOST.exe]\n"
                "NAME, a scenario:");
    for (const scenario& c : scenarios) std::printf(" %s", c.name);
    std::printf("\n");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    setup s;
    const char* junit = nullptr;
    const scenario* only = nullptr;
    bool bench = false;
    std::string bench_options;  // the bench scenario's arguments after its name
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::string here = folder_of(ansi_path(self));
    s.host = here + (sizeof(void*) == 8 ? "\\..\\..\\bin\\x64" : "\\..\\..\\bin\\x86") +
             "\\UmberdeepSafeMode.exe";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) return usage(0);
        else if (std::strcmp(argv[i], "--long") == 0) s.with_long = true;
        else if (std::strcmp(argv[i], "--windows-rules") == 0)
            SetEnvironmentVariableA(windows_rules_variable, "1");  // the hosts inherit it
        else if (std::strcmp(argv[i], "--junit") == 0 && i + 1 < argc) junit = argv[++i];
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = named_scenario(argv[++i]);
            if (only == nullptr) return usage();
        }
        else if (std::strcmp(argv[i], "--bench") == 0) bench = true;
        else if (std::strcmp(argv[i], "--quick") == 0) bench_options += " quick";
        else if (std::strcmp(argv[i], "--window") == 0) bench_options += " window";
        else if (argv[i][0] == '-') return usage();
        else s.host = argv[i];
    }
    if (!bench && !bench_options.empty()) return usage();
    s.host = full_path(s.host);
    s.module = here + "\\selftest-module.dll";
    s.no_entry_module = here + "\\selftest-no-entry.dll";
    // The release keeps each bitness's self-test in selftest\x64 and selftest\x86.
    const std::string other = here + (sizeof(void*) == 8 ? "\\..\\x86" : "\\..\\x64") +
                              "\\selftest-module.dll";
    if (GetFileAttributesA(other.c_str()) != INVALID_FILE_ATTRIBUTES) s.other_module = other;
    if (GetFileAttributesA(s.host.c_str()) == INVALID_FILE_ATTRIBUTES ||
        GetFileAttributesA(s.module.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::printf("No host at %s, or no selftest-module.dll beside the self-test.\n", s.host.c_str());
        return usage();
    }
    if (!take_console()) {
        std::printf("The self-test needs a console: run it in cmd, PowerShell or Windows Terminal.\n");
        return 2;
    }
    OK_EQ(distinct_input_mode, player.test_mode, "the console takes the runner's input mode");
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    s.temp = ansi_path(temp) + "UmberdeepSafeMode-selftest-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(s.temp.c_str(), nullptr);
    s.desktop = desktop_present();
    if (bench) return run_bench(s, bench_options);

    check_exports(s);
    int index = 0;
    for (const scenario& c : scenarios)
        if (only != nullptr ? &c == only : !c.long_only || s.with_long) run_scenario(s, c, index++);
    console_figures();

    release_console();
    remove_folder(s.temp);
    return verdict(junit);
}
