#include "records/records.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "records/scanner.hpp"

namespace {

// Guard slots past the table's end catch any write beyond it.
constexpr std::int32_t kGuardSlots = 2;

// A table whose slots all start as a recognisable pattern, so a write anywhere shows.
struct Table {
    std::vector<InputRecord> storage;
    RecordTable view;

    explicit Table(std::int32_t slots)
        : storage(static_cast<std::size_t>(slots + kGuardSlots)), view{nullptr, slots} {
        std::memset(storage.data(), 0x5A, storage.size() * sizeof(InputRecord));
        view.slot = storage.data();
    }
    bool untouched(std::int32_t k) const {
        InputRecord pattern{};
        std::memset(&pattern, 0x5A, sizeof pattern);
        return std::memcmp(&storage[static_cast<std::size_t>(k)], &pattern, sizeof pattern) == 0;
    }
};

using Fields = std::array<std::int32_t, 10>;

Fields fields_of(const InputRecord& r) {
    return {r.seq,     r.item1,   r.item2_a, r.item2_b, r.item2_diff,
            r.item3_a, r.item3_b, r.item4,   r.item5_a, r.item5_b};
}

ScanResult scan_text(const std::string& text, const Table& table) {
    // The view points into the table's storage: the scan writes there, not into `table`.
    return scan_records(std::span<const char>(text.data(), text.size()), table.view);
}

// The number of entries, what comes after them, and the table the scan ends with.
void expect_loaded(const ScanResult& r, std::int32_t entries, const Table& t,
                   const std::string& why) {
    EXPECT_EQ(r.end, ScanEnd::loaded) << why;
    EXPECT_EQ(r.entries, entries) << why;
    EXPECT_TRUE(t.untouched(0)) << why;
    for (std::int32_t k = entries + 1; k < t.view.slots + kGuardSlots; ++k) {
        EXPECT_TRUE(t.untouched(k)) << why << ": slot " << k;
    }
}

TEST(Scanner, StoresTheFieldsInTableOrderWithTheSlotNumber) {
    Table t(RECORD_SLOTS);
    const ScanResult r = scan_text("7, 10-25,3-4,12,100-140\n-1, 9-4,2--3,-0,+5--6\n", t);
    expect_loaded(r, 2, t, "two entries");
    EXPECT_EQ(fields_of(t.storage[1]), (Fields{1, 7, 10, 25, 15, 3, 4, 12, 100, 140}));
    EXPECT_EQ(fields_of(t.storage[2]), (Fields{2, -1, 9, 4, -5, 2, -3, 0, 5, -6}));
}

TEST(Scanner, AcceptsEveryAllowedSpacingAndSpelling) {
    const char* const kSpellings[] = {
        "7, 10-25,3-4,12,100-140",
        "7, 10-25,3-4,12,100-140\n",
        "7,10-25,3-4,12,100-140",
        "7,     10-25,3-4,12,100-140",
        "\n\n  7, 10-25,3-4,12,100-140\n\n\n",
        "7,\n10-\n25,\n3-\n4,\n12,\n100-\n140",
        "\t7,\t10- 25,\r\n3-\v4,\f12, 100-  140\r\n",
        "+7, +10-+25,+3-+4,+12,+100-+140",
        "0007, 0010-025,03-4,000000000000000012,100-0140",
    };
    for (const char* text : kSpellings) {
        Table t(RECORD_SLOTS);
        const ScanResult r = scan_text(text, t);
        expect_loaded(r, 1, t, text);
        EXPECT_EQ(fields_of(t.storage[1]), (Fields{1, 7, 10, 25, 15, 3, 4, 12, 100, 140})) << text;
    }
}

TEST(Scanner, ComputesTheDifferenceWithWrapping) {
    struct Case {
        const char* pair;
        std::int32_t a, b, diff;
    };
    const Case kCases[] = {
        {"9-4", 9, 4, -5},
        {"4-9", 4, 9, 5},
        {"5--3", 5, -3, -8},
        {"-2147483648-2147483647", INT32_MIN, INT32_MAX, -1},
        {"2147483647--2147483648", INT32_MAX, INT32_MIN, 1},
        {"-1-2147483647", -1, INT32_MAX, INT32_MIN},
    };
    for (const Case& c : kCases) {
        Table t(RECORD_SLOTS);
        const std::string text = std::string("1, ") + c.pair + ",2-3,4,5-6";
        expect_loaded(scan_text(text, t), 1, t, text);
        EXPECT_EQ(t.storage[1].item2_a, c.a) << text;
        EXPECT_EQ(t.storage[1].item2_b, c.b) << text;
        EXPECT_EQ(t.storage[1].item2_diff, c.diff) << text;
    }
}

TEST(Scanner, DelimitsEntriesByThePatternNotByLines) {
    struct Case {
        const char* text;
        std::int32_t entries;
    };
    const Case kCases[] = {
        {"", 0},
        {" \t\r\n\v\f \n\n", 0},
        {"1, 2-3,4-5,6,7-8 1, 2-3,4-5,6,7-8", 2},
        {"1, 2-3,4-5,6,7-8\n\n\n\n1, 2-3,4-5,6,7-8\n", 2},
        {"1, 2-3,4-5,6,7-8\n1, 2-3,4-5,6,7-8\n1, 2-3,4-5,6,7-8", 3},
        {"1, 2-3,4-5,6,7-8\n1, 2-3,4-5,6,7-8\n1, 2-3,4-5,6,7-8\n", 3},
        {"1,\n2-3,4-5,6,7-8 1, 2-3,4-5,\n6,7-8", 2},
    };
    for (const Case& c : kCases) {
        Table t(RECORD_SLOTS);
        expect_loaded(scan_text(c.text, t), c.entries, t, c.text);
        for (std::int32_t k = 1; k <= c.entries; ++k) {
            EXPECT_EQ(fields_of(t.storage[static_cast<std::size_t>(k)]),
                      (Fields{k, 1, 2, 3, 1, 4, 5, 6, 7, 8}))
                << c.text;
        }
    }
}

using namespace std::string_view_literals;

struct Malformed {
    std::string_view text;
    std::int32_t entry;
    std::int64_t line;
};

const Malformed kMalformed[] = {
    {"1 , 2-3,4-5,6,7-8"sv, 1, 1},                           // whitespace before a separator
    {"1, 2 -3,4-5,6,7-8"sv, 1, 1},                           //   ... before a hyphen
    {"1, 2-3,4-5,6,7-8\n8 , 1-2,3-4,5,6-7"sv, 2, 2},         //   ... in a later entry
    {"1; 2-3,4-5,6,7-8"sv, 1, 1},                            // a wrong separator
    {"1, 2,3,4-5,6,7-8"sv, 1, 1},                            //   ... a comma for a hyphen
    {"1, 2-3-4-5,6,7-8"sv, 1, 1},                            //   ... a hyphen for a comma
    {"1,, 2-3,4-5,6,7-8"sv, 1, 1},                           // a separator twice
    {"1, 2-3,4-5,6,7-x"sv, 1, 1},                            // a letter
    {"x"sv, 1, 1},                                           //   ... as the whole file
    {"1, 2-3,4-5,6,7-8\n\n\n  x"sv, 2, 4},                   //   ... after blank lines
    {"- 1, 2-3,4-5,6,7-8"sv, 1, 1},                          // a sign apart from its digits
    {"+-1, 2-3,4-5,6,7-8"sv, 1, 1},                          // two signs
    {"1, 2-3,4-5,6,7-"sv, 1, 1},                             // cut short by the end of the file
    {"1, 2-3,4-5,6"sv, 1, 1},                                //   ... earlier
    {"\n\n1,\n2-3,4-5,6,7"sv, 1, 3},                         //   ... over several lines
    {"1, 2-3,4-5,6,7-8-9"sv, 2, 1},                          // a ninth number starts an entry
    {"1, 2-3,4-5,6,7-8,"sv, 2, 1},                           // a separator after the eighth
    {"2147483648, 1-2,3-4,5,6-7"sv, 1, 1},                   // out of range, just above
    {"1, -2147483649-2,3-4,5,6-7"sv, 1, 1},                  //   ... just below
    {"1, 2-3,4-5,6,7-99999999999999999999"sv, 1, 1},         //   ... far above
    {"1, 2-3,4-5,6,7-18446744073709551621\n"sv, 1, 1},       //   ... 2^64 + 5, which wraps to 5
    {"1, -18446744073709551617-3,4-5,6,7-8\n"sv, 1, 1},      //   ... -(2^64 + 1)
    {"1, 2-3,4-5,6,7-8\r\n\r\n9, 2-3,4\0-5,6,7-8"sv, 2, 3},  // a NUL byte, lines ended by CR LF
};

TEST(Scanner, ReportsTheFirstMalformedEntryWithItsLineAndStopsThere) {
    for (const Malformed& c : kMalformed) {
        Table t(RECORD_SLOTS);
        const ScanResult r = scan_text(std::string(c.text), t);
        EXPECT_EQ(r.end, ScanEnd::malformed) << c.text;
        EXPECT_EQ(r.entry, c.entry) << c.text;
        EXPECT_EQ(r.line, c.line) << c.text;
        EXPECT_EQ(r.entries, c.entry - 1) << c.text;
        EXPECT_TRUE(t.untouched(0)) << c.text;
        EXPECT_TRUE(t.untouched(c.entry)) << c.text;
    }
}

// Whitespace is skipped a word at a time; a byte that only looks like whitespace in its low
// bits, or a sentinel-like NUL, must stop the run wherever it falls in a word, and every line
// break must be counted.
TEST(Scanner, LongRunsOfWhitespaceStopAtTheFirstOtherByte) {
    const std::string kSpaces = " \t\n\v\f\r";
    const std::string kStoppers("\x89\xa0\x8a\x8d\x00\x08\x0e\x1f!x:/", 12);
    for (std::size_t length = 0; length < 40; ++length) {
        std::string run;
        std::int64_t breaks = 0;
        for (std::size_t i = 0; i < length; ++i) {
            run += kSpaces[(i * 7 + length) % kSpaces.size()];
            breaks += run.back() == '\n' ? 1 : 0;
        }
        for (const char stopper : kStoppers) {
            // Whitespace after the stopper too: a stopper taken for whitespace would be passed
            // over with the line breaks that follow it.
            const std::string text = "1, 2-3,4-5,6,7-8" + run + stopper + "\n\n\n\n\n\n\n\n\n1";
            Table t(RECORD_SLOTS);
            const ScanResult r = scan_text(text, t);
            const std::string why = std::to_string(length) + " then byte " +
                                    std::to_string(static_cast<unsigned char>(stopper));
            EXPECT_EQ(r.end, ScanEnd::malformed) << why;
            EXPECT_EQ(r.entry, 2) << why;
            EXPECT_EQ(r.line, 1 + breaks) << why;
        }
    }
}

TEST(Scanner, CountsEveryLineBreakOfAVeryLongRun) {
    const std::string text = "1, 2-3,4-5,6,7-8" + std::string(70000, '\n') + "x";
    std::vector<char> copy(text.begin(), text.end());
    for (const std::size_t room : {std::size_t{0}, std::size_t{65536}}) {
        Table t(RECORD_SLOTS);
        ScanResult r{};
        if (room == 0) {
            r = scan_text(text, t);
        } else {
            std::FILE* stream = fmemopen(copy.data(), copy.size(), "r");
            ASSERT_NE(stream, nullptr);
            std::vector<char> window(SCAN_RESERVED + room);
            r = scan_records(stream, window, t.view);
            std::fclose(stream);
        }
        EXPECT_EQ(r.end, ScanEnd::malformed) << room;
        EXPECT_EQ(r.entry, 2) << room;
        EXPECT_EQ(r.line, 70001) << room;
    }
}

std::string entries(std::int32_t n) {
    std::string text;
    for (std::int32_t k = 1; k <= n; ++k)
        text += std::to_string(k) + ", 1-2,3-4,5,6-7\n";
    return text;
}

TEST(Scanner, FillsTheTableToItsLastSlotAndNoFurther) {
    struct Case {
        std::int32_t slots;
        std::string text;
        ScanEnd end;
        std::int32_t entries;
    };
    const Case kCases[] = {
        {RECORD_SLOTS, entries(733), ScanEnd::loaded, 733},
        {RECORD_SLOTS, entries(733) + "\n \t\n", ScanEnd::loaded, 733},
        {RECORD_SLOTS, entries(734), ScanEnd::too_many, 733},
        {RECORD_SLOTS, entries(733) + "x", ScanEnd::too_many, 733},
        {RECORD_SLOTS, entries(5000), ScanEnd::too_many, 733},
        {4, entries(3), ScanEnd::loaded, 3},
        {4, entries(4), ScanEnd::too_many, 3},
        {1, "", ScanEnd::loaded, 0},
        {1, entries(1), ScanEnd::too_many, 0},
    };
    for (const Case& c : kCases) {
        const std::string why =
            std::to_string(c.slots) + " slots, " + std::to_string(c.text.size()) + " bytes";
        Table t(c.slots);
        const ScanResult r = scan_text(c.text, t);
        EXPECT_EQ(r.end, c.end) << why;
        EXPECT_EQ(r.entries, c.entries) << why;
        EXPECT_TRUE(t.untouched(0)) << why;
        for (std::int32_t k = 1; k <= c.entries; ++k)
            ASSERT_EQ(t.storage[static_cast<std::size_t>(k)].item1, k) << why;
        for (std::int32_t k = c.entries + 1; k < c.slots + kGuardSlots; ++k)
            EXPECT_TRUE(t.untouched(k)) << why;
    }
}

// Every case above, read from a stream through windows of many widths, must end as the
// buffer scan ends and leave the same table: a window edge may fall anywhere in an entry.
TEST(Scanner, AStreamReadInAnyWindowMatchesTheBuffer) {
    std::vector<std::string> texts = {entries(733) + "junk", entries(3), "  \n\n", ""};
    std::transform(std::begin(kMalformed), std::end(kMalformed), std::back_inserter(texts),
                   [](const Malformed& c) { return std::string(c.text); });
    texts.emplace_back(
        "\t7,\t10- 25,\r\n3-\v4,\f12, 100-  140\r\n0007, 0010-025,03-4,12,-2147483648--0140");

    for (const std::string& text : texts) {
        Table expected(RECORD_SLOTS);
        const ScanResult want = scan_text(text, expected);
        for (const std::size_t room : {1U, 2U, 3U, 8U, 64U, 4096U}) {
            const std::size_t width = SCAN_RESERVED + room;
            std::vector<char> copy(text.begin(), text.end());
            std::FILE* stream = fmemopen(copy.data(), copy.size(), "r");
            if (copy.empty()) stream = std::fopen("/dev/null", "r");
            ASSERT_NE(stream, nullptr);
            std::vector<char> window(width);
            Table t(RECORD_SLOTS);
            const ScanResult got = scan_records(stream, window, t.view);
            std::fclose(stream);
            const std::string why = text.substr(0, 40) + " / width " + std::to_string(width);
            EXPECT_EQ(got.end, want.end) << why;
            EXPECT_EQ(got.entries, want.entries) << why;
            EXPECT_EQ(got.entry, want.entry) << why;
            EXPECT_EQ(got.line, want.line) << why;
            EXPECT_EQ(std::memcmp(t.storage.data(), expected.storage.data(),
                                  t.storage.size() * sizeof(InputRecord)),
                      0)
                << why;
        }
    }
}

// A stream that hands out its text and then fails instead of ending.
struct Failing {
    std::string text;
    std::size_t pos;
};

ssize_t failing_read(void* cookie, char* out, std::size_t size) {
    auto* f = static_cast<Failing*>(cookie);
    if (f->pos == f->text.size()) {
        errno = EIO;
        return -1;
    }
    const std::size_t n = std::min(size, f->text.size() - f->pos);
    std::copy_n(f->text.data() + f->pos, n, out);
    f->pos += n;
    return static_cast<ssize_t>(n);
}

TEST(Scanner, AFailedReadIsNeverTakenForTheEndOfTheFile) {
    struct Case {
        const char* text;
        ScanEnd end;
        std::int32_t entries;
    };
    const Case kCases[] = {
        {"", ScanEnd::unreadable, 0},
        {"1, 2-3,4-5,6,7-8\n", ScanEnd::read_error, 1},
        {"1, 2-3,4-5,6,7-8\n1, 2-3,4-", ScanEnd::read_error, 1},
        {"1, 2-3,4-5,6,7-8\n1, 2-3,4-5,6,7-8", ScanEnd::read_error, 1},
        {"   ", ScanEnd::read_error, 0},
    };
    for (const Case& c : kCases) {
        Failing source{c.text, 0};
        std::FILE* stream = fopencookie(&source, "r", {failing_read, nullptr, nullptr, nullptr});
        ASSERT_NE(stream, nullptr);
        std::array<char, SCAN_RESERVED + 8> window{};
        Table t(RECORD_SLOTS);
        const ScanResult r = scan_records(stream, window, t.view);
        std::fclose(stream);
        EXPECT_EQ(r.end, c.end) << c.text;
        EXPECT_EQ(r.entries, c.entries) << c.text;
        EXPECT_TRUE(t.untouched(c.entries + 1)) << c.text;
    }
}

TEST(Scanner, ABufferWithNoRoomReadsNothing) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, SCAN_RESERVED}) {
        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        std::fputs("1, 2-3,4-5,6,7-8\n", stream);
        std::rewind(stream);
        std::vector<char> buffer(size);
        Table t(RECORD_SLOTS);
        EXPECT_EQ(scan_records(stream, buffer, t.view).end, ScanEnd::unreadable) << size;
        EXPECT_TRUE(t.untouched(1)) << size;
        std::fclose(stream);
    }
}

TEST(Scanner, ADirectoryIsUnreadable) {
    std::FILE* stream = std::fopen(".", "r");
    if (stream == nullptr) GTEST_SKIP() << "this system does not open a directory as a stream";
    std::array<char, 64> window{};
    Table t(RECORD_SLOTS);
    EXPECT_EQ(scan_records(stream, window, t.view).end, ScanEnd::unreadable);
    std::fclose(stream);
}

TEST(LoadRecords, FillsTheTableFromAFile) {
    char path[] = "/tmp/nsuica-records-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = entries(733);
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);

    Table t(RECORD_SLOTS);
    load_records(path, t.view);
    std::remove(path);
    EXPECT_TRUE(t.untouched(0));
    for (std::int32_t k = 1; k <= 733; ++k) {
        ASSERT_EQ(fields_of(t.storage[static_cast<std::size_t>(k)]),
                  (Fields{k, k, 1, 2, 1, 3, 4, 5, 6, 7}));
    }
}

TEST(AllocateRecords, GivesTheRequestedSlots) {
    RecordTable table = allocate_records(RECORD_SLOTS);
    ASSERT_NE(table.slot, nullptr);
    EXPECT_EQ(table.slots, RECORD_SLOTS);
    std::memset(table.slot, 0, static_cast<std::size_t>(RECORD_SLOTS) * sizeof(InputRecord));
    std::free(table.slot);
}

}  // namespace
