// A curses-style game ported to the host through the kit's back buffer
// (os_screen.h), as an author ports one: the port layer (the curses calls the
// game makes), the game in curses' words, then what tests/wine/test_screen.sh
// sees of it. The game: catch the stars with the arrows; Ctrl+L redraws the
// screen; q ends it, and a key after "Game over" leaves. It prints to standard
// output once, at "Game over", and its score after endwin, as curses games do.
//
// In probe.out: "key=K" for each key getch returned, "frame=N" once frame N is
// in frame.txt (its characters, row after row), and a check a refresh
// (selftest/check.h): it wrote exactly the cells of the console's rows in
// which the frame changed (every cell after Ctrl+L), and the writes that failed
// were those of the rows the console lacks. Argument "rows=24" says the
// console is 80 x 24: row 24's 80 writes then fail at every refresh.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "os_screen.h"
#include "probe.h"

// ---------------------------------------------------------------- the port layer
namespace curses {

constexpr int KEY_DOWN = 0402, KEY_UP = 0403, KEY_LEFT = 0404, KEY_RIGHT = 0405;
constexpr int LINES = OS_SCREEN_HEIGHT, COLS = OS_SCREEN_WIDTH;

os_screen screen;
int attribute = 0x07;
// The player's buffer, for what the game prints after endwin: opened before
// os_init, CONOUT$ names it on Windows and under Wine alike.
HANDLE player_console = INVALID_HANDLE_VALUE;

void initscr() {
    player_console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    os_init();
    os_screen_init(&screen);
}
void endwin() {}  // the host gives the console back when dll_main returns

void attrset(int attr) { attribute = attr; }
void erase() { os_screen_clear(&screen, 0x07); }
void mvaddch(int y, int x, int ch) { os_screen_put(&screen, ch, attribute, x, y); }
void mvaddstr(int y, int x, const char* text) { os_screen_text(&screen, text, attribute, x, y); }
void clearok() { os_screen_forget(&screen); }  // the next refresh writes every cell
// Shows the frame; returns the cells written, and *failed the writes that failed.
int refresh(int* failed) { return os_screen_flush(&screen, failed); }

struct key_map {
    int host, curses;
};
constexpr key_map keys[] = {
    {OS_KEY_UP, KEY_UP}, {OS_KEY_DOWN, KEY_DOWN}, {OS_KEY_LEFT, KEY_LEFT}, {OS_KEY_RIGHT, KEY_RIGHT}};

// Waits for a key: its curses code, or the character it typed.
int getch() {
    for (;;) {
        int key = 0, character = 0;
        os_get_input(&key, &character);
        for (const key_map& k : keys)
            if (key == k.host) return k.curses;
        if (character != 0) return static_cast<unsigned char>(character);
    }
}

// printf after endwin: into the player's buffer, seen once the game is over.
void printf_after_endwin(const char* format, ...) {
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    DWORD written = 0;
    WriteConsoleA(player_console, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

}  // namespace curses

// ---------------------------------------------------------------- what the test sees
namespace {

constexpr int ctrl_l = 12;
int console_rows = OS_SCREEN_HEIGHT;
os_screen_cell previous[OS_SCREEN_HEIGHT][OS_SCREEN_WIDTH];  // the frame refreshed before
int frames = 0;

bool same(const os_screen_cell& a, const os_screen_cell& b) {
    return a.character == b.character && a.attr == b.attr;
}

// The frame's characters to frame.txt, then "frame=N".
void publish_frame() {
    FILE* out = std::fopen("frame.tmp", "wb");
    if (out == nullptr) return;
    for (const auto& row : curses::screen.frame) {
        char line[OS_SCREEN_WIDTH + 1];
        for (int x = 0; x < OS_SCREEN_WIDTH; ++x) line[x] = static_cast<char>(row[x].character);
        int end = OS_SCREEN_WIDTH;
        while (end > 0 && line[end - 1] == ' ') --end;
        std::fprintf(out, "%.*s\n", end, line);
    }
    std::fclose(out);
    MoveFileExA("frame.tmp", "frame.txt", MOVEFILE_REPLACE_EXISTING);
    report("frame=%d", ++frames);
}

// A refresh after the key `key` wrote: the cells of the console's rows in which
// the frame changed, every one of them after Ctrl+L; what failed is row 24
// where the console lacks it.
void watched(int key, int written, int failed) {
    const os_screen_cell blank = {' ', OS_SCREEN_BLANK_ATTR};  // what the host's buffer starts with
    int changed = 0;
    for (int y = 0; y < console_rows; ++y)
        for (int x = 0; x < OS_SCREEN_WIDTH; ++x) {
            const os_screen_cell& before = frames == 0 ? blank : previous[y][x];
            changed += key == ctrl_l || !same(before, curses::screen.frame[y][x]);
        }
    const int lost = (OS_SCREEN_HEIGHT - console_rows) * OS_SCREEN_WIDTH;
    OK(written == changed && failed == lost,
       "frame %d (after key %d) writes the %d cells that changed, and %d fail: %d written, %d failed",
       frames + 1, key, changed, lost, written, failed);
    std::memcpy(previous, curses::screen.frame, sizeof previous);
    publish_frame();
}

}  // namespace

// ---------------------------------------------------------------- the game
namespace {

using namespace curses;

struct star {
    int y, x;
    bool caught;
} stars[] = {{5, 20, false}, {12, 43, false}, {18, 60, false}, {10, 41, false}};
constexpr int star_count = sizeof stars / sizeof stars[0];
int player_y = 12, player_x = 40, score = 0, moves = 0;

void draw(const char* footer) {
    erase();
    attrset(0x08);
    for (int y = 0; y < LINES; ++y)
        for (int x = 0; x < COLS; ++x) mvaddch(y, x, '.');
    attrset(0x0E);
    mvaddstr(0, 0, " STARS - catch them with the arrows; Ctrl+L redraws; q ends ");
    attrset(0x0F);
    for (const star& s : stars)
        if (!s.caught) mvaddch(s.y, s.x, '*');
    attrset(0x2F);
    mvaddch(player_y, player_x, '@');
    char status[80];
    std::snprintf(status, sizeof status, " Score %d  Moves %d %s", score, moves, footer);
    attrset(0x0B);
    mvaddstr(LINES - 1, 0, status);
}

void step(int ch) {
    const int dy = ch == KEY_DOWN ? 1 : ch == KEY_UP ? -1 : 0;
    const int dx = ch == KEY_RIGHT ? 1 : ch == KEY_LEFT ? -1 : 0;
    if ((dy == 0 && dx == 0) || player_y + dy < 1 || player_y + dy >= LINES - 1) return;
    player_y += dy;
    player_x = (player_x + dx + COLS) % COLS;
    ++moves;
    for (star& s : stars) {
        if (s.caught || s.y != player_y || s.x != player_x) continue;
        s.caught = true;
        ++score;
    }
}

int key_read() {
    const int ch = getch();
    report("key=%d", ch);
    return ch;
}

}  // namespace

int dll_main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "rows=24") == 0) console_rows = 24;
    initscr();
    int failed = 0, written = 0;
    for (int ch = 0; ch != 'q';) {
        if (ch == ctrl_l) clearok();
        else step(ch);
        draw("");
        written = refresh(&failed);
        watched(ch, written, failed);
        ch = key_read();
    }
    draw("- Game over: press a key");
    written = refresh(&failed);
    watched('q', written, failed);
    std::printf("printed to standard output\n");
    std::fflush(stdout);
    key_read();
    endwin();
    printf_after_endwin("You caught %d of %d stars in %d moves.\r\n", score, star_count, moves);
    return 0;
}
