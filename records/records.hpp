#pragma once

#include <cstdint>

constexpr std::int32_t RECORD_SLOTS = 734;

// One entry of the input file, as stored in the table.
struct InputRecord {
    std::int32_t seq;  // the slot number, from 1
    std::int32_t item1;
    std::int32_t item2_a;
    std::int32_t item2_b;
    std::int32_t item2_diff;  // item2_b - item2_a, wrapping; not in the file
    std::int32_t item3_a;
    std::int32_t item3_b;
    std::int32_t item4;
    std::int32_t item5_a;
    std::int32_t item5_b;
};
static_assert(sizeof(InputRecord) == 40, "the table's layout is ten packed 32-bit fields");

// `slots` contiguous records. Entry k of the file goes to slot[k], so slot 0 is never filled
// and the table holds at most slots - 1 entries. It carries no count of what it holds.
struct RecordTable {
    InputRecord* slot;
    std::int32_t slots;
};

// Allocates `count` slots and sets none of them. Returns only on success: a shortage of memory
// ends the process with status 1, after its message and a wait for a key.
RecordTable allocate_records(std::int32_t count);

// Reads every entry of `path` into slots 1, 2, 3... of `table` and closes the file.
// Returns only when the whole file was loaded; any failure ends the process with status 1,
// after its message on standard output and a wait for a key. Never writes past the table.
void load_records(const char* path, RecordTable& table);
