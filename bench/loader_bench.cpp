// The loader against the loop a C programmer would write with fscanf, on the same file, both
// storing the same records. Prints nanoseconds per entry for each and their ratio.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "records/scanner.hpp"

namespace {

const char* const kExample = NSUICA_EXAMPLE;

// The loader's own size of read; the whole example fits in one.
std::array<char, std::size_t{32} * 1024> g_buffer;

std::int32_t load_with_scanner(std::vector<InputRecord>& table) {
    std::FILE* file = std::fopen(kExample, "rb");
    if (file == nullptr) std::abort();
    std::setvbuf(file, nullptr, _IONBF, 0);
    const ScanResult r = scan_records(file, g_buffer, {table.data(), RECORD_SLOTS});
    std::fclose(file);
    return r.end == ScanEnd::loaded ? r.entries : -1;
}

// The reference: the C library's scan of the same pattern, one entry a call.
std::int32_t fscanf_entries(std::FILE* file, std::vector<InputRecord>& table) {
    std::int32_t k = 1;
    for (; k < RECORD_SLOTS; ++k) {
        InputRecord& r = table[static_cast<std::size_t>(k)];
        // NOLINTNEXTLINE(cert-err34-c): this is the C library's scan being measured
        if (std::fscanf(file, "%d, %d-%d,%d-%d,%d,%d-%d", &r.item1, &r.item2_a, &r.item2_b,
                        &r.item3_a, &r.item3_b, &r.item4, &r.item5_a, &r.item5_b) != 8) {
            break;
        }
        r.seq = k;
        r.item2_diff = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.item2_b) -
                                                 static_cast<std::uint32_t>(r.item2_a));
    }
    return k - 1;
}

std::int32_t load_with_fscanf(std::vector<InputRecord>& table) {
    std::FILE* file = std::fopen(kExample, "rb");
    if (file == nullptr) std::abort();
    const std::int32_t n = fscanf_entries(file, table);
    std::fclose(file);
    return n;
}

// The floor under any loader: opening the file, reading it whole and closing it.
std::int32_t open_read_close(std::vector<InputRecord>& table) {
    std::FILE* file = std::fopen(kExample, "rb");
    if (file == nullptr) std::abort();
    std::setvbuf(file, nullptr, _IONBF, 0);
    const std::size_t got = std::fread(g_buffer.data(), 1, g_buffer.size(), file);
    std::fclose(file);
    table[1].seq = static_cast<std::int32_t>(got);
    return table[1].seq;
}

// The same two, on the file's text already in memory: the scan alone, without the system.
std::string g_text;

std::int32_t scan_in_memory(std::vector<InputRecord>& table) {
    const ScanResult r = scan_records(g_text, {table.data(), RECORD_SLOTS});
    return r.end == ScanEnd::loaded ? r.entries : -1;
}

std::int32_t fscanf_in_memory(std::vector<InputRecord>& table) {
    std::FILE* file = fmemopen(g_text.data(), g_text.size(), "r");
    if (file == nullptr) std::abort();
    const std::int32_t n = fscanf_entries(file, table);
    std::fclose(file);
    return n;
}

std::int32_t g_entries = 0;

template <std::int32_t (*Load)(std::vector<InputRecord>&)>
void run(benchmark::State& state) {
    std::vector<InputRecord> table(RECORD_SLOTS);
    for (auto _ : state) {
        benchmark::DoNotOptimize(Load(table));
        benchmark::ClobberMemory();
    }
    state.counters["ns_per_entry"] = benchmark::Counter(
        static_cast<double>(g_entries),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(run<load_with_scanner>)->Name("loader");
BENCHMARK(run<load_with_fscanf>)->Name("fscanf_loop");
BENCHMARK(run<open_read_close>)->Name("open_read_close");
BENCHMARK(run<scan_in_memory>)->Name("loader_in_memory");
BENCHMARK(run<fscanf_in_memory>)->Name("fscanf_loop_in_memory");

// Both must store the same records, or the comparison means nothing.
void check_same_records() {
    std::FILE* file = std::fopen(kExample, "rb");
    if (file == nullptr) std::abort();
    std::array<char, 4096> chunk{};
    for (std::size_t got = 0; (got = std::fread(chunk.data(), 1, chunk.size(), file)) > 0;) {
        g_text.append(chunk.data(), got);
    }
    std::fclose(file);

    std::vector<InputRecord> ours(RECORD_SLOTS);
    std::vector<InputRecord> theirs(RECORD_SLOTS);
    g_entries = load_with_scanner(ours);
    const std::int32_t reference = load_with_fscanf(theirs);
    if (g_entries <= 0 || g_entries != reference ||
        std::memcmp(&ours[1], &theirs[1],
                    static_cast<std::size_t>(g_entries) * sizeof(InputRecord)) != 0) {
        std::fprintf(stderr, "the loader and the fscanf loop disagree on %s\n", kExample);
        std::exit(1);
    }
}

}  // namespace

int main(int argc, char** argv) {
    check_same_records();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
