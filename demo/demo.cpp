// Umberdeep demo: a small cave to walk around in, as a game module for
// UmberdeepSafeMode. It shows the title banner, then a map drawn from a table,
// and lets the player walk an "@" through it with the host's key vocabulary.
// Every console cell costs one host call, so the module draws into the kit's
// back buffer (os_screen.h), which writes only the cells that change.
#include <cstdio>
#include <cstring>

#include <windows.h>

#include "os_screen.h"
#include "os_services.h"

namespace {

// ---------------------------------------------------------------- attributes

constexpr int attr_text = 0x07;     // light grey on black
constexpr int attr_bright = 0x0F;   // white
constexpr int attr_heading = 0x0B;  // light cyan
constexpr int attr_hint = 0x08;     // dark grey
constexpr int attr_player = 0x0F;   // the "@"
constexpr int attr_message = 0x0E;  // yellow

// ---------------------------------------------------------------- the screen

// The frame the game draws; present() shows it.
os_screen screen;

void put(int x, int y, int ch, int attr) { os_screen_put(&screen, ch, attr, x, y); }

// Writes text from column x and pads it with spaces to width cells.
void put_text(int x, int y, int attr, const char* text, int width) {
    const int end = os_screen_text(&screen, text, attr, x, y);
    os_screen_fill(&screen, ' ', attr, end, y, x + width - end, 1);
}

// Shows the frame: the cells that changed go to the host (the rest of the
// screen is known to it already), and a graphical host would present it.
void present() {
    os_screen_flush(&screen, nullptr);
    os_update_client();
}

// ---------------------------------------------------------------- the map

struct tile_info {
    char map_char;  // how the tile is written in map_rows
    int glyph;      // how it shows: character and colours
    int attr;
    bool passable;
};

constexpr tile_info tiles[] = {
    {' ', ' ', attr_text, false},  // outside the cave
    {'.', '.', 0x07, true},        // floor
    {'#', '#', 0x06, false},       // wall
    {'~', '~', 0x09, false},       // water
    {'"', '"', 0x0A, true},        // grass
    {'$', '$', 0x0E, true},        // gold
    {'+', '+', 0x0C, true},        // door
};

const tile_info& tile_for(char map_char) {
    for (const tile_info& info : tiles)
        if (info.map_char == map_char) return info;
    return tiles[0];
}

constexpr int map_width = 44;
constexpr int map_height = 15;
constexpr int map_left = 2;  // screen cell of map cell (0, 0)
constexpr int map_top = 2;
constexpr int start_x = 2;   // where the player starts, in map cells
constexpr int start_y = 3;

constexpr const char* map_rows[map_height] = {
    "##########              #################   ",
    "#........#              #...............#   ",
    "#..$.....################......~~~......#   ",
    "#.......................+.....~~~~~.....#   ",
    "#........################.......~~.....$#   ",
    "####.#####              #...............#   ",
    "   #.#                  #####.###########   ",
    "   #.#                      #.#             ",
    "####.########          ######.#########     ",
    "#...........#          #..............#     ",
    "#.\"\"\"\"\"\"....############..............#     ",
    "#.\"\"\"$\"\".....................$........#     ",
    "#.\"\"\"\"\"\"....############..............#     ",
    "#...........#          ################     ",
    "#############                               ",
};

char cave[map_height][map_width + 1];  // the map as the game changes it
int player_x = start_x;
int player_y = start_y;
int gold = 0;

const tile_info& tile_at(int x, int y) {
    if (x < 0 || x >= map_width || y < 0 || y >= map_height) return tiles[0];
    return tile_for(cave[y][x]);
}

void draw_map_cell(int x, int y) {
    const tile_info& info = tile_at(x, y);
    put(map_left + x, map_top + y, info.glyph, info.attr);
}

void draw_player() { put(map_left + player_x, map_top + player_y, '@', attr_player); }

// ---------------------------------------------------------------- the panels

constexpr int panel_left = 50;
constexpr int status_row = 19;
constexpr int message_row = 21;
constexpr int hint_row = 23;
constexpr int line_width = 76;

constexpr const char* help_lines[] = {
    "Keys",
    "arrows        step",
    "Home/PgUp     step diagonally",
    "End/PgDn      step diagonally",
    "Shift+arrow   run to a wall",
    "z             zoom",
    "q             quit",
    "Ctrl+X Alt+F4 leave at once",
    "",
    "Any other key (F1-F9,",
    "Alt+F1-F9, Ctrl+arrow...)",
    "shows its code below.",
};

void draw_panel() {
    int row = map_top;
    for (const char* line : help_lines) {
        put_text(panel_left, row, row == map_top ? attr_heading : attr_text, line, 28);
        ++row;
    }
}

void show_gold() {
    char line[32];
    std::snprintf(line, sizeof line, "Gold: %d", gold);
    put_text(panel_left, map_top + 14, attr_message, line, 12);
}

void show_message(const char* text) { put_text(2, message_row, attr_message, text, line_width); }

struct key_name {
    int code;
    const char* name;
};

constexpr key_name key_names[] = {
    {OS_KEY_HOME, "Home"},     {OS_KEY_UP, "Up"},       {OS_KEY_PAGE_UP, "PgUp"},
    {OS_KEY_LEFT, "Left"},     {OS_KEY_RIGHT, "Right"}, {OS_KEY_END, "End"},
    {OS_KEY_DOWN, "Down"},     {OS_KEY_PAGE_DOWN, "PgDn"},
    {OS_KEY_F1, "F1"},         {OS_KEY_F2, "F2"},       {OS_KEY_F3, "F3"},
    {OS_KEY_F4, "F4"},         {OS_KEY_F5, "F5"},       {OS_KEY_F6, "F6"},
    {OS_KEY_F7, "F7"},         {OS_KEY_F8, "F8"},       {OS_KEY_F9, "F9"},
};

// "Up", "Shift+Up", "Alt+F1"...; "-" for code 0.
void name_key(int code, char* out, int size) {
    const char* modifier = "";
    int plain = code;
    if (code >= OS_KEY_CTRL_OFFSET) {
        modifier = "Ctrl+";
        plain = code - OS_KEY_CTRL_OFFSET;
    } else if (code >= OS_KEY_SHIFT_OFFSET) {
        modifier = "Shift+";
        plain = code - OS_KEY_SHIFT_OFFSET;
    } else if (code >= OS_KEY_ALT_OFFSET) {
        modifier = "Alt+";
        plain = code - OS_KEY_ALT_OFFSET;
    }
    for (const key_name& key : key_names) {
        if (key.code == plain) {
            std::snprintf(out, size, "%s%s", modifier, key.name);
            return;
        }
    }
    std::snprintf(out, size, "%s", code == 0 ? "-" : "?");
}

void show_last_key(int key_code, int char_code) {
    char name[24];
    name_key(key_code, name, sizeof name);
    char glyph[8] = "";
    if (char_code > 32 && char_code < 127) std::snprintf(glyph, sizeof glyph, " '%c'", char_code);
    char line[96];
    std::snprintf(line, sizeof line, "Last key: code %d (%s), char %d%s", key_code, name,
                  char_code, glyph);
    put_text(2, status_row, attr_bright, line, line_width);
}

// ---------------------------------------------------------------- keys and frames

// Keys the player typed while an animation played, kept for the main loop in
// the order they came. os_pause would throw them away, so the animations pace
// their frames with show_frame instead.
struct key_press {
    int key_code;
    int char_code;
};
constexpr int typed_ahead_capacity = 64;
key_press typed_ahead[typed_ahead_capacity];
int typed_ahead_count = 0;

// Shows the frame, then polls the keyboard until it has been shown for
// `milliseconds`, keeping every key it reads (the exit keys still act inside
// os_get_input).
void show_frame(DWORD milliseconds) {
    present();
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        key_press key = {0, 0};
        os_get_input(&key.key_code, &key.char_code);
        if ((key.key_code != 0 || key.char_code != 0) && typed_ahead_count < typed_ahead_capacity)
            typed_ahead[typed_ahead_count++] = key;
    }
}

// The next key: one typed during an animation first, else a fresh poll.
void next_key(int* key_code, int* char_code) {
    if (typed_ahead_count == 0) {
        os_get_input(key_code, char_code);
        return;
    }
    *key_code = typed_ahead[0].key_code;
    *char_code = typed_ahead[0].char_code;
    std::memmove(typed_ahead, typed_ahead + 1, --typed_ahead_count * sizeof typed_ahead[0]);
}

constexpr DWORD frame_ms = 40;

// ---------------------------------------------------------------- the title

constexpr int prompt_row = 10;  // below the banner, which covers rows 1-8

void show_title() {
    os_screen_display_title(&screen, 1);
    put_text(24, prompt_row, attr_bright, "Press any key to enter the cave", 0);
    put_text(22, prompt_row + 2, attr_hint, "a demo game module for UmberdeepSafeMode", 0);
    present();
}

void wait_for_key() {
    for (;;) {
        int key_code = 0;
        int char_code = 0;
        os_get_input(&key_code, &char_code);
        if (key_code != 0 || char_code != 0) return;
    }
}

void hide_title() {
    os_screen_display_title(&screen, 0);
    put_text(24, prompt_row, attr_text, "", 31);
    put_text(22, prompt_row + 2, attr_text, "", 40);
}

// ---------------------------------------------------------------- moving

struct move {
    int key;
    int dx;
    int dy;
};

constexpr move moves[] = {
    {OS_KEY_UP, 0, -1},      {OS_KEY_DOWN, 0, 1},      {OS_KEY_LEFT, -1, 0},
    {OS_KEY_RIGHT, 1, 0},    {OS_KEY_HOME, -1, -1},    {OS_KEY_PAGE_UP, 1, -1},
    {OS_KEY_END, -1, 1},     {OS_KEY_PAGE_DOWN, 1, 1},
};

// The move a key asks for, or null; *run is set for the Shift variants.
const move* find_move(int key_code, bool* run) {
    for (const move& m : moves) {
        if (key_code == m.key || key_code == OS_KEY_SHIFT(m.key)) {
            *run = key_code == OS_KEY_SHIFT(m.key);
            return &m;
        }
    }
    return nullptr;
}

enum sound_effect { sound_bump = 1, sound_coin = 2 };

// The coin glints for a moment before the player stands on it.
void take_gold() {
    cave[player_y][player_x] = '.';
    gold += 10;
    os_sound(sound_coin);
    constexpr int glint[] = {0x0E, 0x0F, 0x06, 0x0F};
    for (int attr : glint) {
        put(map_left + player_x, map_top + player_y, '*', attr);
        show_frame(frame_ms);
    }
    draw_player();
    show_gold();
    show_message("You pick up 10 gold pieces.");
}

bool blocked(const move& m) { return !tile_at(player_x + m.dx, player_y + m.dy).passable; }

void bump(const move& m) {
    os_sound(sound_bump);
    const tile_info& info = tile_at(player_x + m.dx, player_y + m.dy);
    show_message(info.map_char == '~' ? "The water is too deep to wade." : "A wall blocks the way.");
}

// One step; the caller has checked that the way is free. Returns whether the
// step ended on something worth stopping for.
bool step(const move& m) {
    draw_map_cell(player_x, player_y);
    player_x += m.dx;
    player_y += m.dy;
    draw_player();
    show_message("");
    const char here = cave[player_y][player_x];
    if (here == '$') {
        take_gold();
        return true;
    }
    return here == '+';
}

// Runs until the next cell blocks or the player reaches a door or gold, one
// step a frame so that the run can be seen.
void run(const move& m) {
    if (blocked(m)) {
        bump(m);
        return;
    }
    for (bool first = true; !blocked(m); first = false) {
        if (!first) show_frame(frame_ms);
        if (step(m)) break;
        present();
    }
}

void draw_cave() {
    for (int y = 0; y < map_height; ++y)
        for (int x = 0; x < map_width; ++x) draw_map_cell(x, y);
    put_text(2, 0, attr_heading, "UMBERDEEP DEMO - the Mossy Cave", 0);
    draw_panel();
    show_gold();
    put_text(2, hint_row, attr_hint, "q quits; Ctrl+X or Alt+F4 leave at once", 0);
    show_last_key(0, 0);
    draw_player();
}

}  // namespace

int dll_main(int, char**) {
    os_init();
    os_screen_init(&screen);
    for (int y = 0; y < map_height; ++y) std::memcpy(cave[y], map_rows[y], map_width + 1);

    os_fade(1);  // a graphical host would fade the title in
    show_title();
    wait_for_key();
    hide_title();
    draw_cave();
    present();

    for (;;) {
        int key_code = 0;
        int char_code = 0;
        next_key(&key_code, &char_code);
        if (key_code == 0 && char_code == 0) continue;  // no key, a release or a lone modifier
        show_last_key(key_code, char_code);
        if (char_code == 'q' || char_code == 'Q') break;
        bool running = false;
        if (const move* m = find_move(key_code, &running)) {
            if (running)
                run(*m);
            else if (blocked(*m))
                bump(*m);
            else
                step(*m);
        } else if (char_code == 'z' || char_code == 'Z') {
            os_zoom(1);
            show_message("This host shows text only: nothing to zoom.");
        }
        present();
    }

    show_message("Farewell.");
    present();
    os_fade(0);  // and fade out
    return 0;
}
