#include "records/scanner.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string_view>

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

// Bytes that the window let go of, kept for the line of a fault: those around one place.
constexpr std::int64_t kKeptBefore = SHOWN_WIDTH + 4;  // a sign more than the line shows
constexpr std::int64_t kKeptAfter = SHOWN_WIDTH + 8;
struct Kept {
    std::array<char, kKeptBefore + kKeptAfter> bytes{};
    std::int64_t from = 0;  // offset in the input of bytes[0]
    std::int64_t size = 0;
};

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
    // A fault may lie where a number or a run of whitespace began, or at the cursor: a refill
    // keeps what it lets go of around both, and before the cursor. Once a fault is found, the
    // first two places are pinned until its line has been read.
    std::array<Kept, 3> kept{};
    std::array<std::int64_t, 2> pins{};
    bool pinned = false;
    const FaultListener* listener = nullptr;
};

std::int64_t offset(const Cursor& in) {
    return in.base + (in.pos - in.buffer.data());
}

Mark mark(const Cursor& in) {
    return {offset(in), in.line, in.line_start};
}

// Keeps what the window lets go of around `places` from now on. A place that the window has not
// let go of yet needs what it let go of last, before it: that is where each starts.
void hold(Cursor& in, const std::array<std::int64_t, 2>& places) {
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (places[i] >= in.base) in.kept[i] = in.kept[2];
    }
    in.pins = places;
}

// Keeps in `k` what the window lets go of, up to the cursor, within reach of `at`.
void keep(Kept& k, const Cursor& in, std::int64_t at) {
    const std::int64_t lo = at - kKeptBefore;
    const std::int64_t hi = at + kKeptAfter;
    if (k.from + k.size <= lo) {
        k.size = 0;
    } else if (k.from < lo) {
        const std::int64_t drop = lo - k.from;
        std::memmove(k.bytes.data(), k.bytes.data() + drop,
                     static_cast<std::size_t>(k.size - drop));
        k.from = lo;
        k.size -= drop;
    }
    const std::int64_t first = std::max(in.base, lo);
    const std::int64_t last = std::min(offset(in), hi);
    if (first >= last) return;
    // What is kept must stay one stretch of the input: after a gap, it starts again.
    if (k.size == 0 || k.from + k.size != first) {
        k.from = first;
        k.size = 0;
    }
    std::copy_n(in.buffer.data() + (first - in.base), last - first, k.bytes.data() + k.size);
    k.size += last - first;
}

// Moves the unread bytes to the buffer's start and reads more after them. What it lets go of
// around `anchor` (where a fault may turn out to lie) and before the cursor is kept. False
// when no more came.
bool refill(Cursor& in, std::int64_t anchor) {
    if (in.source.exhausted) return false;
    if (!in.pinned) hold(in, {anchor, offset(in)});
    keep(in.kept[0], in, in.pins[0]);
    keep(in.kept[1], in, in.pins[1]);
    keep(in.kept[2], in, offset(in));
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
    if (in.pos == in.end && !refill(in, offset(in))) return -1;
    return static_cast<unsigned char>(*in.pos);
}

// How many bytes, up to `n`, stand unread in the window once it holds as many as it can.
std::size_t ensure(Cursor& in, std::size_t n) {
    while (static_cast<std::size_t>(in.end - in.pos) < n && refill(in, offset(in))) {
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

// Counts the break that `p`, a line end in the window, makes: "\r\n" is one.
void count_break(Cursor& in, const char* p) {
    const std::int64_t at = in.base + (p - in.buffer.data());
    if (*p == '\r' || at != in.after_cr) ++in.line;
    if (*p == '\r') in.after_cr = at + 1;
    in.line_start = at + 1;
}

// Skips the run of whitespace at the cursor, counting its line breaks. Kept out of line, so
// that the callers' loops stay small enough to be compiled as one.
[[gnu::noinline]] void skip_run(Cursor& in) {
    in.gap = mark(in);
    for (;;) {
        const char* p = in.pos;
        for (; is_space(static_cast<unsigned char>(*p)); ++p) {
            if (is_line_end(*p)) count_break(in, p);
        }
        in.pos = p;
        if (p != in.end || !refill(in, in.gap.offset)) return;
    }
}

// Moves the cursor past the end of its line, or to the end of the input.
void skip_line(Cursor& in) {
    for (;;) {
        const char* p = std::find_if(in.pos, in.end, is_line_end);
        in.pos = p;
        if (p != in.end) {
            count_break(in, p);
            ++in.pos;
            return;
        }
        if (!refill(in, offset(in))) return;
    }
}

// Most numbers follow their separator directly: the test for a run stays in the caller's loop
// and the skipping apart from it: a call for every number cost the whole run much more
// (see BENCHMARKS.md).
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
        if (p != in.end || !refill(in, first_base + (first - in.buffer.data()))) break;
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
// nothing but whitespace and more Ctrl-Z ends the input there. Where something else follows,
// the cursor is left after that whitespace, its line breaks counted.
Found take_found(Cursor& in) {
    Found found;
    found.size = static_cast<std::int32_t>(ensure(in, found.bytes.size()));
    std::copy_n(in.pos, found.size, found.bytes.begin());
    if (found.size == 0 || found.bytes[0] != kCtrlZ) return found;
    for (int c = kCtrlZ; c == kCtrlZ || is_space(static_cast<unsigned char>(c)); c = peek(in)) {
        if (c == kCtrlZ) {
            ++in.pos;
        } else {
            skip_run(in);
        }
    }
    if (peek(in) < 0) found.size = 0;
    return found;
}

ScanResult ended(const Cursor& in, std::int32_t entries) {
    if (!in.source.failed) return {.end = ScanEnd::loaded, .entries = entries};
    return {.end = in.source.read_any ? ScanEnd::read_error : ScanEnd::unreadable,
            .entries = entries,
            .error = in.source.error};
}

// The byte at `at`, if the window or what it let go of still holds it.
bool held(const Cursor& in, std::int64_t at, char& c) {
    if (at >= in.base && at < in.base + (in.end - in.buffer.data())) {
        c = in.buffer[static_cast<std::size_t>(at - in.base)];
        return true;
    }
    for (const Kept& k : in.kept) {
        if (at < k.from || at >= k.from + k.size) continue;
        c = k.bytes[static_cast<std::size_t>(at - k.from)];
        return true;
    }
    return false;
}

// How many bytes of the line, up to `room`, stand from `at` on; copied into `into` unless null.
std::int64_t line_from(const Cursor& in, std::int64_t at, char* into, std::int64_t room) {
    std::int64_t size = 0;
    char c = 0;
    for (; size < room && held(in, at + size, c) && !is_line_end(c); ++size) {
        if (into != nullptr) into[size] = c;
    }
    return size;
}

// The line of a fault at `at`, as much of it as is shown: from its start, or from
// SHOWN_BEFORE bytes before the column where the line is wider than is shown.
void show_line(const Cursor& in, const Mark& at, Malformed& m) {
    const std::int64_t column = at.offset - at.line_start;
    const std::int64_t past = SHOWN_WIDTH + 1 - column;  // bytes from the column on that are
    if (column > SHOWN_BEFORE &&                         // more than is shown
        (past <= 0 || line_from(in, at.offset, nullptr, past) == past)) {
        m.shown_from = column - SHOWN_BEFORE;
    }
    m.shown_size = static_cast<std::int32_t>(
        line_from(in, at.line_start + m.shown_from, m.shown.data(), std::ssize(m.shown)));
}

// Entry `k`, whose first byte is `first`, stops fitting the pattern at `miss`. Counts it, tells
// it if it is among the first, and moves the cursor on to where the next entry is looked for:
// the start of the next line. False when the input ends there.
bool note_fault(Cursor& in, ScanResult& r, std::int64_t k, Mismatch miss, int first) {
    // Where the input ends inside an entry, the fault is just past its last non-whitespace:
    // until that is known, both places are held.
    const bool at_gap = miss.fault == Fault::number && in.spaced;
    const Mark gap = in.gap;
    hold(in, {at_gap ? gap.offset : miss.at.offset, miss.at.offset});
    in.pinned = true;
    const std::int64_t line = in.line;
    // A number out of range is reported as a whole: what follows its digits is no part.
    const Found found = miss.fault == Fault::out_of_range ? Found{} : take_found(in);
    const bool ends = found.size == 0 && miss.fault != Fault::out_of_range;
    // A Ctrl-Z that ends the input where an entry would start ends it between entries.
    if (first == kCtrlZ && ends) return false;
    if (ends && at_gap) miss.at = gap;
    if (in.line == line) skip_line(in);
    in.pinned = false;
    ++r.malformed_total;
    const bool told = r.malformed_total <= std::ssize(r.told);
    if (!told && r.untold_line == 0) r.untold_line = miss.at.line;
    if (!told && in.listener == nullptr) return !ends;
    Malformed m = {.entry = k,
                   .fault = miss.fault,
                   .found = found.bytes,
                   .found_size = found.size,
                   .line = miss.at.line,
                   .column = miss.at.offset - miss.at.line_start + 1};
    show_line(in, miss.at, m);
    if (told) r.told[static_cast<std::size_t>(r.malformed_total - 1)] = m;
    if (in.listener != nullptr) in.listener->malformed(in.listener->context, m);
    return !ends;
}

InputRecord make_record(std::int32_t seq, const std::array<std::int32_t, 8>& n) {
    // Subtract as unsigned: the difference must wrap, and signed overflow is undefined.
    const auto diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(n[2]) -
                                                static_cast<std::uint32_t>(n[1]));
    return InputRecord{seq, n[0], n[1], n[2], diff, n[3], n[4], n[5], n[6], n[7]};
}

// The files that users take for text, by the bytes they start with.
struct Signature {
    std::string_view bytes;
    NotText kind;
};
constexpr Signature kSignatures[] = {
    {"PK\x03\x04", NotText::zip},
    {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", NotText::office},
    {"%PDF-", NotText::pdf},
    {"{\\rtf", NotText::rtf},
};

// Looks at the first bytes for a file that holds no entries as text: a UTF-16 or UTF-32
// byte-order mark, or one of the signatures above (its kind in `kind`). UTF-8's mark is
// skipped, and is no part of the first line's columns. `loaded` means none of them.
ScanEnd first_bytes(Cursor& in, NotText& kind) {
    const std::string_view head(in.pos, ensure(in, 8));
    const auto starts = [head](std::string_view mark) {
        return head.substr(0, mark.size()) == mark;
    };
    using namespace std::string_view_literals;
    // UTF-32's little-endian mark begins with UTF-16's: it is looked for first.
    if (starts("\xFF\xFE\0\0"sv) || starts("\0\0\xFE\xFF"sv)) return ScanEnd::utf32;
    if (starts("\xFF\xFE") || starts("\xFE\xFF")) return ScanEnd::utf16;
    for (const Signature& s : kSignatures) {
        if (!starts(s.bytes)) continue;
        kind = s.kind;
        return ScanEnd::not_text;
    }
    if (starts("\xEF\xBB\xBF")) {
        in.pos += 3;
        in.line_start = 3;
    }
    return ScanEnd::loaded;
}

ScanResult scan(Cursor& in, RecordTable table) {
    in.buffer[0] = '\0';
    NotText kind = NotText::zip;
    if (const ScanEnd what = first_bytes(in, kind); what != ScanEnd::loaded)
        return {.end = what, .kind = kind};
    // One slot more than the table holds is read, into `number` only, to tell a whole entry
    // too many from text that is no entry at all.
    const std::int32_t capacity = table.slots > 1 ? table.slots - 1 : 0;
    // From the first entry that does not match on, nothing is stored: the rest of the input is
    // checked, so that every malformed entry is counted and the first ones told. One loop does
    // both, so that the entry's reading is compiled into it once: see BENCHMARKS.md.
    ScanResult checked{.end = ScanEnd::malformed};
    Mark beyond{};  // where the first entry that has no slot starts, for a listener
    std::int64_t k = 1;
    for (;; ++k) {
        skip_space(in);
        const int c = peek(in);
        if (c < 0) break;
        if (in.listener != nullptr && k == capacity + 1) beyond = mark(in);
        std::array<std::int32_t, 8> number{};
        Mismatch miss;
        if (!read_entry(in, number, miss)) {
            if (checked.malformed_total == 0)
                checked.entries =
                    static_cast<std::int32_t>(std::min<std::int64_t>(k - 1, capacity));
            if (!note_fault(in, checked, k, miss, c)) break;
            continue;
        }
        if (in.source.failed) break;  // the last number may have been cut short
        if (k > capacity) {
            if (checked.also_more_than == 0 && in.listener != nullptr) {
                in.listener->beyond(in.listener->context, beyond.line,
                                    beyond.offset - beyond.line_start + 1);
            }
            if (checked.malformed_total == 0 && in.listener == nullptr)
                return {.end = ScanEnd::too_many, .entries = capacity};
            checked.also_more_than = capacity;
        } else if (checked.malformed_total == 0) {
            // cppcheck-suppress unreadVariable ; the slot is the caller's, read after the scan
            table.slot[k] = make_record(static_cast<std::int32_t>(k), number);
        }
    }
    if (checked.malformed_total == 0 && checked.also_more_than > 0 && !in.source.failed)
        return {.end = ScanEnd::too_many, .entries = capacity};
    if (checked.malformed_total == 0) return ended(in, static_cast<std::int32_t>(k - 1));
    if (in.source.failed) return ended(in, checked.entries);
    return checked;
}

}  // namespace

ScanResult scan_records(std::span<const char> text, RecordTable table,
                        const FaultListener* listener) {
    // The text is copied a window at a time, so that each window can end in a sentinel.
    std::array<char, 4096> buffer{};
    Cursor in{.buffer = buffer, .source = {.text = text}, .listener = listener};
    return scan(in, table);
}

ScanResult scan_records(std::FILE* stream, std::span<char> buffer, RecordTable table,
                        const FaultListener* listener) {
    if (buffer.size() < SCAN_MIN_BUFFER) return {.end = ScanEnd::unreadable};
    Cursor in{.buffer = buffer, .source = {.stream = stream}, .listener = listener};
    return scan(in, table);
}
