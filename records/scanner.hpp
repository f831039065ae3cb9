#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "records/records.hpp"

// How a scan of the input ended.
enum class ScanEnd {
    loaded,      // every entry stored; `entries` of them
    malformed,   // entry `entry`, starting on line `line`, does not match the pattern
    too_many,    // something other than whitespace follows the last entry the table can hold
    unreadable,  // the very first read failed: the path is not a readable file
    read_error,  // a read failed after part of the file had been read
};

struct ScanResult {
    ScanEnd end;
    std::int32_t entries;  // records stored, in slots 1 to `entries`
    std::int32_t entry;    // with `malformed`: the entry's number, the slot it would have filled
    std::int64_t line;     // with `malformed`: 1-based line of the entry's first character
};

// Scans entries of the pattern "%d, %d-%d,%d-%d,%d,%d-%d" into slots 1, 2, 3... of `table`,
// stopping at the first entry that does not match. Entries are delimited by the pattern, not
// by lines. Never touches slot 0 nor any slot past the last entry stored.
ScanResult scan_records(std::span<const char> text, RecordTable table);

// The last bytes of a stream's buffer that the scan keeps for itself.
constexpr std::size_t SCAN_RESERVED = 16;

// The same, reading `stream` through `buffer`, so input of any size is scanned in constant
// memory. A failed read is never taken for the end of the file. A buffer no longer than
// SCAN_RESERVED reads nothing: the stream is reported unreadable.
ScanResult scan_records(std::FILE* stream, std::span<char> buffer, RecordTable table);
