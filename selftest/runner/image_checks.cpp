// The host's file, as its contract names it.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "os_services.h"
#include "runner.h"

namespace {

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

}  // namespace

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
