// The self-test's module without an entry: a DLL that loads but exports no
// dll_main (only a look-alike name), so the host's look-up of the entry fails.
extern "C" __declspec(dllexport) int dll_main_(int, char**) { return 0; }
