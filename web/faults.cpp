// The page's second entry point, beside `main`: every fault of the input, for its editor to
// mark. The page calls it before the program runs on the same file; it writes nothing to
// standard output, so the program's own output stays the native program's. The link exports
// it (cmake/web.cmake).

#include <array>
#include <cinttypes>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "records/records.hpp"
#include "records/report.hpp"
#include "records/scanner.hpp"

namespace {

constexpr const char* INPUT_FILE = "NSuica.in";
constexpr const char* LIST_FILE = "/faltas";
constexpr std::size_t kReadChunk = std::size_t{32} * 1024;  // as the loader reads

// One line a fault, in file order: its line, a tab, its column (in bytes, both from 1), a tab,
// and the words that the program's report starts with for it; where a swap mends it for
// certain, a tab, the code of the character to swap in hexadecimal, a tab and the one to put in
// its place.
void list_malformed(void* list, const Malformed& m) {
    auto* out = static_cast<std::FILE*>(list);
    std::fprintf(out, "%" PRId64 "\t%" PRId64 "\t", m.line, m.column);
    report_malformed_headline(out, INPUT_FILE, m);
    if (const Swap swap = certain_swap(m); swap.from != 0)
        std::fprintf(out, "\t%04" PRIX32 "\t%c", swap.from, swap.to);
    std::fputc('\n', out);
}

void list_beyond(void* list, std::int64_t line, std::int64_t column) {
    auto* out = static_cast<std::FILE*>(list);
    std::fprintf(out, "%" PRId64 "\t%" PRId64 "\t", line, column);
    report_too_many(out, INPUT_FILE, RECORD_SLOTS - 1);
}

}  // namespace

// Lists every fault of NSuica.in, in the current folder, into /faltas. Returns 1 when
// the input is text that an editor can show, 0 when the program takes it for something else
// (UTF-16, UTF-32, a document), -1 when either file cannot be opened.
extern "C" int nsuica_faults() {
    std::FILE* in = std::fopen(INPUT_FILE, "rb");
    if (in == nullptr) return -1;
    std::FILE* out = std::fopen(LIST_FILE, "wb");
    if (out == nullptr) {
        std::fclose(in);
        return -1;
    }
    static std::array<char, kReadChunk> buffer;
    static std::array<InputRecord, RECORD_SLOTS> slots;
    const FaultListener listener{
        .context = out, .malformed = list_malformed, .beyond = list_beyond};
    const ScanResult r =
        scan_records(in, buffer, RecordTable{slots.data(), RECORD_SLOTS}, &listener);
    std::fclose(in);
    std::fclose(out);
    const bool other =
        r.end == ScanEnd::utf16 || r.end == ScanEnd::utf32 || r.end == ScanEnd::not_text;
    return other ? 0 : 1;
}
