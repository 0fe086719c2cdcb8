/* A module that needs a DLL besides the host: its entry returns what that
   DLL's helper() returns. */
#include <os_services.h>

__declspec(dllimport) int helper(void);

int dll_main(int argc, char **argv) {
    (void)argc;
    (void)argv;
    return helper();
}
