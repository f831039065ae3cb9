// The scanner against the C library's own scan of the same pattern, on many generated files.
// Wherever the C library converts all eight numbers, all of them in range, the scanner must
// store exactly that record; wherever it converts fewer, the scanner must report that entry.
// Out-of-range numbers are undefined for the C library; there the scanner must report the
// entry that holds one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/temporary_file.hpp"
#include "records/scanner.hpp"

namespace {

using Fields = std::array<std::int32_t, 10>;

struct Generator {
    std::mt19937 rng;
    double fault = 0;  // how often this file breaks a rule, at each place it could

    bool chance(double p) { return std::bernoulli_distribution(p)(rng); }
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    }

    std::string space(std::size_t most) {
        static constexpr char kSpace[] = " \t\n\v\f\r";
        std::string s;
        for (std::size_t n = pick(most + 1); n > 0; --n)
            s += kSpace[pick(6)];
        return s;
    }

    std::string number() {
        static const char* const kEdges[] = {"2147483647",
                                             "-2147483648",
                                             "0",
                                             "-0",
                                             "+0",
                                             "+2147483647",
                                             "0002147483647",
                                             "-0002147483648",
                                             "00000000000000000000000000007"};
        if (chance(0.1)) return kEdges[pick(std::size(kEdges))];
        static const char* const kBeyond[] = {"2147483648",           "-2147483649",
                                              "4294967296",           "-4294967297",
                                              "+2147483648",          "00002147483648",
                                              "99999999999999999999", "-9223372036854775809",
                                              "18446744073709551621", "-18446744073709551617"};
        if (chance(fault)) return kBeyond[pick(std::size(kBeyond))];
        static const char* const kBroken[] = {"- 5", "+-5", "--5", "x", "", "5x", "0x1A", "+", "-"};
        if (chance(fault)) return kBroken[pick(std::size(kBroken))];
        std::string n;
        if (chance(0.3)) {
            n += '-';
        } else if (chance(0.1)) {
            n += '+';
        }
        n.append(chance(0.1) ? pick(4) : 0, '0');
        n.append(std::to_string(pick(chance(0.5) ? 10 : 100000)));
        return n;
    }

    std::string separator(char right) {
        // Whitespace before a separator does not match; nor does a wrong one.
        std::string s = chance(fault) ? space(2) + " " : "";
        static constexpr char kWrong[] = ",-;. x\n";
        s += chance(fault) ? kWrong[pick(7)] : right;
        return s;
    }

    std::string entry() {
        static constexpr char kSeparator[] = {',', '-', ',', '-', ',', ',', '-'};
        std::string e;
        for (std::size_t i = 0; i < 8; ++i) {
            if (chance(0.3)) e += space(3);
            e += number();
            if (i < 7) e += separator(kSeparator[i]);
            if (i == 0 && chance(0.7)) e += " ";
        }
        return e;
    }

    std::string file() {
        fault = chance(0.5) ? 0.0 : 0.01;
        std::string f = chance(0.1) ? space(4) : "";
        for (std::size_t n = pick(12) + 1; n > 0; --n) {
            f += entry();
            static const char* const kBetween[] = {"\n",   "\n",     "\n", " ",
                                                   "\r\n", "\n\n\n", "\t", ""};
            f += kBetween[pick(std::size(kBetween))];
        }
        if (chance(0.1)) f += space(5);
        if (chance(0.1)) f.resize(pick(f.size() + 1));  // cut short anywhere
        return f;
    }
};

bool only_space(const std::string& s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i) {
        if (std::strchr(" \t\n\v\f\r", s[i]) == nullptr || s[i] == '\0') return false;
    }
    return true;
}

// True when a number in this entry, which "%d" matched eight times, lies outside the 32-bit
// range. The C library reads the same entry again with 64-bit conversions, which it defines
// to saturate, so every value beyond 32 bits stays beyond them.
bool out_of_range(const std::string& entry) {
    std::array<long long, 8> v{};
    // NOLINTNEXTLINE(cert-err34-c): the C library's own conversion is what is compared against
    const int n = std::sscanf(entry.c_str(), "%lld, %lld-%lld,%lld-%lld,%lld,%lld-%lld", v.data(),
                              &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7]);
    EXPECT_EQ(n, 8) << entry;
    return std::any_of(v.begin(), v.end(),
                       [](long long x) { return x < INT32_MIN || x > INT32_MAX; });
}

struct Expected {
    ScanEnd end;
    std::vector<Fields> records;  // records[k - 1] is slot k
    std::int32_t entry;
};

// What the C library's scan makes of `text`, read from `file`.
Expected oracle(std::FILE* file, const std::string& text) {
    Expected want{ScanEnd::loaded, {}, 0};
    std::rewind(file);
    for (std::int32_t k = 1;; ++k) {
        const long before = std::ftell(file);
        std::array<int, 8> v{};
        // NOLINTNEXTLINE(cert-err34-c): the C library's own scan is the reference
        const int n = std::fscanf(file, "%d, %d-%d,%d-%d,%d,%d-%d", v.data(), &v[1], &v[2], &v[3],
                                  &v[4], &v[5], &v[6], &v[7]);
        const long after = std::ftell(file);
        const auto from = static_cast<std::size_t>(before);
        if (n == EOF && only_space(text, from)) return want;
        if (n != 8 || out_of_range(text.substr(from, static_cast<std::size_t>(after - before)))) {
            want.end = ScanEnd::malformed;
            want.entry = k;
            return want;
        }
        const auto diff = static_cast<std::int32_t>(static_cast<std::int64_t>(v[2]) - v[1]);
        want.records.push_back({k, v[0], v[1], v[2], diff, v[3], v[4], v[5], v[6], v[7]});
    }
}

void expect_same(const ScanResult& got, const std::vector<InputRecord>& table, const Expected& want,
                 const std::string& why) {
    ASSERT_EQ(got.end, want.end) << why;
    ASSERT_EQ(got.entries, static_cast<std::int32_t>(want.records.size())) << why;
    if (want.end == ScanEnd::malformed) {
        ASSERT_EQ(got.told[0].entry, want.entry) << why;
    }
    InputRecord unset{};
    std::memset(&unset, 0x5A, sizeof unset);
    ASSERT_EQ(std::memcmp(table.data(), &unset, sizeof unset), 0) << why;
    for (std::size_t k = 1; k <= want.records.size(); ++k) {
        const InputRecord& r = table[k];
        const Fields fields{r.seq,     r.item1,   r.item2_a, r.item2_b, r.item2_diff,
                            r.item3_a, r.item3_b, r.item4,   r.item5_a, r.item5_b};
        ASSERT_EQ(fields, want.records[k - 1]) << why << "\nslot " << k;
    }
    ASSERT_EQ(std::memcmp(&table[want.records.size() + 1], &unset, sizeof unset), 0) << why;
}

TEST(ScannerAgainstTheCLibrary, AgreesOnEveryGeneratedFile) {
    constexpr int kFiles = 20000;
    // NOLINTNEXTLINE(cert-msc32-c,cert-msc51-cpp): a fixed seed makes a failure reproducible
    Generator gen{std::mt19937(20261208)};
    int malformed = 0;
    int records = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string text = gen.file();
        std::FILE* file = temporary_file();
        ASSERT_NE(file, nullptr);
        std::fwrite(text.data(), 1, text.size(), file);
        const Expected want = oracle(file, text);
        malformed += want.end == ScanEnd::malformed ? 1 : 0;
        records += static_cast<int>(want.records.size());
        const std::string why = "file " + std::to_string(i) + ":\n" + text;

        std::vector<InputRecord> table(RECORD_SLOTS);
        std::memset(table.data(), 0x5A, table.size() * sizeof(InputRecord));
        const ScanResult from_text = scan_records(std::span<const char>(text.data(), text.size()),
                                                  {table.data(), RECORD_SLOTS});
        expect_same(from_text, table, want, why);

        // The same file through a stream, in windows of a width that varies from file to file.
        std::rewind(file);
        std::memset(table.data(), 0x5A, table.size() * sizeof(InputRecord));
        std::vector<char> window(SCAN_MIN_BUFFER + gen.pick(40));
        const ScanResult from_stream = scan_records(file, window, {table.data(), RECORD_SLOTS});
        std::fclose(file);
        expect_same(from_stream, table, want,
                    why + "\nthrough a window of " + std::to_string(window.size()));
        if (HasFailure()) break;  // one disagreement, shown whole, says more than thousands
    }
    // The generator must produce both kinds in quantity, or the comparison proves little.
    EXPECT_GT(malformed, kFiles / 10);
    EXPECT_LT(malformed, kFiles * 9 / 10);
    std::printf("%d files, %d records stored, %d files with a malformed entry\n", kFiles, records,
                malformed);
}

}  // namespace
