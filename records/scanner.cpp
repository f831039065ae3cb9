#include "records/scanner.hpp"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace {

// The input seen through a window of `buffer`, refilled when the scan reaches its end.
// SCAN_RESERVED NULs always stand just past the window: the first stops the inner loops
// without a bounds check of their own (only when they stop exactly at `end` is the window
// refilled), and all of them let whitespace be tested a block at a time.
struct Cursor {
    const char* pos;
    const char* end;
    std::FILE* stream;           // where the windows come from, or, when null,
    std::span<const char> rest;  // the text not yet copied into a window
    std::span<char> buffer;
    bool exhausted;  // no more input will come: its end, or a failed read
    bool failed;     // a read failed
    bool read_any;   // at least one byte arrived
    std::int64_t line;
};

Cursor make_cursor(std::FILE* stream, std::span<const char> text, std::span<char> buffer) {
    std::fill_n(buffer.data(), SCAN_RESERVED, '\0');
    return Cursor{buffer.data(), buffer.data(), stream, text, buffer, false, false, false, 1};
}

// Moves the window to the next part of the input. False when there is none.
bool refill(Cursor& in) {
    if (in.exhausted) return false;
    const std::size_t room = in.buffer.size() - SCAN_RESERVED;
    std::size_t got = 0;
    if (in.stream != nullptr) {
        got = std::fread(in.buffer.data(), 1, room, in.stream);
        in.failed = got == 0 && std::ferror(in.stream) != 0;
    } else {
        got = std::min(room, in.rest.size());
        std::copy_n(in.rest.data(), got, in.buffer.data());
        in.rest = in.rest.subspan(got);
    }
    if (got == 0) {
        in.exhausted = true;
        return false;
    }
    in.read_any = true;
    std::fill_n(in.buffer.data() + got, SCAN_RESERVED, '\0');
    in.pos = in.buffer.data();
    in.end = in.pos + got;
    return true;
}

// The next character, or -1 when the input has ended.
int peek(Cursor& in) {
    if (in.pos == in.end && !refill(in)) return -1;
    return static_cast<unsigned char>(*in.pos);
}

// Whitespace as the C library's scan counts it in the C locale. The sentinel is not.
constexpr std::array<bool, 256> kSpace = [] {
    std::array<bool, 256> space{};
    for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        space[static_cast<unsigned char>(c)] = true;
    }
    return space;
}();

bool is_digit(int c) {
    return c >= '0' && c <= '9';
}

// Long runs of whitespace are passed over many bytes at a time. A block of whitespace holds no
// sentinel, so it lies wholly inside the window; the next block read lies at worst in the
// SCAN_RESERVED bytes past it, which are always there.
#if defined(__SSE2__) && defined(__x86_64__) && !defined(NSUICA_PORTABLE_SCAN)

// Sixteen bytes a step, with the instructions every x86-64 processor has.
const char* skip_space_blocks(const char* p, std::int64_t& breaks) {
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i tab = _mm_set1_epi8('\t');
    const __m128i four = _mm_set1_epi8(4);
    const __m128i newline = _mm_set1_epi8('\n');
    for (;;) {
        // Each byte lane counts its line breaks; 255 steps cannot overflow a lane.
        __m128i lanes = _mm_setzero_si128();
        bool run_goes_on = true;
        for (int step = 0; step < 255; ++step) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i from_tab = _mm_sub_epi8(block, tab);  // '\t' to '\r' become 0 to 4
            const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(from_tab, four), from_tab);
            const __m128i white = _mm_or_si128(control, _mm_cmpeq_epi8(block, space));
            if (_mm_movemask_epi8(white) != 0xFFFF) {
                run_goes_on = false;
                break;
            }
            lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(block, newline));
            p += sizeof block;
        }
        const __m128i sums = _mm_sad_epu8(lanes, _mm_setzero_si128());
        breaks += _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
        if (!run_goes_on) return p;
    }
}

#else

// Eight bytes a step in plain integer arithmetic: the high bit of each byte that is zero, and
// of each byte that is whitespace.
constexpr std::uint64_t kOnes = 0x0101010101010101U;
constexpr std::uint64_t kHigh = 0x8080808080808080U;

std::uint64_t zero_bytes(std::uint64_t x) {
    return ~(((x & ~kHigh) + ~kHigh) | x) & kHigh;
}

std::uint64_t space_bytes(std::uint64_t word) {
    // No byte carries into the next: the low seven bits of each are summed with at most 0x77
    // and taken from 0x8D.
    const std::uint64_t low = word & ~kHigh;
    const std::uint64_t from_tab = low + kOnes * (0x80 - '\t');
    const std::uint64_t to_return = kOnes * (0x80 + '\r') - low;
    return (from_tab & to_return & ~word & kHigh) | zero_bytes(word ^ (kOnes * ' '));
}

const char* skip_space_blocks(const char* p, std::int64_t& breaks) {
    for (;;) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, sizeof word);
        if (space_bytes(word) != kHigh) return p;
        // One bit a line break, at the bottom of its byte; the product sums the bytes into the
        // top one. (A multiply: no popcount instruction can be assumed.)
        const std::uint64_t line_breaks = zero_bytes(word ^ (kOnes * '\n')) >> 7;
        breaks += static_cast<std::int64_t>((line_breaks * kOnes) >> 56);
        p += sizeof word;
    }
}

#endif

void skip_space(Cursor& in) {
    for (;;) {
        const char* p = in.pos;
        std::int64_t breaks = 0;
        // The usual run, a line break or two, goes byte by byte; only a run that fills a word
        // is worth testing a word at a time.
        const char* first = p;
        while (kSpace[static_cast<unsigned char>(*p)]) {
            breaks += *p == '\n' ? 1 : 0;
            ++p;
            if (p - first == 8) {
                p = skip_space_blocks(p, breaks);
                first = p;
            }
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
    if (!is_digit(c)) return false;

    // The magnitude of INT32_MIN is one more than INT32_MAX. Below the limit, ten times the
    // magnitude plus a digit stays far inside 64 bits.
    const std::uint64_t limit = negative ? 2147483648U : 2147483647U;
    std::uint64_t magnitude = 0;
    const char* p = in.pos;
    for (;;) {
        while (is_digit(*p)) {
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(*p - '0');
            if (magnitude > limit) return false;
            ++p;
        }
        in.pos = p;
        if (p != in.end || !refill(in)) break;
        p = in.pos;
    }
    // A read that failed may have cut the number short: it is not the end of the file.
    if (in.failed) return false;

    // Negate as unsigned: the magnitude of INT32_MIN has no signed counterpart.
    const auto bits = static_cast<std::uint32_t>(magnitude);
    value = static_cast<std::int32_t>(negative ? 0U - bits : bits);
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

// The common case, read in one tight pass with no refill: an entry that lies wholly inside
// the window. It follows the rules of read_number and read_entry exactly; whenever it reaches
// the window's end it gives up, having changed nothing, and the entry is read by read_entry.
enum class Quick { stored, malformed, window_end };

Quick quick_number(const char*& p, const char* end, std::int64_t& line, std::int32_t& value) {
    auto c = static_cast<unsigned char>(*p);
    while (kSpace[c]) {
        line += c == '\n' ? 1 : 0;
        c = static_cast<unsigned char>(*++p);
    }
    const bool negative = c == '-';
    if (c == '-' || c == '+') c = static_cast<unsigned char>(*++p);
    if (!is_digit(c)) return p == end ? Quick::window_end : Quick::malformed;

    // Leading zeros count for nothing, and no number of more than ten other digits is in
    // range: such a run is refused whatever its sum, which may have wrapped.
    while (c == '0')
        c = static_cast<unsigned char>(*++p);
    const char* first = p;
    std::uint64_t magnitude = 0;
    while (is_digit(c)) {
        magnitude = magnitude * 10 + (c - '0');
        c = static_cast<unsigned char>(*++p);
    }
    if (p == end) return Quick::window_end;
    if (p - first > 10 || magnitude > (negative ? 2147483648U : 2147483647U)) {
        return Quick::malformed;
    }
    const auto bits = static_cast<std::uint32_t>(magnitude);
    value = static_cast<std::int32_t>(negative ? 0U - bits : bits);
    return Quick::stored;
}

Quick quick_entry(Cursor& in, std::array<std::int32_t, 8>& number) {
    const char* p = in.pos;
    std::int64_t line = in.line;
    for (std::size_t i = 0; i < number.size(); ++i) {
        const Quick q = quick_number(p, in.end, line, number[i]);
        if (q != Quick::stored) return q;
        if (i == kSeparator.size()) break;
        if (*p != kSeparator[i]) return p == in.end ? Quick::window_end : Quick::malformed;
        ++p;
    }
    in.pos = p;
    in.line = line;
    return Quick::stored;
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
        Quick q = quick_entry(in, number);
        if (q == Quick::window_end) q = read_entry(in, number) ? Quick::stored : Quick::malformed;
        if (q == Quick::malformed) {
            if (in.failed) return {ScanEnd::read_error, k - 1, 0, 0};
            return {ScanEnd::malformed, k - 1, k, line};
        }
        // cppcheck-suppress unreadVariable ; the slot is the caller's, read after the scan
        table.slot[k] = make_record(k, number);
    }
}

}  // namespace

ScanResult scan_records(std::span<const char> text, RecordTable table) {
    // The text is copied a window at a time, so that each window can end in a sentinel.
    std::array<char, 4096> buffer{};
    Cursor in = make_cursor(nullptr, text, buffer);
    return scan(in, table);
}

ScanResult scan_records(std::FILE* stream, std::span<char> buffer, RecordTable table) {
    // A buffer with no room past the scan's own bytes could hold nothing read.
    if (buffer.size() <= SCAN_RESERVED) return {ScanEnd::unreadable, 0, 0, 0};
    Cursor in = make_cursor(stream, {}, buffer);
    return scan(in, table);
}
