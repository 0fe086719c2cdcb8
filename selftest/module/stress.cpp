// Long runs: 10,000 queued records, and 100,000 cell writes among polls, with
// what a long run watches for growth (handles, memory).
#include <vector>

#include "module.h"

namespace {

// Open handles, counted by asking each possible value (a multiple of 4) for
// its flags on both platforms: Wine answers GetProcessHandleCount with 0.
DWORD count_open_handles() {
    DWORD open = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++open;
    }
    return open;
}

// Committed private memory, summed over the regions VirtualQuery sees: Wine
// reports no PrivateUsage.
SIZE_T committed_private_bytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    const char* address = nullptr;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
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
    const std::vector<INPUT_RECORD> records = sequence_records(total);
    OK_EQ(total, queue_records(fresh_input(), records.data(), total, 500), "%u records queued", total);
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
    int written = 0;
    int keys_seen = 0;
    DWORD handles_before = 0, handles_middle = 0;
    SIZE_T memory_before = 0, memory_middle = 0;
    HANDLE input = fresh_input();
    for (int i = -2000; i < cells; ++i) {  // the first 2,000 warm up
        if (i == 0 || i == cells / 2) {
            (i == 0 ? handles_before : handles_middle) = count_open_handles();
            (i == 0 ? memory_before : memory_middle) = committed_private_bytes();
        }
        if (i >= 0 && i % 500 == 0) {  // 200 keys among the polls, Up and Down in turn:
            // the console may merge a key press written alone into the same one still queued
            const INPUT_RECORD key = key_record(i % 1000 == 0 ? VK_UP : VK_DOWN, 0, 0);
            queue_records(input, &key, 1);
        }
        const int cell = i < 0 ? i + 2000 : i;
        const int x = cell % expected.width, y = (cell / expected.width) % expected.height;
        const int character = 'a' + cell % 26, attr = 1 + cell % 15;
        written += os_put_font(character, attr, x, y) != 0 && i >= 0;
        expected.at(x, y) = make_cell(static_cast<unsigned char>(character), static_cast<WORD>(attr));
        if (i % 10 == 0) {
            int key = 0;
            os_get_input(&key, nullptr);
            keys_seen += key == keys::up || key == keys::down;
        }
    }
    OK_EQ(cells, written, "100000 cell writes succeed");
    OK_EQ(200, keys_seen, "the 200 keys queued among 10000 polls are each reported");
    OK_SCREEN(screen, expected, "after 100000 writes the buffer holds the last write of every cell");
    const DWORD handles = count_open_handles();
    OK(handles <= handles_before + 2 && handles <= handles_middle,
       "110000 calls open no handles: %lu before, %lu halfway, %lu after",
       static_cast<unsigned long>(handles_before), static_cast<unsigned long>(handles_middle),
       static_cast<unsigned long>(handles));
    // 256 KiB over 110,000 calls: a leak of 3 bytes a call would show.
    const SIZE_T memory = committed_private_bytes();
    OK(memory <= memory_before + 262144 && memory <= memory_middle + 131072,
       "110000 calls keep their memory: %lu bytes before, %lu halfway, %lu after",
       static_cast<unsigned long>(memory_before), static_cast<unsigned long>(memory_middle),
       static_cast<unsigned long>(memory));
    return 0;
}
