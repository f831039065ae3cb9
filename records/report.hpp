#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "records/scanner.hpp"

// Writes to `out` what the user is told when the scan of `path` ended other than `loaded`:
// one line; for each malformed entry told, three: where and why, the line of the input where
// it lies, and a caret under its column; then one that counts those not told.
void report_scan_failure(std::FILE* out, const char* path, const ScanResult& r);

// The first line of a malformed entry's report, where and why, without its line break.
void report_malformed_headline(std::FILE* out, const char* path, const Malformed& m);

// The line that says that `path` holds more entries than the table's `capacity`.
void report_too_many(std::FILE* out, const char* path, std::int32_t capacity);

// A character that looks like one the pattern wants, or like nothing at all, as editors and
// spreadsheets put them in place of a space, a hyphen, a comma, a sign or a digit. Where the
// scan finds one, the report names it and says what it looks like.
struct LookAlike {
    std::uint32_t code;
    const char* name;  // lower-case Portuguese, plain ASCII
    const char* like;  // what it is taken for ("'-'", "um espaco"); null for an invisible one
};
std::span<const LookAlike> look_alikes();

// A swap that mends a malformed entry's fault wherever its character stands in the text: every
// `from` (a code point) becomes the ASCII `to`. None (`from` 0) where it could be wrong: a space
// may stand where a ',' is missing, "3.5" is not "3,5", and an invisible character may be all
// that parts two numbers.
struct Swap {
    std::uint32_t from = 0;
    char to = 0;
};
Swap certain_swap(const Malformed& m);
