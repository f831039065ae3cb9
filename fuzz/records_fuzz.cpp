// The input bytes are the content of an input file. Whatever they are, the scan must end,
// never touch slot 0 nor any slot past the entries it stored, end in exactly one of the ways
// the loader has a message for, end the same whether it reads a buffer or a stream (the lines
// it shows too), and its report must be written without fault.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "records/report.hpp"
#include "records/scanner.hpp"

namespace {

// Slots past the table's end, to catch a write beyond it.
constexpr std::int32_t kGuardSlots = 2;

void require(bool property, const char* what) {
    if (property) return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

bool unset(const InputRecord& r) {
    InputRecord pattern{};
    std::memset(&pattern, 0x5A, sizeof pattern);
    return std::memcmp(&r, &pattern, sizeof pattern) == 0;
}

std::vector<InputRecord> fresh_table(std::int32_t slots) {
    std::vector<InputRecord> storage(static_cast<std::size_t>(slots + kGuardSlots));
    std::memset(storage.data(), 0x5A, storage.size() * sizeof(InputRecord));
    return storage;
}

void check(const char* data, std::size_t size, std::int32_t slots) {
    std::vector<InputRecord> storage = fresh_table(slots);
    const ScanResult r = scan_records(std::span<const char>(data, size), {storage.data(), slots});

    require(r.entries >= 0 && r.entries <= slots - 1,
            "stored no more entries than the table holds");
    switch (r.end) {
        case ScanEnd::loaded:
            break;
        case ScanEnd::malformed:
            require(r.malformed_total >= 1, "a malformed entry is counted");
            require(r.told[0].entry == r.entries + 1,
                    "the first malformed entry is the one after the last stored");
            for (std::size_t i = 0; i < r.told.size() && std::int64_t(i) < r.malformed_total; ++i) {
                const Malformed& m = r.told[i];
                require(i == 0 || (m.entry > r.told[i - 1].entry && m.line > r.told[i - 1].line),
                        "each malformed entry told comes on a later line than the one before");
                require(m.line >= 1 && m.column >= 1, "a position in the input");
                require(m.column - 1 <= static_cast<std::int64_t>(size),
                        "the position lies inside the input");
                require(m.found_size >= 0 && m.found_size <= 4, "at most four bytes found");
                require(m.shown_size >= 0 && m.shown_from >= 0 && m.shown_from < m.column,
                        "the line shown holds the column");
            }
            break;
        case ScanEnd::not_text:
            require(r.entries == 0, "a file that is not text is told by its first bytes");
            break;
        case ScanEnd::too_many:
            require(r.entries == slots - 1, "too many entries only once the table is full");
            break;
        case ScanEnd::utf16:
            require(r.entries == 0 && size >= 2, "UTF-16 is told by the first two bytes");
            break;
        case ScanEnd::utf32:
            require(r.entries == 0 && size >= 4, "UTF-32 is told by the first four bytes");
            break;
        case ScanEnd::unreadable:
        case ScanEnd::read_error:
            require(false, "a buffer cannot fail to be read");
    }
    require(unset(storage[0]), "slot 0 untouched");
    for (std::int32_t k = 1; k <= r.entries; ++k) {
        require(storage[static_cast<std::size_t>(k)].seq == k,
                "each stored slot holds its own number");
    }
    for (std::size_t k = static_cast<std::size_t>(r.entries) + 1; k < storage.size(); ++k) {
        require(unset(storage[k]), "no slot past the last entry touched");
    }

    if (size == 0) return;  // a stream over nothing cannot be made in memory
    std::vector<char> copy(data, data + size);
    std::FILE* stream = fmemopen(copy.data(), copy.size(), "r");
    require(stream != nullptr, "a stream over the input");
    std::vector<InputRecord> streamed = fresh_table(slots);
    char window[SCAN_MIN_BUFFER + 3];
    const ScanResult s = scan_records(stream, window, {streamed.data(), slots});
    require(s.end == r.end && s.entries == r.entries && s.told == r.told &&
                s.malformed_total == r.malformed_total && s.untold_line == r.untold_line &&
                s.also_more_than == r.also_more_than,
            "a stream read in small windows ends as the buffer does, its lines shown alike");
    std::FILE* out = std::fopen("/dev/null", "w");
    require(out != nullptr, "somewhere to write the report");
    report_scan_failure(out, "NSuica.in", s);
    std::fclose(out);
    std::fclose(stream);
    require(std::memcmp(streamed.data(), storage.data(), storage.size() * sizeof(InputRecord)) == 0,
            "a stream read in small windows stores what the buffer does");

    // A listener is told every fault: the first ones as the result keeps them, and the entry
    // past the table's capacity once, where the scan without one stops or counts it.
    struct Heard {
        std::vector<Malformed> malformed;
        int beyond = 0;
    } heard;
    const FaultListener listener{
        .context = &heard,
        .malformed = [](void* h,
                        const Malformed& m) { static_cast<Heard*>(h)->malformed.push_back(m); },
        .beyond =
            [](void* h, std::int64_t line, std::int64_t column) {
                require(line >= 1 && column >= 1, "the entry past the capacity has a place");
                ++static_cast<Heard*>(h)->beyond;
            }};
    std::vector<InputRecord> listened = fresh_table(slots);
    const ScanResult l =
        scan_records(std::span<const char>(data, size), {listened.data(), slots}, &listener);
    require(l.end == r.end || r.end == ScanEnd::too_many, "a listener changes no other ending");
    require(
        std::ssize(heard.malformed) == l.malformed_total && l.malformed_total >= r.malformed_total,
        "the listener is told each malformed entry counted");
    for (std::size_t i = 0; std::int64_t(i) < r.malformed_total && i < r.told.size(); ++i)
        require(heard.malformed[i] == r.told[i], "the first ones as the result tells them");
    require(heard.beyond == (r.end == ScanEnd::too_many || r.also_more_than > 0 ? 1 : 0),
            "the entry past the capacity is told once, where there is one");
    require(std::memcmp(listened.data(), storage.data(), storage.size() * sizeof(InputRecord)) == 0,
            "a listener changes nothing stored");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    check(text, size, RECORD_SLOTS);
    check(text, size, 4);  // a small table reaches the too-many path on small inputs
    return 0;
}
