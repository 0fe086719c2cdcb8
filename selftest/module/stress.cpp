// Long runs: 10,000 queued records, and 100,000 cell writes among polls, with
// what a long run watches for growth (handles, memory).
#include "module.h"

namespace {

// Open handles, counted by asking each possible value (a multiple of 4) for
// its flags on both platforms: Wine answers GetProcessHandleCount with 0.
DWORD count_open_handles() {
    DWORD open = 0, flags = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4)
        open += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    return open;
}

// Committed private memory, summed over the regions VirtualQuery sees: Wine
// reports no PrivateUsage.
SIZE_T committed_private_bytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* address = nullptr; VirtualQuery(address, &region, sizeof region) == sizeof region;) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= address) break;
        address = next;
    }
    return total;
}

}  // namespace

// TOTAL queued records, each reported once and in order.
void check_flood(unsigned total) {
    OK_EQ(total, queue_sequence(fresh_input(), total, 500), "%u records queued", total);
    char first[64];
    const unsigned wrong = poll_sequence(0, total, first);
    int key = -1, character = -1;
    os_get_input(&key, &character);
    OK(wrong == 0 && key == 0 && character == 0,
       "%u polls report every record once and in order, then none: %u wrong, first %s, then %d/%d",
       total, wrong, first, key, character);
}

// 100,000 cell writes and 10,000 polls leave the buffer holding the last write
// of each cell, and the handles and memory where they were.
int soak(int, char**) {
    witnessed_setup();
    HANDLE screen = host_buffer();
    screen_copy expected;
    fill_screen(screen, 60, &expected);
    const int cells = 100000;
    int written = 0, keys_seen = 0;
    DWORD handles[3] = {};  // before, halfway, after
    SIZE_T memory[3] = {};
    const auto note_usage = [&](int when) {
        handles[when] = count_open_handles();
        memory[when] = committed_private_bytes();
    };
    HANDLE input = fresh_input();
    for (int i = -2000; i < cells; ++i) {  // the first 2,000 warm up
        if (i == 0 || i == cells / 2) note_usage(i == 0 ? 0 : 1);
        // 200 keys among the polls, Up and Down in turn: the console may merge
        // a key press written alone into the same one still queued.
        const INPUT_RECORD arrow = key_record(i % 1000 == 0 ? VK_UP : VK_DOWN, 0, 0);
        if (i >= 0 && i % 500 == 0) queue_records(input, &arrow, 1);
        const int cell = i < 0 ? i + 2000 : i, character = 'a' + cell % 26, attr = 1 + cell % 15;
        const int x = cell % expected.width, y = (cell / expected.width) % expected.height;
        written += os_put_font(character, attr, x, y) != 0 && i >= 0;
        expected.at(x, y) = make_cell(static_cast<unsigned char>(character), static_cast<WORD>(attr));
        int key = 0;
        if (i % 10 == 0) os_get_input(&key, nullptr);
        keys_seen += key == keys::up || key == keys::down;
    }
    OK_EQ(cells, written, "100000 cell writes succeed");
    OK_EQ(200, keys_seen, "the 200 keys queued among 10000 polls are each reported");
    OK_SCREEN(screen, expected, "after 100000 writes the buffer holds the last write of every cell");
    note_usage(2);
    OK(handles[2] <= handles[0] + 2 && handles[2] <= handles[1],
       "110000 calls open no handles: %lu before, %lu halfway, %lu after", handles[0], handles[1], handles[2]);
    // 256 KiB over 110,000 calls: a leak of 3 bytes a call would show.
    OK(memory[2] <= memory[0] + 262144 && memory[2] <= memory[1] + 131072,
       "110000 calls keep their memory: %lu bytes before, %lu halfway, %lu after",
       static_cast<unsigned long>(memory[0]), static_cast<unsigned long>(memory[1]),
       static_cast<unsigned long>(memory[2]));
    return 0;
}
