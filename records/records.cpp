#include "records/records.hpp"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "common/console.hpp"
#include "records/report.hpp"
#include "records/scanner.hpp"

namespace {

// Every fatal path of the records ends alike: the message is shown, the user gets to read it.
[[noreturn]] void fail_after_pause() {
    pause_for_key();
    end_after_failure();
}

// One read this size covers a whole file of 733 typical entries; a larger file streams
// through it.
constexpr std::size_t kReadChunk = std::size_t{32} * 1024;

}  // namespace

RecordTable allocate_records(std::int32_t count) {
    // A non-positive count still asks for one slot: never zero bytes, never a wrapped size.
    const std::size_t slots = count > 0 ? static_cast<std::size_t>(count) : 1;
    auto* slot = static_cast<InputRecord*>(std::malloc(slots * sizeof(InputRecord)));
    if (slot == nullptr) {
        // The "/n" is the message's own text, not a line break.
        std::fputs("Falta memoria para alocar o vetor de ponteiros/n", stdout);
        fail_after_pause();
    }
    return RecordTable{slot, count};
}

// cppcheck-suppress constParameter ; the table is filled through it, whatever cppcheck sees
void load_records(const char* path, RecordTable& table) {
    // Binary, so that a file reads the same everywhere: in Windows' text mode a Ctrl-Z anywhere
    // would end it, and "\r\n" would be folded before the scan could count columns.
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        const ScanResult cannot_open{.end = ScanEnd::unreadable, .error = errno};
        report_scan_failure(stdout, path, cannot_open);
        fail_after_pause();
    }
    // The scan reads through a buffer of its own; one of the stream's would only be copied.
    std::setvbuf(file, nullptr, _IONBF, 0);
    static std::array<char, kReadChunk> buffer;
    const ScanResult result = scan_records(file, buffer, table);
    if (result.end == ScanEnd::loaded) {
        std::fclose(file);
        return;
    }
    std::fclose(file);
    report_scan_failure(stdout, path, result);
    fail_after_pause();
}
