/*
 * os_screen.h - a back buffer for a game module: the game draws a frame into
 * it (cells, text, rectangles, a clear), and os_screen_flush writes to the host
 * only the cells that changed since the last flush, one os_put_font each.
 *
 * Every os_put_font is a console call of its own: some 20 us in a Windows
 * console, 0.2-0.5 ms under Wine, where a whole 80 x 25 screen takes 0.4-2 s
 * and is seen wiping down. A game that draws each frame whole, as curses games
 * do, draws into an os_screen and flushes it; a frame that changed in three
 * cells then costs three writes.
 *
 *     static os_screen screen;            (32 KB: static, not on the stack)
 *     os_init();
 *     os_screen_init(&screen);
 *     for (;;) {
 *         os_screen_clear(&screen, 0x07);
 *         os_screen_text(&screen, "Score: 10", 0x0E, 0, 0);
 *         os_screen_put(&screen, '@', 0x0F, x, y);
 *         os_screen_flush(&screen, NULL);
 *         ... poll keys, move ...
 *     }
 *
 * Header only, for C (C89 on) and C++: include it in any number of the
 * module's source files. Its functions are static and inline, compiled by the
 * module's own compiler (mingw-w64 gcc and g++, MSVC, clang-cl), so there is
 * no library to link, of a bitness or a C runtime to match. It calls only
 * os_put_font and os_display_title, so it works with any host that serves the
 * ten services; its functions are the header's own, not services of the host.
 *
 * The area is 80 x 25 cells, what a game may count on (a smaller console does
 * not show the rest, and the writes there fail); cells drawn outside the area
 * are dropped. The frame starts blank, and the host's buffer is taken to hold
 * what a new one holds in a console of the default colours: spaces in light
 * grey on black (0x07). Where the player's console has other colours, the
 * cells the game leaves blank show in them; a game that wants every cell in
 * its own colours calls os_screen_forget before its first flush, which then
 * writes all 2,000 cells. After anything else wrote cells (an os_put_font of
 * the game's own), os_screen_forget_area has those cells written again;
 * os_screen_display_title shows and erases the banner.
 *
 * A write that fails (os_put_font returns 0: before os_init, or for a cell
 * outside a console smaller than 80 x 25) is not taken as shown: the next flush
 * writes that cell again, and each flush reports how many writes failed.
 */
#ifndef UMBERDEEP_OS_SCREEN_H
#define UMBERDEEP_OS_SCREEN_H

#include <stddef.h>

#include "os_services.h"

#define OS_SCREEN_WIDTH 80
#define OS_SCREEN_HEIGHT 25
#define OS_SCREEN_BLANK_ATTR 0x07 /* light grey on black */

/* Static and inline in every C and C++ dialect the compilers know. */
#if defined(__cplusplus) || (defined(__STDC_VERSION__) && __STDC_VERSION__ >= 199901L)
#define OS_SCREEN_FUNCTION static inline
#elif defined(_MSC_VER)
#define OS_SCREEN_FUNCTION static __inline
#elif defined(__GNUC__)
#define OS_SCREEN_FUNCTION static __inline__
#else
#define OS_SCREEN_FUNCTION static
#endif

/* One cell: a character (0-255) and an attribute (0-0xFFFF), as os_put_font
 * hands them to the console; attr -1 means "not known". */
typedef struct os_screen_cell {
    int character;
    int attr;
} os_screen_cell;

typedef struct os_screen {
    os_screen_cell frame[OS_SCREEN_HEIGHT][OS_SCREEN_WIDTH]; /* what the game drew */
    os_screen_cell shown[OS_SCREEN_HEIGHT][OS_SCREEN_WIDTH]; /* what the host's buffer holds */
} os_screen;

/* A blank frame, over a host's buffer taken to be blank (0x07). */
OS_SCREEN_FUNCTION void os_screen_init(os_screen *screen)
{
    const os_screen_cell blank = {' ', OS_SCREEN_BLANK_ATTR};
    int x, y;
    for (y = 0; y < OS_SCREEN_HEIGHT; ++y)
        for (x = 0; x < OS_SCREEN_WIDTH; ++x)
            screen->frame[y][x] = screen->shown[y][x] = blank;
}

/* Clips the rectangle of width x height cells from (*x, *y) to the area;
 * 0 when none of it is left. */
OS_SCREEN_FUNCTION int os_screen_clip(int *x, int *y, int *width, int *height)
{
    if (*width <= 0 || *height <= 0)
        return 0;
    if (*x < 0) {
        *width += *x;
        *x = 0;
    }
    if (*y < 0) {
        *height += *y;
        *y = 0;
    }
    if (*width > OS_SCREEN_WIDTH - *x)
        *width = OS_SCREEN_WIDTH - *x;
    if (*height > OS_SCREEN_HEIGHT - *y)
        *height = OS_SCREEN_HEIGHT - *y;
    return *width > 0 && *height > 0;
}

/* Draws one cell into the frame. Returns 1, or 0 for a cell outside the area,
 * which is dropped. */
OS_SCREEN_FUNCTION int os_screen_put(os_screen *screen, int character, int attr, int x, int y)
{
    int width = 1, height = 1;
    if (!os_screen_clip(&x, &y, &width, &height))
        return 0;
    screen->frame[y][x].character = character & 0xFF;
    screen->frame[y][x].attr = attr & 0xFFFF;
    return 1;
}

/* Draws text from (x, y) rightwards, a cell a character, with no wrapping.
 * Returns the column after it, where more text may follow. */
OS_SCREEN_FUNCTION int os_screen_text(os_screen *screen, const char *text, int attr, int x, int y)
{
    for (; *text != '\0'; ++text, ++x)
        os_screen_put(screen, (unsigned char)*text, attr, x, y);
    return x;
}

/* Fills width x height cells from (x, y) with one character in one colour. */
OS_SCREEN_FUNCTION void os_screen_fill(os_screen *screen, int character, int attr, int x, int y,
                                       int width, int height)
{
    int column, row;
    if (!os_screen_clip(&x, &y, &width, &height))
        return;
    for (row = y; row < y + height; ++row)
        for (column = x; column < x + width; ++column)
            os_screen_put(screen, character, attr, column, row);
}

/* Blanks the whole frame: spaces in attr. */
OS_SCREEN_FUNCTION void os_screen_clear(os_screen *screen, int attr)
{
    os_screen_fill(screen, ' ', attr, 0, 0, OS_SCREEN_WIDTH, OS_SCREEN_HEIGHT);
}

/* Forgets what the host's buffer holds in width x height cells from (x, y):
 * the next flush writes each of them. */
OS_SCREEN_FUNCTION void os_screen_forget_area(os_screen *screen, int x, int y, int width,
                                              int height)
{
    int column, row;
    if (!os_screen_clip(&x, &y, &width, &height))
        return;
    for (row = y; row < y + height; ++row)
        for (column = x; column < x + width; ++column)
            screen->shown[row][column].attr = -1;
}

/* Forgets the whole host's buffer: the next flush writes every cell. */
OS_SCREEN_FUNCTION void os_screen_forget(os_screen *screen)
{
    os_screen_forget_area(screen, 0, 0, OS_SCREEN_WIDTH, OS_SCREEN_HEIGHT);
}

/* Writes each cell of the frame that differs from what the host's buffer is
 * known to hold, row by row, one os_put_font each; a cell written is known
 * from then on, one whose write failed is written again by the next flush.
 * Returns how many cells it wrote; *failed (unless failed is NULL) gets how
 * many writes failed. */
OS_SCREEN_FUNCTION int os_screen_flush(os_screen *screen, int *failed)
{
    int x, y, written = 0, refused = 0;
    for (y = 0; y < OS_SCREEN_HEIGHT; ++y)
        for (x = 0; x < OS_SCREEN_WIDTH; ++x) {
            const os_screen_cell *drawn = &screen->frame[y][x];
            os_screen_cell *shown = &screen->shown[y][x];
            if (drawn->character == shown->character && drawn->attr == shown->attr)
                continue;
            if (os_put_font(drawn->character, drawn->attr, x, y)) {
                *shown = *drawn;
                ++written;
            } else {
                shown->attr = -1;
                ++refused;
            }
        }
    if (failed != NULL)
        *failed = refused;
    return written;
}

/* os_display_title(show) for a game that draws through the screen. Shown, the
 * banner stays until the game draws other cells over it in the frame. Erased,
 * the banner's cells are blank, the others of its rectangle as they were: the
 * cells of the rectangle not known to be blank are written again by the next
 * flush, from the frame. */
OS_SCREEN_FUNCTION void os_screen_display_title(os_screen *screen, int show)
{
    int column, row;
    os_display_title(show);
    if (show)
        return;
    for (row = OS_TITLE_TOP; row < OS_TITLE_TOP + OS_TITLE_HEIGHT; ++row)
        for (column = OS_TITLE_LEFT; column < OS_TITLE_LEFT + OS_TITLE_WIDTH; ++column) {
            os_screen_cell *shown = &screen->shown[row][column];
            if (shown->character != ' ' || shown->attr != OS_SCREEN_BLANK_ATTR)
                shown->attr = -1;
        }
}

#undef OS_SCREEN_FUNCTION

#endif /* UMBERDEEP_OS_SCREEN_H */
