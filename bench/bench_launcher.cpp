// The least a launcher can do: load "Umberdeep.dll" and call its entry.
#include <windows.h>

int main(int argc, char** argv) {
    HMODULE module = LoadLibraryA("Umberdeep.dll");
    if (module == nullptr) return 1;
    using entry_function = int (*)(int, char**);
    auto entry = reinterpret_cast<entry_function>(
        reinterpret_cast<void*>(GetProcAddress(module, "dll_main")));
    if (entry == nullptr) return 1;
    const int result = entry(argc, argv);
    FreeLibrary(module);
    return result;
}
