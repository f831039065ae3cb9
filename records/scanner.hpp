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
    malformed,   // `malformed_total` entries do not match the pattern; the first ones in `told`
    too_many,    // one more whole entry follows the last one the table can hold
    utf16,       // the input starts with a UTF-16 byte-order mark
    utf32,       // the input starts with a UTF-32 byte-order mark
    not_text,    // the input starts with the signature of a kind of file that is not text
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

// The files that users take for text, told by their first bytes.
enum class NotText {
    zip,     // xlsx, docx, ods, odt, zip
    office,  // the old Office format: xls, doc
    pdf,
    rtf,  // WordPad's own
};

// What ends a line of the input: "\n", "\r\n" (one break) and a lone "\r".
constexpr bool is_line_end(char c) {
    return c == '\n' || c == '\r';
}

// A line of the input is shown this many bytes wide at most, starting this many before the
// column where the line is longer.
constexpr std::int64_t SHOWN_WIDTH = 76;
constexpr std::int64_t SHOWN_BEFORE = 38;

// One entry that does not match the pattern, where and why.
struct Malformed {
    std::int64_t entry = 0;  // the entry's number, the slot it would have filled
    Fault fault = Fault::number;
    std::array<unsigned char, 4> found{};  // the input's bytes from the position on
    std::int32_t found_size = 0;           // how many of them; 0 at the end of the input
    std::int64_t line = 0;                 // 1-based
    std::int64_t column = 0;               // 1-based, in bytes from the line's start
    // The line, as the scan read it: up to SHOWN_WIDTH bytes from `shown_from` (0-based, from
    // the line's start), and up to 4 more that tell whether it goes on and finish a character
    // that a cut there would split. It stops at the line's end.
    std::array<char, SHOWN_WIDTH + 4> shown{};
    std::int32_t shown_size = 0;
    std::int64_t shown_from = 0;

    bool operator==(const Malformed&) const = default;
};

// How many malformed entries are told in full; the rest are counted.
constexpr std::size_t TOLD_MALFORMED = 5;

struct ScanResult {
    ScanEnd end = ScanEnd::loaded;
    std::int32_t entries = 0;  // records stored, in slots 1 to `entries`
    // With `malformed`: the first entries that do not match, in file order, and how many do
    // in all. The entry after each is looked for at the start of the next line.
    std::array<Malformed, TOLD_MALFORMED> told{};
    std::int64_t malformed_total = 0;
    std::int64_t untold_line = 0;     // where the first entry that is not told stands
    std::int32_t also_more_than = 0;  // if not 0: the file holds more entries than the table's
                                      // capacity, this, as well
    NotText kind = NotText::zip;      // with `not_text`
    int error = 0;  // with `unreadable` and `read_error`: the C library's errno, when known
};

// For a caller that marks every fault (the page's editor), not only the first ones: told of
// each where the scan meets it. `malformed` takes every entry that does not match, its line as
// the scan read it included; `beyond` where the first entry past the table's capacity starts
// (line and column, from 1), once a whole entry has no slot. With a listener, that entry does
// not end the scan: the rest of the input is checked, as after a malformed entry.
struct FaultListener {
    void* context = nullptr;
    void (*malformed)(void* context, const Malformed& m) = nullptr;
    void (*beyond)(void* context, std::int64_t line, std::int64_t column) = nullptr;
};

// Scans entries of the pattern "%d, %d-%d,%d-%d,%d,%d-%d" into slots 1, 2, 3... of `table`.
// Entries are delimited by the pattern, not by lines. From the first entry that does not
// match, nothing more is stored: the rest of the input is only checked. Never touches slot 0
// nor any slot past the last entry stored.
ScanResult scan_records(std::span<const char> text, RecordTable table,
                        const FaultListener* listener = nullptr);

// A stream's buffer smaller than this reads nothing: the stream is reported unreadable.
constexpr std::size_t SCAN_MIN_BUFFER = 16;

// The same, reading `stream` through `buffer`, so input of any size is scanned in constant
// memory. A failed read is never taken for the end of the file.
ScanResult scan_records(std::FILE* stream, std::span<char> buffer, RecordTable table,
                        const FaultListener* listener = nullptr);
