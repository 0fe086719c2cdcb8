// The watchers behind host_buffer.h: the host executable's import slots for
// two kernel32 functions are pointed at functions here that call the real ones.
#include "host_buffer.h"

#include <cstring>

#include "console_mark.h"

namespace {

using create_buffer_fn = HANDLE(WINAPI*)(DWORD, DWORD, const SECURITY_ATTRIBUTES*, DWORD, LPVOID);
using activate_fn = BOOL(WINAPI*)(HANDLE);

create_buffer_fn real_create = nullptr;
activate_fn real_activate = nullptr;
int requests = 0;
buffer_request last_request = {0, 0, 0, false, false, INVALID_HANDLE_VALUE};
HANDLE activated = nullptr;
constexpr int unshared_capacity = 128;
HANDLE unshared[unshared_capacity];  // the buffers the host made unshared
int unshared_count = 0;

bool made_unshared(HANDLE buffer) {
    for (int i = 0; i < unshared_count; ++i)
        if (unshared[i] == buffer) return true;
    return false;
}

// Windows' rule: a new buffer as large as the shown buffer's window.
void size_as_window(HANDLE made) {
    HANDLE shown = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    const bool known = shown != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(shown, &info);
    if (shown != INVALID_HANDLE_VALUE) CloseHandle(shown);
    if (!known) return;
    const SHORT width = static_cast<SHORT>(info.srWindow.Right - info.srWindow.Left + 1);
    const SHORT height = static_cast<SHORT>(info.srWindow.Bottom - info.srWindow.Top + 1);
    const SMALL_RECT window = {0, 0, static_cast<SHORT>(width - 1), static_cast<SHORT>(height - 1)};
    SetConsoleWindowInfo(made, TRUE, &window);
    SetConsoleScreenBufferSize(made, COORD{width, height});
}

HANDLE WINAPI watched_create(DWORD access, DWORD share, const SECURITY_ATTRIBUTES* security,
                             DWORD flags, LPVOID reserved) {
    const HANDLE made = real_create(access, share, security, flags, reserved);
    ++requests;
    last_request = {access, share, flags, security != nullptr, reserved != nullptr, made};
    if (made != INVALID_HANDLE_VALUE && share == 0 && unshared_count < unshared_capacity)
        unshared[unshared_count++] = made;
    if (made != INVALID_HANDLE_VALUE && windows_rules()) size_as_window(made);
    return made;
}

BOOL WINAPI watched_activate(HANDLE buffer) {
    const BOOL done = real_activate(buffer);
    if (done) {
        activated = buffer;
        note_unshared_shown(made_unshared(buffer));
    }
    return done;
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

}  // namespace

bool watch_host_buffers() {
    if (real_create != nullptr) return true;
    const HMODULE host = GetModuleHandleA(nullptr);
    void** create = import_slot(host, "CreateConsoleScreenBuffer");
    void** activate = import_slot(host, "SetConsoleActiveScreenBuffer");
    if (create == nullptr || activate == nullptr) return false;
    real_activate = reinterpret_cast<activate_fn>(redirect(activate, reinterpret_cast<void*>(&watched_activate)));
    real_create = reinterpret_cast<create_buffer_fn>(redirect(create, reinterpret_cast<void*>(&watched_create)));
    return real_create != nullptr && real_activate != nullptr;
}

void unwatch_host_buffers() {
    if (real_create == nullptr) return;
    const HMODULE host = GetModuleHandleA(nullptr);
    redirect(import_slot(host, "CreateConsoleScreenBuffer"), reinterpret_cast<void*>(real_create));
    redirect(import_slot(host, "SetConsoleActiveScreenBuffer"), reinterpret_cast<void*>(real_activate));
    real_create = nullptr;
    real_activate = nullptr;
}

int host_buffer_count() { return requests; }
buffer_request last_host_request() { return last_request; }
HANDLE last_host_activated() { return activated; }
