#include "records/scanner.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

namespace {

// One NUL always stands just past the window: it stops every inner loop without a bounds
// check of its own, and only a loop that stops exactly at `end` refills the window.
constexpr std::size_t kSentinel = 1;
constexpr unsigned char kCtrlZ = 0x1A;

// A place in the input.
struct Mark {
    std::int64_t offset = 0;
    std::int64_t line = 1;
    std::int64_t line_start = 0;
};

// Where an entry stops fitting the pattern, and what it wanted there.
struct Mismatch {
    Fault fault = Fault::number;
    Mark at{};
};

// Where the bytes come from: a stream, or text already in memory. It hands them out a window's
// worth at a time and remembers how the input ended.
struct Source {
    std::FILE* stream = nullptr;
    std::span<const char> text{};  // without a stream: what has not been handed out yet
    bool exhausted = false;        // no more will come: the input's end, or a failed read
    bool failed = false;           // a read failed,
    int error = 0;                 //   with this errno
    bool read_any = false;         // at least one byte came
};

// Copies up to `room` bytes into `into`; how many. 0 once the input is exhausted.
std::size_t read_more(Source& source, char* into, std::size_t room) {
    if (source.exhausted) return 0;
    std::size_t got = 0;
    if (source.stream != nullptr) {
        got = std::fread(into, 1, room, source.stream);
        source.failed = got == 0 && std::ferror(source.stream) != 0;
        if (source.failed) source.error = errno;
    } else {
        got = std::min(room, source.text.size());
        std::copy_n(source.text.data(), got, into);
        source.text = source.text.subspan(got);
    }
    source.exhausted = got == 0;
    source.read_any = source.read_any || got > 0;
    return got;
}

// The input seen through a window of `buffer`, refilled from `source` when the scan reaches
// the window's end.
struct Cursor {
    std::span<char> buffer;
    Source source;
    const char* pos = buffer.data();
    const char* end = buffer.data();
    std::int64_t base = 0;  // offset in the input of buffer[0]
    std::int64_t line = 1;
    std::int64_t line_start = 0;
    std::int64_t after_cr = -1;  // offset just past the last '\r': a '\n' there is the same break
    Mark gap{};                  // where the last run of whitespace began,
    bool spaced = false;         // if there was one before the cursor
};

std::int64_t offset(const Cursor& in) {
    return in.base + (in.pos - in.buffer.data());
}

Mark mark(const Cursor& in) {
    return {offset(in), in.line, in.line_start};
}

// Moves the unread bytes to the buffer's start and reads more after them. False when no more
// came.
bool refill(Cursor& in) {
    if (in.source.exhausted) return false;
    const auto kept = static_cast<std::size_t>(in.end - in.pos);
    std::memmove(in.buffer.data(), in.pos, kept);
    in.base = offset(in);
    char* into = in.buffer.data() + kept;
    const std::size_t got = read_more(in.source, into, in.buffer.size() - kSentinel - kept);
    in.pos = in.buffer.data();
    in.end = into + got;
    into[got] = '\0';
    return got > 0;
}

// The next byte, or -1 when the input has ended.
int peek(Cursor& in) {
    if (in.pos == in.end && !refill(in)) return -1;
    return static_cast<unsigned char>(*in.pos);
}

// How many bytes, up to `n`, stand unread in the window once it holds as many as it can.
std::size_t ensure(Cursor& in, std::size_t n) {
    while (static_cast<std::size_t>(in.end - in.pos) < n && refill(in)) {
    }
    return std::min(n, static_cast<std::size_t>(in.end - in.pos));
}

// Whitespace as the C library's scan counts it in the C locale. The sentinel is not.
bool is_space(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool is_digit(int c) {
    return c >= '0' && c <= '9';
}

// Skips the run of whitespace at the cursor, counting its line breaks. Kept out of line, so
// that the callers' loops stay small enough to be compiled as one.
[[gnu::noinline]] void skip_run(Cursor& in) {
    in.gap = mark(in);
    for (;;) {
        const char* p = in.pos;
        for (; is_space(static_cast<unsigned char>(*p)); ++p) {
            if (*p != '\n' && *p != '\r') continue;
            // Lines end at "\n", "\r\n" (one break) and a lone "\r".
            const std::int64_t at = in.base + (p - in.buffer.data());
            if (*p == '\r' || at != in.after_cr) ++in.line;
            if (*p == '\r') in.after_cr = at + 1;
            in.line_start = at + 1;
        }
        in.pos = p;
        if (p != in.end || !refill(in)) return;
    }
}

// Most numbers follow their separator directly: the test for a run stays in the caller's loop
// and the skipping apart from it, which takes a whole run of the example from 918,556
// instructions to 800,983.
void skip_space(Cursor& in) {
    in.spaced = in.pos == in.end || is_space(static_cast<unsigned char>(*in.pos));
    if (in.spaced) skip_run(in);
}

// Reads one number as "%d" does: whitespace, an optional sign, then at least one digit.
// False when there is none, with where and why in `miss`.
bool read_number(Cursor& in, std::int32_t& value, Mismatch& miss) {
    skip_space(in);
    // Where the number starts, kept as two words: a refill moves the window, not the offset.
    const char* first = in.pos;
    const std::int64_t first_base = in.base;
    int c = peek(in);
    const bool negative = c == '-';
    const bool sign = negative || c == '+';
    if (sign) {
        ++in.pos;
        c = peek(in);
    }
    if (!is_digit(c)) {
        miss = {sign ? Fault::digit : Fault::number, mark(in)};
        return false;
    }
    // The magnitude of INT32_MIN is one more than INT32_MAX. Below the limit, ten times the
    // magnitude plus a digit stays far inside 64 bits.
    const std::uint64_t limit = negative ? 2147483648U : 2147483647U;
    std::uint64_t magnitude = 0;
    for (;;) {
        const char* p = in.pos;
        for (unsigned digit = 0; (digit = static_cast<unsigned char>(*p) - 0x30U) <= 9; ++p) {
            magnitude = magnitude * 10 + digit;
            if (magnitude > limit) {
                miss = {Fault::out_of_range,
                        {first_base + (first - in.buffer.data()), in.line, in.line_start}};
                return false;
            }
        }
        in.pos = p;
        if (p != in.end || !refill(in)) break;
    }
    // Negate as unsigned: the magnitude of INT32_MIN has no signed counterpart.
    const auto bits = static_cast<std::uint32_t>(magnitude);
    value = static_cast<std::int32_t>(negative ? 0U - bits : bits);
    return true;
}

// The separator that must follow each of the first seven numbers, directly after its last
// digit. The space of the pattern after the first comma needs nothing of its own: every number
// already skips the whitespace before it.
constexpr std::array<char, 7> kSeparator = {',', '-', ',', '-', ',', ',', '-'};

bool read_entry(Cursor& in, std::array<std::int32_t, 8>& number, Mismatch& miss) {
    for (std::size_t i = 0; i < number.size(); ++i) {
        if (!read_number(in, number[i], miss)) return false;
        if (i == kSeparator.size()) break;
        if (peek(in) != kSeparator[i]) {
            miss = {kSeparator[i] == ',' ? Fault::comma : Fault::hyphen, mark(in)};
            return false;
        }
        ++in.pos;
    }
    return true;
}

// Up to four bytes of the input where an entry stops fitting; none at the input's end.
struct Found {
    std::array<unsigned char, 4> bytes{};
    std::int32_t size = 0;
};

// What stands at the cursor. The one home of Windows' end of file: a Ctrl-Z followed by
// nothing but whitespace and more Ctrl-Z ends the input there.
Found take_found(Cursor& in) {
    Found found;
    found.size = static_cast<std::int32_t>(ensure(in, found.bytes.size()));
    std::copy_n(in.pos, found.size, found.bytes.begin());
    if (found.size == 0 || found.bytes[0] != kCtrlZ) return found;
    for (int c = kCtrlZ; c == kCtrlZ || is_space(static_cast<unsigned char>(c)); c = peek(in))
        ++in.pos;
    if (peek(in) < 0) found.size = 0;
    return found;
}

ScanResult ended(const Cursor& in, std::int32_t entries) {
    if (!in.source.failed) return {.end = ScanEnd::loaded, .entries = entries};
    return {.end = in.source.read_any ? ScanEnd::read_error : ScanEnd::unreadable,
            .entries = entries,
            .error = in.source.error};
}

// Entry `k` stops fitting the pattern at `miss`, where `found` stands.
ScanResult malformed(const Cursor& in, std::int32_t k, Mismatch miss, const Found& found) {
    if (in.source.failed) return ended(in, k - 1);
    // Where the input ends inside an entry, the fault is just past its last non-whitespace.
    if (found.size == 0 && miss.fault == Fault::number && in.spaced) miss.at = in.gap;
    return {.end = ScanEnd::malformed,
            .entries = k - 1,
            .entry = k,
            .fault = miss.fault,
            .found = found.bytes,
            .found_size = found.size,
            .line = miss.at.line,
            .column = miss.at.offset - miss.at.line_start + 1,
            .line_start = miss.at.line_start};
}

InputRecord make_record(std::int32_t seq, const std::array<std::int32_t, 8>& n) {
    // Subtract as unsigned: the difference must wrap, and signed overflow is undefined.
    const auto diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(n[2]) -
                                                static_cast<std::uint32_t>(n[1]));
    return InputRecord{seq, n[0], n[1], n[2], diff, n[3], n[4], n[5], n[6], n[7]};
}

// Looks at the first bytes for a byte-order mark: UTF-8's is skipped (and is no part of the
// first line's columns); UTF-16's and UTF-32's end the scan, with `loaded` meaning neither.
ScanEnd byte_order_mark(Cursor& in) {
    const std::size_t n = ensure(in, 4);
    const auto* b = reinterpret_cast<const unsigned char*>(in.pos);
    const auto starts = [&](std::initializer_list<unsigned char> mark) {
        return n >= mark.size() && std::equal(mark.begin(), mark.end(), b);
    };
    // UTF-32's little-endian mark begins with UTF-16's: it is looked for first.
    if (starts({0xFF, 0xFE, 0, 0}) || starts({0, 0, 0xFE, 0xFF})) return ScanEnd::utf32;
    if (starts({0xFF, 0xFE}) || starts({0xFE, 0xFF})) return ScanEnd::utf16;
    if (starts({0xEF, 0xBB, 0xBF})) {
        in.pos += 3;
        in.line_start = 3;
    }
    return ScanEnd::loaded;
}

ScanResult scan(Cursor& in, RecordTable table) {
    in.buffer[0] = '\0';
    if (const ScanEnd encoding = byte_order_mark(in); encoding != ScanEnd::loaded)
        return {.end = encoding};
    // One slot more than the table holds is read, into `number` only, to tell a whole entry
    // too many from text that is no entry at all.
    const std::int32_t capacity = table.slots > 1 ? table.slots - 1 : 0;
    for (std::int32_t k = 1;; ++k) {
        skip_space(in);
        const int c = peek(in);
        if (c < 0) return ended(in, k - 1);
        std::array<std::int32_t, 8> number{};
        Mismatch miss;
        if (!read_entry(in, number, miss)) {
            // A number out of range is reported as a whole: what follows its digits is no part.
            const Found found = miss.fault == Fault::out_of_range ? Found{} : take_found(in);
            // A Ctrl-Z that ends the input where an entry would start ends it between entries.
            if (c == kCtrlZ && found.size == 0) return ended(in, k - 1);
            return malformed(in, k, miss, found);
        }
        if (in.source.failed) return ended(in, k - 1);  // the last number may have been cut short
        if (k > capacity) return {.end = ScanEnd::too_many, .entries = capacity};
        // cppcheck-suppress unreadVariable ; the slot is the caller's, read after the scan
        table.slot[k] = make_record(k, number);
    }
}

}  // namespace

ScanResult scan_records(std::span<const char> text, RecordTable table) {
    // The text is copied a window at a time, so that each window can end in a sentinel.
    std::array<char, 4096> buffer{};
    Cursor in{.buffer = buffer, .source = {.text = text}};
    return scan(in, table);
}

ScanResult scan_records(std::FILE* stream, std::span<char> buffer, RecordTable table) {
    if (buffer.size() < SCAN_MIN_BUFFER) return {.end = ScanEnd::unreadable};
    Cursor in{.buffer = buffer, .source = {.stream = stream}};
    return scan(in, table);
}
