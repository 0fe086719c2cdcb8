// hello_module.cpp - the minimal game module of hello_module.c, in C++: the
// header gives dll_main its C name and its export.
#include <os_services.h>

int dll_main(int, char **)
{
    const char *text = "Hello from a game module. Press a key.";
    int key = 0, character = 0;

    os_init();
    for (int x = 0; text[x] != '\0'; x++)
        os_put_font(text[x], 0x0E, 2 + x, 2);
    while (key == 0 && character == 0)
        os_get_input(&key, &character);
    return character;
}
