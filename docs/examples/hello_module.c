/* hello_module.c - a minimal game module: it sets up the console, writes a
 * line of yellow cells, waits for a key and ends the game with that key's
 * character as the exit status. */
#include <os_services.h>

int dll_main(int argc, char **argv)
{
    const char *text = "Hello from a game module. Press a key.";
    int key = 0, character = 0, x;
    (void)argc;
    (void)argv;

    os_init();
    for (x = 0; text[x] != '\0'; x++)
        os_put_font(text[x], 0x0E, 2 + x, 2);
    while (key == 0 && character == 0)
        os_get_input(&key, &character);
    return character;
}
