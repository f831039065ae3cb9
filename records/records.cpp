#include "records/records.hpp"

#include <array>
#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "common/console.hpp"
#include "records/scanner.hpp"

namespace {

// Every fatal path of the records ends alike: the message is shown, the user gets to read it.
[[noreturn]] void fail_after_pause() {
    pause_for_key();
    std::exit(1);
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
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        std::printf("O Arquivo %s nao pode ser aberto.\n", path);
        fail_after_pause();
    }
    // The scan reads through a buffer of its own; one of the stream's would only be copied.
    std::setvbuf(file, nullptr, _IONBF, 0);
    static std::array<char, kReadChunk> buffer;
    const ScanResult result = scan_records(file, buffer, table);
    std::fclose(file);

    switch (result.end) {
        case ScanEnd::loaded:
            return;
        case ScanEnd::malformed:
            std::printf("A entrada %" PRId32 " do arquivo %s esta mal formada (linha %" PRId64
                        ").\n",
                        result.entry, path, result.line);
            break;
        case ScanEnd::too_many:
            std::printf("O Arquivo %s tem mais de %" PRId32 " entradas.\n", path, result.entries);
            break;
        case ScanEnd::unreadable:
            // Opening succeeded but nothing could be read (a directory, say): to the user the
            // file could not be opened.
            std::printf("O Arquivo %s nao pode ser aberto.\n", path);
            break;
        case ScanEnd::read_error:
            std::printf("O Arquivo %s nao pode ser lido.\n", path);
            break;
    }
    fail_after_pause();
}
