#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

#include "records/records.hpp"

// How a scan of the input ended.
enum class ScanEnd {
    loaded,      // every entry stored; `entries` of them
    malformed,   // entry `entry` does not match the pattern at `line`, `column`
    too_many,    // one more whole entry follows the last one the table can hold
    utf16,       // the input starts with a UTF-16 byte-order mark
    utf32,       // the input starts with a UTF-32 byte-order mark
    unreadable,  // the very first read failed: the path is not a readable file
    read_error,  // a read failed after part of the file had been read
};

// What a malformed entry has where it stops fitting the pattern.
enum class Fault {
    number,        // a number must start here (after any whitespace)
    digit,         // a sign that is not directly followed by a digit
    comma,         // the ',' that must follow a number directly
    hyphen,        // the '-' that must follow a number directly
    out_of_range,  // a number outside the 32-bit range; the position is its first character
};

struct ScanResult {
    ScanEnd end = ScanEnd::loaded;
    std::int32_t entries = 0;  // records stored, in slots 1 to `entries`
    // The rest is set with `malformed` only.
    std::int32_t entry = 0;  // the entry's number, the slot it would have filled
    Fault fault = Fault::number;
    std::array<unsigned char, 4> found{};  // the input's bytes from the position on
    std::int32_t found_size = 0;           // how many of them; 0 at the end of the input
    std::int64_t line = 0;                 // 1-based
    std::int64_t column = 0;               // 1-based, in bytes from the line's start
    std::int64_t line_start = 0;           // offset in the input of the line's first byte
    int error = 0;  // with `unreadable` and `read_error`: the C library's errno, when known
};

// Scans entries of the pattern "%d, %d-%d,%d-%d,%d,%d-%d" into slots 1, 2, 3... of `table`,
// stopping at the first entry that does not match. Entries are delimited by the pattern, not
// by lines. Never touches slot 0 nor any slot past the last entry stored.
ScanResult scan_records(std::span<const char> text, RecordTable table);

// A stream's buffer smaller than this reads nothing: the stream is reported unreadable.
constexpr std::size_t SCAN_MIN_BUFFER = 8;

// The same, reading `stream` through `buffer`, so input of any size is scanned in constant
// memory. A failed read is never taken for the end of the file.
ScanResult scan_records(std::FILE* stream, std::span<char> buffer, RecordTable table);
