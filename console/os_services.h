/*
 * os_services.h - the services that UmberdeepSafeMode exports to a game module.
 *
 * A game module is a DLL named "Umberdeep.dll" that exports
 *
 *     int dll_main(int argc, char **argv);
 *
 * declared below with its export, so a C or C++ module only defines it. The
 * host loads the module, calls dll_main with the process's command line and
 * ends the process with its result. While dll_main runs, the module calls back
 * into the host through the ten services below, all exported by name from the
 * host executable. Link against the host's import library
 * (libUmberdeepSafeMode.dll.a for mingw-w64, UmberdeepSafeMode.lib for
 * MSVC-style linkers), which binds them to the file name UmberdeepSafeMode.exe,
 * so the host must keep that name; or look them up with
 * GetProcAddress(GetModuleHandleA(NULL), "os_...").
 *
 * A module must match the host's bitness: a 64-bit module needs the x86_64 host,
 * a 32-bit module the i686 host. The services and dll_main use the C calling
 * convention (cdecl), declared here whatever the compiler's default (/Gz, /Gv,
 * -mrtd), and run on the thread that called dll_main. gcc's C compiler, unlike
 * g++ and clang, gives a definition that names no convention its own default,
 * not the declaration's: under gcc -mrtd, define int OS_CALL dll_main(...).
 *
 * Cell attributes are console character attributes: bits 0-3 foreground
 * (blue 0x01, green 0x02, red 0x04, intensity 0x08), bits 4-7 background
 * (blue 0x10, green 0x20, red 0x40, intensity 0x80). Coordinates count from 0
 * at the top-left cell; the screen buffer is the size the console gives a new
 * one, which no service tells: on Windows the player's window (120 x 30 in a
 * default Windows 10 or 11 console, the window's size in Windows Terminal),
 * under Wine the console's whole buffer (80 x 150 in Wine's console window).
 * Draw within 80 x 25, and tell the player the game needs that much: a smaller
 * window or terminal (80 x 24, say) gives a smaller buffer, whose rows and
 * columns beyond are not shown, and a write there returns 0 (under Wine one
 * beyond the right edge may return nonzero, though nothing shows). Characters
 * are drawn in the player's console code page (437 in the US and under Wine,
 * 850 in much of Europe, 65001 with Windows' UTF-8 option), so only 32-126
 * look the same everywhere. os_screen.h, beside this header, keeps a back
 * buffer of 80 x 25 cells and writes only the cells that changed.
 */
#ifndef UMBERDEEP_OS_SERVICES_H
#define UMBERDEEP_OS_SERVICES_H

#include <stdint.h>

/* The version of the host these services describe; the host executable's
 * version resource states the same one. */
#define UMBERDEEP_OS_SERVICES_VERSION "1.0.0"

/* OS_CALL is the calling convention of the services and of dll_main: on 32-bit
 * Windows a compiler's default may be another one, on 64-bit Windows /Gv's
 * vectorcall. OS_ENTRY exports dll_main from the module; the host, which only
 * looks dll_main up, builds with UMBERDEEP_HOST defined and exports nothing of
 * the kind. Both mean nothing off Windows. */
#ifdef _WIN32
#define OS_CALL __cdecl
#ifdef UMBERDEEP_HOST
#define OS_ENTRY
#else
#define OS_ENTRY __declspec(dllexport)
#endif
#else
#define OS_CALL
#define OS_ENTRY
#endif

/* The four inert services take any arguments: (...) in C++ and C23, and in the
 * drafts of C23 (-std=c2x, 202000L) of the compilers that already read () as
 * (void) and take a lone ...: gcc 13 and clang 16 on. Other C compilers get an
 * unprototyped (), which takes any arguments there. */
#ifdef __cplusplus
extern "C" {
#define OS_ANY_ARGUMENTS ...
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ > 201710L && \
    (__STDC_VERSION__ >= 202311L ||                                  \
     (defined(__clang__) ? __clang_major__ >= 16 : defined(__GNUC__) && __GNUC__ >= 13))
#define OS_ANY_ARGUMENTS ...
#else
#define OS_ANY_ARGUMENTS /* unprototyped: any arguments */
#endif

/* The module's entry, which the module defines: called once with the command
 * line; its result is the process's exit status. */
OS_ENTRY int OS_CALL dll_main(int argc, char **argv);

/* Sets up the console: a private screen buffer becomes active, input and output
 * modes are switched off, the cursor is hidden (Wine 8's console window still
 * blinks a block in the top-left cell: Wine's own drawing) and the window
 * title becomes "Umberdeep". Call it before any other console service. Ends
 * the process with status 1 when the console cannot be set up; returns nonzero
 * when the title was set, 0 when it was not. The new buffer starts blank:
 * spaces in the colours the player's console was using (light grey on black,
 * 0x07, in a default console and under Wine).
 *
 * Standard output is not that buffer on Windows: it stays the buffer the
 * console showed before, the player's, where what the module prints is seen
 * once the game is over. Under Wine it follows the buffer shown, so a printf
 * lands on the game's screen at its top-left cell and goes with it. For a last
 * message the player sees after the game, on both: open "CONOUT$" before
 * os_init, which then names the player's buffer (once the game's buffer shows,
 * Windows refuses to open it), and write the message to that handle
 * (WriteConsoleA) just before dll_main returns.
 *
 * When the process ends, the buffer the console showed before the first
 * os_init comes back, with the input mode it had then: after a return from
 * dll_main, the exit keys, Ctrl+Break, the console's close, logoff and
 * shutdown events, and a crash. Ctrl+C ends nothing: it reaches the game as a
 * key with character 3, in a terminal too. A module that ends the process
 * itself (ExitProcess, or the exit of a C runtime other than the host's) skips
 * that: return from dll_main instead. */
int OS_CALL os_init(void);

/* Writes one cell: character char_code (low byte) in colours attr at column x,
 * row y. Returns nonzero when the cell was written, 0 when not (before os_init,
 * for a coordinate outside 0..32767, or when the console wrote nothing). Each
 * cell is a console call of its own: some 20 us in a Windows console, 0.2-0.5
 * ms under Wine in a terminal, where a whole 80 x 25 screen takes 0.4-2 s and
 * is seen wiping down. Redraw only the cells that changed: os_screen.h does. */
int OS_CALL os_put_font(int char_code, int attr, int x, int y);

/* Draws a tile by its text fallback: a negative tile draws nothing (the result
 * then means nothing); any other tile is exactly os_put_font(char_code, attr,
 * x, y). t1, t2 and t3 are not read: pass whatever the game has there. */
int OS_CALL os_put_tile(int tile, intptr_t t1, intptr_t t2, intptr_t t3,
                int char_code, int attr, int x, int y);

/* Shows (show != 0) or erases (show == 0) the title banner, which covers
 * columns 23-55 of rows 1-8 (OS_TITLE_* below). Erasing blanks exactly the
 * cells showing painted. */
void OS_CALL os_display_title(int show);

/* Polls the keyboard without waiting: sleeps 1 ms, then takes at most one input
 * record and reports it as a key code (OS_KEY_* below, or 0) and a character
 * (a signed byte, or 0). Key releases, lone modifiers, other records and an
 * empty queue all give 0 and 0, and each key press brings its release: count
 * keys, not polls, and never take one 0-and-0 poll for "no key waiting". Alt+F4
 * and Ctrl+X (character 24) end the process with status 0. Either pointer may
 * be null; that output is then not written. To wait for a key, poll in a loop
 * (the 1 ms sleep keeps it from spinning), with no os_pause in it:
 *
 *     int key = 0, character = 0;
 *     while (key == 0 && character == 0)
 *         os_get_input(&key, &character);
 */
void OS_CALL os_get_input(int *key_code, int *char_code);

/* Waits at least 40 ms while draining input (each poll takes and discards at
 * most one record; the exit keys still act): keys typed during a pause are
 * lost, so a loop that waits for a key must not pause, and frames the player
 * may type through are better paced by polling until the frame's time is up,
 * keeping what the polls report (as the demo does; GetTickCount and DWORD come
 * from <windows.h>):
 *
 *     DWORD start = GetTickCount();
 *     while (GetTickCount() - start < 40) {
 *         int key = 0, character = 0;
 *         os_get_input(&key, &character);
 *         if (key != 0 || character != 0)
 *             keep_for_later(key, character);
 *     }
 *
 * Returns the milliseconds measured, from 40 to 5000. */
int OS_CALL os_pause(void);

/* Accepted and ignored by this host: no sound, no effects. They read none of
 * their arguments, so a module may pass whatever it passes. */
void OS_CALL os_sound(OS_ANY_ARGUMENTS);
void OS_CALL os_fade(OS_ANY_ARGUMENTS);
void OS_CALL os_zoom(OS_ANY_ARGUMENTS);
void OS_CALL os_update_client(OS_ANY_ARGUMENTS);

/* Key codes reported by os_get_input. The plain codes are the keys' PC scan
 * codes. A navigation key held with Shift reports OS_KEY_SHIFT(code), with Ctrl
 * (and no Shift) OS_KEY_CTRL(code); with Alt it reports 0. A function key F1-F9
 * ignores Shift and Ctrl and with Alt reports OS_KEY_ALT(code). Every other key,
 * F10-F12 included, reports 0. */
enum os_key_code {
    OS_KEY_NONE = 0,
    OS_KEY_HOME = 71,
    OS_KEY_UP = 72,
    OS_KEY_PAGE_UP = 73,
    OS_KEY_LEFT = 75,
    OS_KEY_RIGHT = 77,
    OS_KEY_END = 79,
    OS_KEY_DOWN = 80,
    OS_KEY_PAGE_DOWN = 81,
    OS_KEY_F1 = 59,
    OS_KEY_F2 = 60,
    OS_KEY_F3 = 61,
    OS_KEY_F4 = 62,
    OS_KEY_F5 = 63,
    OS_KEY_F6 = 64,
    OS_KEY_F7 = 65,
    OS_KEY_F8 = 66,
    OS_KEY_F9 = 67
};

/* The title banner's rectangle, where os_display_title writes. */
#define OS_TITLE_LEFT 23
#define OS_TITLE_TOP 1
#define OS_TITLE_WIDTH 33
#define OS_TITLE_HEIGHT 8

#define OS_KEY_ALT_OFFSET 1000
#define OS_KEY_SHIFT_OFFSET 2000
#define OS_KEY_CTRL_OFFSET 3000
#define OS_KEY_ALT(code) ((code) + OS_KEY_ALT_OFFSET)
#define OS_KEY_SHIFT(code) ((code) + OS_KEY_SHIFT_OFFSET)
#define OS_KEY_CTRL(code) ((code) + OS_KEY_CTRL_OFFSET)

/* The character that ends the game from the keyboard (Ctrl+X). */
#define OS_CHAR_EXIT 24

#ifdef __cplusplus
}
#endif

#undef OS_ANY_ARGUMENTS
#undef OS_ENTRY

#endif /* UMBERDEEP_OS_SERVICES_H */
