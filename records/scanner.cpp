#include "records/scanner.hpp"

#include <array>

namespace {

// The input seen through a window that is refilled from the stream, if there is one, when the
// scan reaches its end.
struct Cursor {
    const char* pos;
    const char* end;
    std::FILE* stream;  // null when the whole input is already in the window
    std::span<char> buffer;
    bool exhausted;  // no more input will come: end of file, or a failed read
    bool failed;     // a read failed
    bool read_any;   // at least one byte arrived
    std::int64_t line;
};

// Moves the window to the next part of the stream. False when there is none.
bool refill(Cursor& in) {
    if (in.exhausted || in.stream == nullptr) {
        in.exhausted = true;
        return false;
    }
    const std::size_t got = std::fread(in.buffer.data(), 1, in.buffer.size(), in.stream);
    if (got == 0) {
        in.exhausted = true;
        in.failed = std::ferror(in.stream) != 0;
        return false;
    }
    in.read_any = true;
    in.pos = in.buffer.data();
    in.end = in.pos + got;
    return true;
}

// The next character, or -1 when the input has ended.
int peek(Cursor& in) {
    if (in.pos == in.end && !refill(in)) return -1;
    return static_cast<unsigned char>(*in.pos);
}

// Whitespace as the C library's scan counts it in the C locale.
constexpr std::array<bool, 256> kSpace = [] {
    std::array<bool, 256> space{};
    for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'})
        space[static_cast<unsigned char>(c)] = true;
    return space;
}();

void skip_space(Cursor& in) {
    for (;;) {
        const char* p = in.pos;
        std::int64_t breaks = 0;
        while (p != in.end && kSpace[static_cast<unsigned char>(*p)]) {
            breaks += *p == '\n' ? 1 : 0;
            ++p;
        }
        in.pos = p;
        in.line += breaks;
        if (p != in.end || !refill(in)) return;
    }
}

// Reads one number as "%d" does: whitespace, an optional sign, then at least one digit.
// False when none stands there, or when it lies outside the 32-bit range.
bool read_number(Cursor& in, std::int32_t& value) {
    skip_space(in);
    int c = peek(in);
    const bool negative = c == '-';
    if (c == '-' || c == '+') {
        ++in.pos;
        c = peek(in);
    }
    if (c < '0' || c > '9') return false;

    // The magnitude of INT32_MIN is one more than INT32_MAX.
    const std::uint32_t limit = negative ? 2147483648U : 2147483647U;
    std::uint32_t magnitude = 0;
    do {
        const auto digit = static_cast<std::uint32_t>(c - '0');
        if (magnitude > (limit - digit) / 10) return false;
        magnitude = magnitude * 10 + digit;
        ++in.pos;
        c = peek(in);
    } while (c >= '0' && c <= '9');
    // A read that failed may have cut the number short: it is not the end of the file.
    if (in.failed) return false;

    // Negate as unsigned: the magnitude of INT32_MIN has no signed counterpart.
    value = static_cast<std::int32_t>(negative ? 0U - magnitude : magnitude);
    return true;
}

// The separator that must follow each of the first seven numbers, directly after its last
// digit. The space of the pattern after the first comma needs nothing of its own: every number
// already skips the whitespace before it.
constexpr std::array<char, 7> kSeparator = {',', '-', ',', '-', ',', ',', '-'};

// Reads the eight numbers of one entry. False when the entry does not match the pattern.
bool read_entry(Cursor& in, std::array<std::int32_t, 8>& number) {
    for (std::size_t i = 0; i < number.size(); ++i) {
        if (!read_number(in, number[i])) return false;
        if (i == kSeparator.size()) break;
        if (peek(in) != kSeparator[i]) return false;
        ++in.pos;
    }
    return true;
}

InputRecord make_record(std::int32_t seq, const std::array<std::int32_t, 8>& n) {
    // Subtract as unsigned: the difference must wrap, and signed overflow is undefined.
    const auto diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(n[2]) -
                                                static_cast<std::uint32_t>(n[1]));
    return InputRecord{seq, n[0], n[1], n[2], diff, n[3], n[4], n[5], n[6], n[7]};
}

ScanResult scan(Cursor& in, RecordTable table) {
    const std::int32_t capacity = table.slots > 1 ? table.slots - 1 : 0;
    for (std::int32_t k = 1;; ++k) {
        skip_space(in);
        if (peek(in) < 0) {
            if (!in.failed) return {ScanEnd::loaded, k - 1, 0, 0};
            return {in.read_any ? ScanEnd::read_error : ScanEnd::unreadable, k - 1, 0, 0};
        }
        if (k > capacity) return {ScanEnd::too_many, k - 1, 0, 0};

        const std::int64_t line = in.line;
        std::array<std::int32_t, 8> number{};
        if (!read_entry(in, number)) {
            if (in.failed) return {ScanEnd::read_error, k - 1, 0, 0};
            return {ScanEnd::malformed, k - 1, k, line};
        }
        // cppcheck-suppress unreadVariable ; the slot is the caller's, read after the scan
        table.slot[k] = make_record(k, number);
    }
}

}  // namespace

ScanResult scan_records(std::span<const char> text, RecordTable table) {
    Cursor in{text.data(), text.data() + text.size(), nullptr, {}, false, false, true, 1};
    return scan(in, table);
}

ScanResult scan_records(std::FILE* stream, std::span<char> buffer, RecordTable table) {
    Cursor in{buffer.data(), buffer.data(), stream, buffer, false, false, false, 1};
    return scan(in, table);
}
