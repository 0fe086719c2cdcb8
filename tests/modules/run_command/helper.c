/* A DLL a module needs besides the host. */
__declspec(dllexport) int helper(void) { return 7; }
