// The host's folder and process: what the folder holds, the host started in this
// console with its standard handles, the windows it shows dismissed as they come.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "runner.h"

namespace {

BOOL CALLBACK look_at_control(HWND control, LPARAM data) {
    auto* run = reinterpret_cast<host_run*>(data);
    char kind[32] = "";
    GetClassNameA(control, kind, sizeof kind);
    if (lstrcmpiA(kind, "Button") == 0) ++run->buttons;
    const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    if (lstrcmpiA(kind, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
        run->icon = run->icon || SendMessageA(control, STM_GETICON, 0, 0) != 0;
    return TRUE;
}

BOOL CALLBACK watch_window(HWND window, LPARAM data) {
    auto* run = reinterpret_cast<host_run*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != run->process || !IsWindowVisible(window)) return TRUE;
    if (std::find(run->boxes.begin(), run->boxes.end(), window) == run->boxes.end()) {
        run->boxes.push_back(window);
        char text[256] = "", caption[256] = "";
        GetWindowTextA(window, caption, sizeof caption);
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);  // a message box's text
        run->caption = caption;
        run->text = text;
        run->owned = GetWindow(window, GW_OWNER) != nullptr;
        run->buttons = 0;
        run->icon = false;
        EnumChildWindows(window, look_at_control, data);
    }
    PostMessageA(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

HANDLE inheritable_file(const std::string& path, bool write) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &security,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void remove_folder(const std::string& folder) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    for (bool more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &found)) {
        const std::string name = found.cFileName, path = folder + "\\" + name;
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileA(path.c_str());
        else if (name != "." && name != "..") remove_folder(path);
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    RemoveDirectoryA(folder.c_str());
}

std::string quoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '"') text.append(backslashes + 1, '\\');  // 2n + 1 before a quote
        backslashes = c == '\\' ? backslashes + 1 : 0;
        text += c;
    }
    text.append(backslashes, '\\');  // 2n before the closing quote
    return text + "\"";
}

void prepare(const setup& s, selftest::module_kind kind, const std::string& dir) {
    CreateDirectoryA(dir.c_str(), nullptr);
    CopyFileA(s.host.c_str(), (dir + "\\UmberdeepSafeMode.exe").c_str(), FALSE);
    const std::string module = dir + "\\Umberdeep.dll";
    const bool test_module = kind == selftest::test_module || kind == selftest::refusing_module;
    const std::string* image = test_module                       ? &s.module
                               : kind == selftest::no_entry      ? &s.no_entry_module
                               : kind == selftest::other_bitness ? &s.other_module
                                                                 : nullptr;
    if (image != nullptr) CopyFileA(image->c_str(), module.c_str(), FALSE);
    if (test_module) CopyFileA(s.module.c_str(), (dir + "\\" + selftest::witness_file).c_str(), FALSE);
    if (kind >= selftest::text_file) {
        // The files from text_file on, in the order of module_kind: none a loadable image.
        const std::string not_an_image[] = {"MZ but not a program: a text file named Umberdeep.dll\r\n",
                                            std::string(64, 'x'), "MZ" + std::string(4094, '\xFF'),
                                            read_file(s.module).substr(0, 1024), ""};
        write_file(module, not_an_image[kind - selftest::text_file]);
    }
    write_file(dir + "\\input.txt", "not a console\r\n");
}

host_run run_host(const setup& s, const std::string& arguments, selftest::host_start start,
                  DWORD limit_ms, const std::string& dir) {
    host_run run;
    const std::string host = dir + "\\UmberdeepSafeMode.exe";
    std::string command = quoted(host) + " " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = start == selftest::input_from_file ? inheritable_file(dir + "\\input.txt", false)
                                                           : player.input;
    startup.hStdOutput = start == selftest::output_to_file ? inheritable_file(dir + "\\output.txt", true)
                                                           : player.buffer;
    startup.hStdError = player.buffer;
    PROCESS_INFORMATION process = {};
    // The host gets the system's default error mode, not the runner's: only
    // its own SetErrorMode may keep the system's boxes away. In a process
    // group of its own, an event raised for that group leaves the runner out.
    const DWORD flags = CREATE_DEFAULT_ERROR_MODE |
                        (start == selftest::own_process_group ? CREATE_NEW_PROCESS_GROUP : 0);
    run.started = CreateProcessA(host.c_str(), &command[0], nullptr, nullptr, TRUE, flags, nullptr,
                                 dir.c_str(), &startup, &process) != 0;
    run.start_error = run.started ? 0 : GetLastError();
    if (startup.hStdInput != player.input) CloseHandle(startup.hStdInput);  // the host has its own
    if (startup.hStdOutput != player.buffer) CloseHandle(startup.hStdOutput);
    if (!run.started) return run;
    run.process = process.dwProcessId;
    const DWORD began = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 100) == WAIT_TIMEOUT) {
        if (s.desktop) EnumWindows(watch_window, reinterpret_cast<LPARAM>(&run));
        if (GetTickCount() - began > limit_ms) {
            run.timed_out = true;
            TerminateProcess(process.hProcess, 124);
            WaitForSingleObject(process.hProcess, 5000);
        }
    }
    GetExitCodeProcess(process.hProcess, &run.status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}
