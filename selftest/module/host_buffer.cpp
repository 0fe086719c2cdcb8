// The watchers behind host_buffer.h, put in the host executable's import slots.
#include "host_buffer.h"

#include <cstring>

#include "console_view.h"

namespace {

// The imports watched (the cell write under Windows' rules alone), and the
// real functions while they are.
enum watched_import { write_import, activate_import, create_import, watched_imports };
const char* const import_names[] = {"WriteConsoleOutputA", "SetConsoleActiveScreenBuffer",
                                    "CreateConsoleScreenBuffer"};
void* real[watched_imports] = {};
int requests = 0, writes = 0;
buffer_request last_request = {0, 0, 0, false, false, INVALID_HANDLE_VALUE};
HANDLE activated = nullptr;
// The buffers the host made, and whether each is unshared.
constexpr int made_capacity = 128;
struct made_buffer { HANDLE buffer; bool unshared; };
made_buffer made_buffers[made_capacity];
int made_count = 0;

const made_buffer* host_made(HANDLE buffer) {
    for (int i = 0; i < made_count; ++i)
        if (made_buffers[i].buffer == buffer) return &made_buffers[i];
    return nullptr;
}

// The shown buffer's size and window, read through CONOUT$ as Wine lets it
// open (the rules refuse it to the checks, not to themselves).
bool shown_buffer_info(CONSOLE_SCREEN_BUFFER_INFO* info) {
    HANDLE shown = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    const bool known = shown != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(shown, info);
    if (shown != INVALID_HANDLE_VALUE) CloseHandle(shown);
    return known;
}

HANDLE WINAPI watched_create(DWORD access, DWORD share, const SECURITY_ATTRIBUTES* security,
                             DWORD flags, LPVOID reserved) {
    const auto real_create = reinterpret_cast<decltype(&CreateConsoleScreenBuffer)>(real[create_import]);
    const HANDLE made = real_create(access, share, security, flags, reserved);
    ++requests;
    last_request = {access, share, flags, security != nullptr, reserved != nullptr, made};
    if (made == INVALID_HANDLE_VALUE) return made;
    if (made_count < made_capacity) made_buffers[made_count++] = {made, share == 0};
    // Windows' rule: a new buffer as large as the shown buffer's window.
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (windows_rules() && shown_buffer_info(&info)) resize_buffer(made, window_size(info), window_size(info));
    return made;
}

// Under a pseudo-console (Windows' rule) a buffer shown again takes the size
// of the one shown before, which the player may have resized meanwhile.
BOOL WINAPI watched_activate(HANDLE buffer) {
    CONSOLE_SCREEN_BUFFER_INFO before = {};
    const made_buffer* made = host_made(buffer);
    const bool shown_again = windows_rules() && made == nullptr && shown_buffer_info(&before);
    const BOOL done = reinterpret_cast<decltype(&SetConsoleActiveScreenBuffer)>(real[activate_import])(buffer);
    if (!done) return done;
    activated = buffer;
    SetEnvironmentVariableA(unshared_shown_variable, made != nullptr && made->unshared ? "1" : nullptr);
    if (shown_again) resize_buffer(buffer, before.dwSize, window_size(before));
    return done;
}

// Windows' rule: the player enlarges the terminal while the game draws, and
// the shown buffer grows with it, by 6 columns and 2 rows before the host's
// fifth cell write.
BOOL WINAPI watched_write(HANDLE buffer, const CHAR_INFO* cells, COORD size, COORD from,
                          PSMALL_RECT region) {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    const auto grown = [](COORD c) { return COORD{static_cast<SHORT>(c.X + 6), static_cast<SHORT>(c.Y + 2)}; };
    if (++writes == 5 && buffer == activated && GetConsoleScreenBufferInfo(buffer, &info))
        resize_buffer(buffer, grown(info.dwSize), grown(window_size(info)));
    const auto real_write = reinterpret_cast<decltype(&WriteConsoleOutputA)>(real[write_import]);
    return real_write(buffer, cells, size, from, region);
}

// The import slot of `function` from KERNEL32 in `image`, or nullptr.
void** import_slot(HMODULE image, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(image);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return nullptr;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); d->Name != 0; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + d->Name), "KERNEL32.dll") != 0) continue;
        if (d->OriginalFirstThunk == 0) return nullptr;  // no names to go by
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

// Points `slot` at `watcher` and returns what it held.
void* redirect(void** slot, void* watcher) {
    DWORD protection = 0;
    if (slot == nullptr || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection)) return nullptr;
    void* real = *slot;
    *slot = watcher;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return real;
}

void* const watchers[] = {reinterpret_cast<void*>(&watched_write), reinterpret_cast<void*>(&watched_activate),
                          reinterpret_cast<void*>(&watched_create)};

}  // namespace

bool watch_host_buffers() {
    if (real[create_import] != nullptr) return true;
    void* slots[watched_imports] = {};
    for (int i = windows_rules() ? write_import : activate_import; i < watched_imports; ++i)
        if ((slots[i] = import_slot(GetModuleHandleA(nullptr), import_names[i])) == nullptr) return false;
    for (int i = 0; i < watched_imports; ++i)
        if (slots[i] != nullptr) real[i] = redirect(static_cast<void**>(slots[i]), watchers[i]);
    return real[create_import] != nullptr && real[activate_import] != nullptr;
}

void unwatch_host_buffers() {
    if (real[create_import] == nullptr) return;
    for (int i = 0; i < watched_imports; ++i) {
        if (real[i] != nullptr) redirect(import_slot(GetModuleHandleA(nullptr), import_names[i]), real[i]);
        real[i] = nullptr;
    }
}

int host_buffer_count() { return requests; }
buffer_request last_host_request() { return last_request; }
HANDLE last_host_activated() { return activated; }
