// A DLL that loads fine but exports no dll_main (only a look-alike name), so
// the host's look-up of the entry fails (tests/wine/test_run_command.sh).
extern "C" __declspec(dllexport) int dll_main_(int, char**) { return 0; }
