#include "records/records.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "common/temporary_file.hpp"
#include "records/report.hpp"
#include "records/scanner.hpp"

namespace {

#ifndef _WIN32
// The reports are read as a UTF-8 terminal shows them, as Windows writes them to a file: the
// same expectations hold on every system, whatever the locale of the one who runs the tests.
[[maybe_unused]] const int kUtf8Locale = setenv("LC_ALL", "C.UTF-8", 1);
#endif

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

std::FILE* file_holding(const std::string& text) {
    std::FILE* file = temporary_file();
    if (file == nullptr) return nullptr;
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    return file;
}

std::string contents(std::FILE* file) {
    std::string text;
    std::rewind(file);
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
        text += static_cast<char>(c);
    return text;
}

// Slot 0 and every slot past the first `entries` are as they were.
void expect_untouched_past(const Table& t, std::int32_t entries, const std::string& why) {
    EXPECT_TRUE(t.untouched(0)) << why;
    for (std::int32_t k = entries + 1; k < t.view.slots + kGuardSlots; ++k)
        ASSERT_TRUE(t.untouched(k)) << why << ": slot " << k;
}

void expect_loaded(const ScanResult& r, std::int32_t entries, const Table& t,
                   const std::string& why) {
    EXPECT_EQ(r.end, ScanEnd::loaded) << why;
    EXPECT_EQ(r.entries, entries) << why;
    expect_untouched_past(t, entries, why);
}

TEST(Scanner, StoresTheFieldsInTableOrderWithTheSlotNumber) {
    Table t(RECORD_SLOTS);
    const ScanResult r = scan_text("7, 10-25,3-4,12,100-140\n-1, 9-4,2--3,-0,+5--6\n", t);
    expect_loaded(r, 2, t, "two entries");
    EXPECT_EQ(fields_of(t.storage[1]), (Fields{1, 7, 10, 25, 15, 3, 4, 12, 100, 140}));
    EXPECT_EQ(fields_of(t.storage[2]), (Fields{2, -1, 9, 4, -5, 2, -3, 0, 5, -6}));
}

using namespace std::string_literals;
using namespace std::string_view_literals;

TEST(Scanner, AcceptsEveryAllowedSpacingAndSpelling) {
    const std::string_view kSpellings[] = {
        "7, 10-25,3-4,12,100-140"sv,
        "7,10-25,3-4,12,100-140\n"sv,
        "7,     10-25,3-4,12,100-140"sv,
        "\n\n  7, 10-25,3-4,12,100-140\n\n\n"sv,
        "7,\n10-\n25,\n3-\n4,\n12,\n100-\n140"sv,
        "\t7,\t10- 25,\r\n3-\v4,\f12, 100-  140\r\n"sv,
        "\r7,\r10-25,3-4,12,100-140\r"sv,
        "+7, +10-+25,+3-+4,+12,+100-+140"sv,
        "0007, 0010-025,03-4,000000000000000012,100-0140"sv,
        "\xEF\xBB\xBF"
        "7, 10-25,3-4,12,100-140\r\n"sv,                     // a UTF-8 byte-order mark
        "7, 10-25,3-4,12,100-140\x1A"sv,                     // Windows' end of file
        "7, 10-25,3-4,12,100-140\r\n\x1A\x1A \r\n\x1A\n"sv,  //   ... with whitespace
        "7, 10-25,3-4,12,100-140\x1A\n"sv,
    };
    for (const std::string_view text : kSpellings) {
        Table t(RECORD_SLOTS);
        const ScanResult r = scan_text(std::string(text), t);
        expect_loaded(r, 1, t, std::string(text));
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

std::string entries(std::int32_t n) {
    std::string text;
    for (std::int32_t k = 1; k <= n; ++k)
        text += std::to_string(k) + ", 1-2,3-4,5,6-7\n";
    return text;
}

TEST(Scanner, DelimitsEntriesByThePatternAndFillsTheTableToItsLastSlot) {
    struct Case {
        std::int32_t slots;
        std::string text;
        ScanEnd end;
        std::int32_t entries;
        std::int64_t listed = 0;  // malformed entries told to a listener, which goes on past
        std::array<std::int64_t, 2> beyond{};  // the capacity: where the entry past it starts
    };
    const Case kCases[] = {
        {RECORD_SLOTS, "", ScanEnd::loaded, 0},
        {RECORD_SLOTS, " \t\r\n\v\f \n\n", ScanEnd::loaded, 0},
        {RECORD_SLOTS, "1, 1-2,3-4,5,6-7 2, 1-2,3-4,5,6-7", ScanEnd::loaded, 2},
        {RECORD_SLOTS, "1, 1-2,3-4,5,6-7\n\n\n\n2, 1-2,3-4,5,6-7\n", ScanEnd::loaded, 2},
        {RECORD_SLOTS, "1,\n1-2,3-4,5,6-7 2, 1-2,3-4,\n5,6-7", ScanEnd::loaded, 2},
        {RECORD_SLOTS, entries(733), ScanEnd::loaded, 733},
        {RECORD_SLOTS, entries(733) + "\n \t\n", ScanEnd::loaded, 733},
        {RECORD_SLOTS, entries(734), ScanEnd::too_many, 733, 0, {734, 1}},
        {RECORD_SLOTS, entries(5000) + "x", ScanEnd::too_many, 733, 1, {734, 1}},
        {RECORD_SLOTS, entries(733) + "x", ScanEnd::malformed, 733, 1},
        {RECORD_SLOTS, entries(2) + "x\n x\n\nx\nx\n1;\nx\nx", ScanEnd::malformed, 2, 7},
        {4, entries(3), ScanEnd::loaded, 3},
        {4, entries(4), ScanEnd::too_many, 3, 0, {4, 1}},
        {4, entries(3) + " x\n" + entries(2), ScanEnd::malformed, 3, 1, {4, 2}},
        {1, entries(1), ScanEnd::too_many, 0, 0, {1, 1}},
    };
    for (const Case& c : kCases) {
        const std::string why = std::to_string(c.slots) + " slots, " + c.text.substr(0, 40) + "...";
        Table t(c.slots);
        const ScanResult r = scan_text(c.text, t);
        EXPECT_EQ(r.end, c.end) << why;
        EXPECT_EQ(r.entries, c.entries) << why;
        for (std::int32_t k = 1; k <= c.entries; ++k) {
            ASSERT_EQ(fields_of(t.storage[static_cast<std::size_t>(k)]),
                      (Fields{k, k, 1, 2, 1, 3, 4, 5, 6, 7}))
                << why;
        }
        expect_untouched_past(t, c.entries, why);

        struct Heard {
            std::int64_t malformed = 0;
            std::array<std::int64_t, 2> beyond{};
        } heard;
        const FaultListener listener{
            .context = &heard,
            .malformed = [](void* h, const Malformed&) { ++static_cast<Heard*>(h)->malformed; },
            .beyond =
                [](void* h, std::int64_t line, std::int64_t column) {
                    static_cast<Heard*>(h)->beyond = {line, column};
                }};
        const Table listened(c.slots);
        scan_records(std::span<const char>(c.text.data(), c.text.size()), listened.view, &listener);
        EXPECT_EQ(heard.malformed, c.listed) << why;
        EXPECT_EQ(heard.beyond, c.beyond) << why;
    }
}

// What the user is told about `text` as a file named NSuica.in, read through a small window so
// that its edges fall everywhere; the table must end as the scan says.
std::string report_of(const std::string& text) {
    std::FILE* input = file_holding(text);
    std::FILE* out = temporary_file();
    if (input == nullptr || out == nullptr) return "no temporary file";
    std::array<char, SCAN_MIN_BUFFER + 1> window{};
    Table t(RECORD_SLOTS);
    const ScanResult r = scan_records(input, window, t.view);
    report_scan_failure(out, "NSuica.in", r);
    std::string said = contents(out);
    std::fclose(out);
    std::fclose(input);
    expect_untouched_past(t, r.entries, text.substr(0, 40));
    if (r.end == ScanEnd::malformed) {
        EXPECT_EQ(r.told[0].entry, r.entries + 1) << text.substr(0, 40);
    }
    return said;
}

const std::string kEntry = "1, 2-3,4-5,6,7-8 ";

std::string times(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST(Report, NamesTheEntryLineColumnWhatWasExpectedAndWhatWasFound) {
    struct Case {
        std::string text;
        std::string said;
    };
    const std::string head = "A entrada 1 do arquivo NSuica.in esta mal formada (linha 1, coluna ";
    const std::string range = "numero fora do intervalo de -2147483648 a 2147483647.\n";
    const std::string long_line = times(kEntry, 10) + "x " + times(kEntry, 10);
    std::string exactly_shown = times(kEntry, 3) + "1, 2-3,4-5,6,7-x";
    exactly_shown.resize(76, 'y');
    std::string six_faults;
    for (const char k : {'1', '2', '3', '4', '5'}) {
        six_faults += "A entrada "s + k + " do arquivo NSuica.in esta mal formada (linha " + k +
                      ", coluna 1): esperava um numero, encontrou 'x'.\n  x\n  ^\n";
    }
    const std::string not_text = "O Arquivo NSuica.in nao e texto: e ";
    const std::string long_number = "1, 2-3,4-5,6,7-" + std::string(100, '0') + "99999999999";
    const std::string save =
        "; salve-o como texto, cada entrada como 7, 10-25,3-4,12,100-140 "
        "(com virgulas, nao ';').\n";
    const Case kCases[] = {
        {"1, 2-3,4-5,6,7-8\n  7 , 10-25,3-4,12,100-140\n",
         "A entrada 2 do arquivo NSuica.in esta mal formada (linha 2, coluna 4): esperava ',' "
         "logo depois do numero, encontrou um espaco.\n"
         "    7 , 10-25,3-4,12,100-140\n"
         "     ^\n"},
        {"1; 2-3,4-5,6,7-8", head + "2): esperava ',' logo depois do numero, encontrou ';'.\n"
                                    "  1; 2-3,4-5,6,7-8\n"
                                    "   ^\n"},
        {"1, 2-3-4-5,6,7-8", head + "7): esperava ',' logo depois do numero, encontrou '-'.\n"
                                    "  1, 2-3-4-5,6,7-8\n"
                                    "        ^\n"},
        {"1, 2-3,4-5,6,7-x", head + "16): esperava um numero, encontrou 'x'.\n"
                                    "  1, 2-3,4-5,6,7-x\n"
                                    "                 ^\n"},
        {"- 1, 2-3,4-5,6,7-8",
         head + "2): esperava um algarismo logo depois do sinal, encontrou um espaco.\n"
                "  - 1, 2-3,4-5,6,7-8\n"
                "   ^\n"},
        {"+-5, 2-3,4-5,6,7-8",
         head + "2): esperava um algarismo logo depois do sinal, encontrou '-'.\n"
                "  +-5, 2-3,4-5,6,7-8\n"
                "   ^\n"},
        {"02147483648, 2-3,4-5,6,7-8", head + "1): " + range +
                                           "  02147483648, 2-3,4-5,6,7-8\n"
                                           "  ^\n"},
        {"2147483648, 2-3,4-5,6,7-8", head + "1): " + range +
                                          "  2147483648, 2-3,4-5,6,7-8\n"
                                          "  ^\n"},
        {"1, 2-3,4--2147483649,6,7-8", head + "10): " + range +
                                           "  1, 2-3,4--2147483649,6,7-8\n"
                                           "           ^\n"},
        {"1, 2-3,4-5,6,7-1234567890123456789012345678901234567890\n",
         head + "16): " + range +
             "  1, 2-3,4-5,6,7-1234567890123456789012345678901234567890\n"
             "                 ^\n"},
        {"1, 2-3,4-5,6,7-8\n9, 2-\n",
         "A entrada 2 do arquivo NSuica.in esta mal formada (linha 2, coluna 6): esperava um "
         "numero, encontrou o fim do arquivo.\n"
         "  9, 2-\n"
         "       ^\n"},
        {"1, 2-3,4-5,6",
         head + "13): esperava ',' logo depois do numero, encontrou o fim do arquivo.\n"
                "  1, 2-3,4-5,6\n"
                "              ^\n"},
        {"1, 2-3,4-5,6,7--\x1A\r\n",
         head + "17): esperava um algarismo logo depois do sinal, encontrou o fim do arquivo.\n"
                "  1, 2-3,4-5,6,7--?\n"
                "                  ^\n"},
        {"1, 2-3,4-5,6,7-- 8",
         head + "17): esperava um algarismo logo depois do sinal, encontrou um espaco.\n"
                "  1, 2-3,4-5,6,7-- 8\n"
                "                  ^\n"},
        {"1, 2-3,4-5,6,7-8,",
         "A entrada 2 do arquivo NSuica.in esta mal formada (linha 1, coluna 17): esperava um "
         "numero, encontrou ','.\n"
         "  1, 2-3,4-5,6,7-8,\n"
         "                  ^\n"},
        {"1, 2-3,4-5,6,7-8-9",
         "A entrada 2 do arquivo NSuica.in esta mal formada (linha 1, coluna 19): esperava ',' "
         "logo depois do numero, encontrou o fim do arquivo.\n"
         "  1, 2-3,4-5,6,7-8-9\n"
         "                    ^\n"},
        {"1, 100-1.5,4-5,6,7-8", head + "9): esperava ',' logo depois do numero, encontrou '.'.\n"
                                        "  1, 100-1.5,4-5,6,7-8\n"
                                        "          ^\n"},
        {"1, 2-3,4-5,6,7\u22128",
         head + "15): esperava '-' logo depois do numero, encontrou o caractere U+2212 (sinal de "
                "menos, parecido com '-').\n"
                "  1, 2-3,4-5,6,7\u22128\n"
                "                ^\n"},
        {"1, 2-3,4-5,6,7\xF0\x9F\x98\x80",
         head + "15): esperava '-' logo depois do numero, encontrou o caractere U+1F600.\n"
                "  1, 2-3,4-5,6,7\xF0\x9F\x98\x80\n"
                "                ^\n"},
        {"1, 2-3,4\xC3(", head + "9): esperava '-' logo depois do numero, encontrou o byte 0xC3.\n"
                                 "  1, 2-3,4?(\n"
                                 "          ^\n"},
        {"1\xEF\xBC\x8C 2-3,4-5,6,7-8",  // a full-width comma, as East Asian keyboards type
         head + "2): esperava ',' logo depois do numero, encontrou o caractere U+FF0C (virgula de "
                "largura total, parecido com ',').\n"
                "  1\xEF\xBC\x8C 2-3,4-5,6,7-8\n"
                "   ^\n"},
        {"1, 2-3,4\xE0\xA0\x80",  // the least character that takes three bytes
         head + "9): esperava '-' logo depois do numero, encontrou o caractere U+0800.\n"
                "  1, 2-3,4\xE0\xA0\x80\n"
                "          ^\n"},
        {"1, 2-3,4\xED\xBF\xBF",  // the last UTF-16 surrogate, which UTF-8 may not hold
         head + "9): esperava '-' logo depois do numero, encontrou o byte 0xED.\n"
                "  1, 2-3,4???\n"
                "          ^\n"},
        {"1, 2-3,4\xED\xA0\x80",  //   ... the first of them
         head + "9): esperava '-' logo depois do numero, encontrou o byte 0xED.\n"
                "  1, 2-3,4???\n"
                "          ^\n"},
        {"1, 2-3,4\x90\x90\x80\x80",  // continuation bytes whose first byte was lost
         head + "9): esperava '-' logo depois do numero, encontrou o byte 0x90.\n"
                "  1, 2-3,4????\n"
                "          ^\n"},
        {std::string("1, 2-3,4\0-5,6,7-8", 17),
         head + "9): esperava '-' logo depois do numero, encontrou o byte 0x00.\n"
                "  1, 2-3,4?-5,6,7-8\n"
                "          ^\n"},
        {"1,\t2-3,4-5,6,7\t-8",
         head + "15): esperava '-' logo depois do numero, encontrou uma tabulacao.\n"
                "  1, 2-3,4-5,6,7 -8\n"
                "                ^\n"},
        // The next entry is looked for on the next line, even where this one went on there.
        {"1, 2-3,4-5,6,7\n-8",
         head + "15): esperava '-' logo depois do numero, encontrou o fim da linha.\n"
                "  1, 2-3,4-5,6,7\n"
                "                ^\n"
                "A entrada 2 do arquivo NSuica.in esta mal formada (linha 2, coluna 3): esperava "
                "',' logo depois do numero, encontrou o fim do arquivo.\n  -8\n    ^\n"},
        {"99999999999, 2-3\n1, 2-3,4-5,6,7-8\n1, 2-3\x1A \r\n1, 2-3,4-5,6,7-8 1;",
         head + "1): " + range + "  99999999999, 2-3\n  ^\n" +
             "A entrada 3 do arquivo NSuica.in esta mal formada (linha 3, coluna 7): esperava "
             "',' logo depois do numero, encontrou o byte 0x1A.\n  1, 2-3? \n        ^\n" +
             "A entrada 5 do arquivo NSuica.in esta mal formada (linha 4, coluna 19): esperava "
             "',' logo depois do numero, encontrou ';'.\n  1, 2-3,4-5,6,7-8 1;\n" +
             std::string(20, ' ') + "^\n"},
        {times("x\n", 6), six_faults + "E mais uma entrada mal formada, na linha 6.\n"},
        // A line reached past a long run of whitespace after a Ctrl-Z is shown whole.
        {"1, 2-3\x1A" + std::string(100, ' ') + "\n" + std::string(60, ' ') + std::string(50, '0') +
             "99999999999,",
         head + "7): esperava ',' logo depois do numero, encontrou o byte 0x1A.\n  1, 2-3?" +
             std::string(69, ' ') +
             "...\n        ^\nA entrada 2 do arquivo NSuica.in esta mal "
             "formada (linha 2, coluna 61): " +
             range + "  ..." + std::string(38, ' ') + std::string(38, '0') + "...\n" +
             std::string(43, ' ') + "^\n"},
        {"x\n" + entries(734), head + "1): esperava um numero, encontrou 'x'.\n  x\n  ^\n" +
                                   "O Arquivo NSuica.in tem mais de 733 entradas.\n"},
        {"1, 2-3,4-5,6,7-8\r\n\r\n 5 ,\r\n",
         "A entrada 2 do arquivo NSuica.in esta mal formada (linha 3, coluna 3): esperava ',' "
         "logo depois do numero, encontrou um espaco.\n"
         "   5 ,\n"
         "    ^\n"},
        {"1, 2-3,4-5,6,7-8\r\r 5 ,\r",
         "A entrada 2 do arquivo NSuica.in esta mal formada (linha 3, coluna 3): esperava ',' "
         "logo depois do numero, encontrou um espaco.\n"
         "   5 ,\n"
         "    ^\n"},
        {"1, 2-3,4-5,6,7-8\n\0"s,  // a NUL where an entry starts is no end of the file
         "A entrada 2 do arquivo NSuica.in esta mal formada (linha 2, coluna 1): esperava um "
         "numero, encontrou o byte 0x00.\n"
         "  ?\n"
         "  ^\n"},
        {"1, 2-3,4-5,6,7-8\n\x1A\n\0"s,
         "A entrada 2 do arquivo NSuica.in esta mal formada (linha 2, coluna 1): esperava um "
         "numero, encontrou o byte 0x1A.\n  ?\n  ^\n"
         "A entrada 3 do arquivo NSuica.in esta mal formada (linha 3, coluna 1): esperava um "
         "numero, encontrou o byte 0x00.\n  ?\n  ^\n"},
        {std::string(5000, '\n') + "x",
         "A entrada 1 do arquivo NSuica.in esta mal formada (linha 5001, coluna 1): esperava "
         "um numero, encontrou 'x'.\n"
         "  x\n"
         "  ^\n"},
        // A long line, cut on both sides around the column (171: 38 bytes are shown before it),
        {long_line,
         "A entrada 11 do arquivo NSuica.in esta mal formada (linha 1, coluna 171): esperava "
         "um numero, encontrou 'x'.\n"
         "  ..." +
             long_line.substr(132, 76) + "...\n" + std::string(2 + 3 + 38, ' ') + "^\n"},
        //   ... only after it, near the line's start,
        {"1, 2-3,4-5,6,7-x" + times(kEntry, 6), head +
                                                    "16): esperava um numero, encontrou 'x'.\n"
                                                    "  1, 2-3,4-5,6,7-x" +
                                                    times(kEntry, 6).substr(0, 60) +
                                                    "...\n"
                                                    "                 ^\n"},
        //   ... and only before it, near its end.
        {times(kEntry, 6) + "1, 2-3,4-5,6,7-x",
         "A entrada 7 do arquivo NSuica.in esta mal formada (linha 1, coluna 118): esperava "
         "um numero, encontrou 'x'.\n"
         "  ..." +
             (times(kEntry, 6) + "1, 2-3,4-5,6,7-x").substr(79) + "\n" +
             std::string(2 + 3 + 38, ' ') + "^\n"},
        //   ... between two characters, never inside one,
        {"1, 2-3,4-5,6,7-x" + std::string(59, 'y') + "\u2212z",
         head + "16): esperava um numero, encontrou 'x'.\n  1, 2-3,4-5,6,7-x" +
             std::string(59, 'y') + "...\n" + std::string(2 + 15, ' ') + "^\n"},
        //   ... and not at all when it is exactly as wide as is shown.
        {exactly_shown,
         "A entrada 4 do arquivo NSuica.in esta mal formada (linha 1, coluna 67): esperava "
         "um numero, encontrou 'x'.\n  " +
             exactly_shown + "\n" + std::string(2 + 66, ' ') + "^\n"},
        // A number whose start the window let go of before it was found out of range.
        {times("1, 2-3,4-5,6,7-8\n", 10) + long_number + "\n",
         "A entrada 11 do arquivo NSuica.in esta mal formada (linha 11, coluna 16): " + range +
             "  " + long_number.substr(0, 76) + "...\n" + std::string(2 + 15, ' ') + "^\n"},
        {entries(733) + "x",
         "A entrada 734 do arquivo NSuica.in esta mal formada (linha 734, coluna 1): esperava "
         "um numero, encontrou 'x'.\n"
         "  x\n"
         "  ^\n"},
        {entries(733) + "734, 1-2,3-4,5,6-7\nx", "O Arquivo NSuica.in tem mais de 733 entradas.\n"},
        {"\xFF\xFE"
         "1\0,\0"s,
         "O Arquivo NSuica.in esta em UTF-16; salve-o como texto ASCII ou UTF-8.\n"},
        {"\xFE\xFF",  // an empty file, saved with its mark
         "O Arquivo NSuica.in esta em UTF-16; salve-o como texto ASCII ou UTF-8.\n"},
        {"\xFF\xFE\0\0"
         "1\0\0\0"s,
         "O Arquivo NSuica.in esta em UTF-32; salve-o como texto ASCII ou UTF-8.\n"},
        {"PK\x03\x04\x14\0\6\0"s,
         not_text + "uma planilha ou um documento (xlsx, docx, ods, odt ou zip)" + save},
        {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0"s,
         not_text + "uma planilha ou um documento do Office antigo (xls ou doc)" + save},
        {"%PDF-1.7\n", not_text + "um documento PDF" + save},
        {"{\\rtf1\\ansi", not_text + "um documento RTF, como o WordPad salva" + save},
        {"\0\0\xFE\xFF"s,
         "O Arquivo NSuica.in esta em UTF-32; salve-o como texto ASCII ou UTF-8.\n"},
        {"\xFF\xFE\0"s,  // too short for UTF-32's mark
         "O Arquivo NSuica.in esta em UTF-16; salve-o como texto ASCII ou UTF-8.\n"},
        {"\xEF\xBB"  // a mark cut short is no mark
         "1, 2-3,4-5,6,7-8",
         head + "1): esperava um numero, encontrou o byte 0xEF.\n"
                "  ??1, 2-3,4-5,6,7-8\n"
                "  ^\n"},
        {"\xEF\xBB\xBF"
         "1 , 2-3,4-5,6,7-8",
         head + "2): esperava ',' logo depois do numero, encontrou um espaco.\n"
                "  1 , 2-3,4-5,6,7-8\n"
                "   ^\n"},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(report_of(c.text), c.said) << c.text.substr(0, 80);
}

std::string utf8(std::uint32_t code) {
    if (code < 0x80) return std::string(1, static_cast<char>(code));
    if (code < 0x800) {
        return {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
    }
    return {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
            static_cast<char>(0x80 | (code & 0x3F))};
}

// What follows "encontrou " where `bytes` stand in place of a number.
std::string found_at_a_number(const std::string& bytes) {
    std::string said = report_of("1," + bytes + "2-3,4-5,6,7-8");
    const std::string head =
        "A entrada 1 do arquivo NSuica.in esta mal formada (linha 1, coluna 3): esperava um "
        "numero, encontrou ";
    if (said.compare(0, head.size(), head) != 0) return said;
    return said.substr(head.size(), said.find(".\n") - head.size());
}

TEST(Report, NamesEveryLookAlikeAndWhatItLooksLike) {
    for (const LookAlike& l : look_alikes()) {
        std::array<char, 16> code{};
        std::snprintf(code.data(), code.size(), "U+%04X", static_cast<unsigned>(l.code));
        const std::string like =
            l.like == nullptr ? "invisivel" : "parecido com " + std::string(l.like);
        EXPECT_EQ(found_at_a_number(utf8(l.code)),
                  "o caractere " + std::string(code.data()) + " (" + l.name + ", " + like + ")");
        EXPECT_EQ(std::string(l.name).find_first_not_of("abcdefghijklmnopqrstuvwxyz -"),
                  std::string::npos)
            << l.name;
        // A full-width form looks like the ASCII character 0xFEE0 below it.
        if (l.code >= 0xFF01 && l.code <= 0xFF5E) {
            const std::string quoted = {'\'', static_cast<char>(l.code - 0xFEE0), '\''};
            EXPECT_EQ(l.like, quoted) << l.name;
        }
    }
    // The texts as a user reads them, and characters that look like nothing the pattern wants.
    EXPECT_EQ(found_at_a_number("\u00A0"),
              "o caractere U+00A0 (espaco inseparavel, parecido com um espaco)");
    EXPECT_EQ(found_at_a_number("\uFEFF"),
              "o caractere U+FEFF (marca de ordem de bytes, invisivel)");
    EXPECT_EQ(found_at_a_number("\uFF15"),
              "o caractere U+FF15 (algarismo cinco de largura total, parecido com '5')");
    EXPECT_EQ(found_at_a_number("\uFF1A"), "o caractere U+FF1A");
    EXPECT_EQ(found_at_a_number("\u00E9"), "o caractere U+00E9");
    EXPECT_EQ(found_at_a_number("\x7F"), "o byte 0x7F");  // DEL, a control character
}

TEST(Report, OffersASwapOnlyWhereItCannotBeWrong) {
    struct Case {
        const char* text;
        std::uint32_t from;  // 0: none
        char to;
    };
    const Case kCases[] = {
        {"1; 2-3,4-5,6,7-8", ';', ','},          // as a spreadsheet in Portuguese saves it
        {"1, 2\u20133,4-5,6,7-8", 0x2013, '-'},  // as a word processor types '-'
        {"1,\u00A02-3,4-5,6,7-8", 0x00A0, ' '},
        {"\uFF11, 2-3,4-5,6,7-8", 0xFF11, '1'},
        {"1, 2;3,4-5,6,7-8", 0, 0},  // ';' where '-' is wanted
        {"1, 2-3,4.5,6,7-8", 0, 0},
        {"1 2-3,4-5,6,7-8", 0, 0},
        {"1, 2-3,4-5,6,7x8", 0, 0},
        {"1, 2-3,4-5,6\u200B,7-8", 0, 0},
        {"1, 2-3,4-5,6,7-3;", 0, 0},  // past the entry: the next starts with ';'
        {"1, 2-3,4-5,6,99999999999;", 0, 0},
    };
    for (const Case& c : kCases) {
        const Table table(3);
        const Swap swap = certain_swap(scan_text(c.text, table).told[0]);
        EXPECT_EQ(swap.from, c.from) << c.text;
        EXPECT_EQ(swap.to, c.to) << c.text;
    }
}

#if defined(__GLIBC__)
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
#endif

TEST(Scanner, AFailedReadIsNeverTakenForTheEndOfTheFile) {
#if !defined(__GLIBC__)
    GTEST_SKIP() << "a stream that fails on demand needs glibc's fopencookie";
#else
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
        {"1, 2-3,4-5,6,7-8\n1, 2-3,4-5,6,7 ", ScanEnd::read_error, 1},
        {"1, 2-3,4-5,6,7-8\n\x1A  ", ScanEnd::read_error, 1},
        {"   ", ScanEnd::read_error, 0},
    };
    for (const Case& c : kCases) {
        Failing source{c.text, 0};
        std::FILE* stream = fopencookie(&source, "r", {failing_read, nullptr, nullptr, nullptr});
        ASSERT_NE(stream, nullptr);
        std::array<char, SCAN_MIN_BUFFER + 3> window{};
        Table t(RECORD_SLOTS);
        const ScanResult r = scan_records(stream, window, t.view);
        std::fclose(stream);
        EXPECT_EQ(r.end, c.end) << c.text;
        EXPECT_EQ(r.entries, c.entries) << c.text;
        EXPECT_TRUE(t.untouched(c.entries + 1)) << c.text;
    }
#endif
}

TEST(LoadRecords, FillsTheTableFromAFile) {
    const char* path = "nsuica-load-records-test.in";
    std::FILE* file = std::fopen(path, "wb");
    ASSERT_NE(file, nullptr);
    const std::string text = entries(733);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);

    Table t(RECORD_SLOTS);
    load_records(path, t.view);
    std::remove(path);
    for (std::int32_t k = 1; k <= 733; ++k) {
        ASSERT_EQ(fields_of(t.storage[static_cast<std::size_t>(k)]),
                  (Fields{k, k, 1, 2, 1, 3, 4, 5, 6, 7}));
    }
    expect_untouched_past(t, 733, "733 entries");
}

}  // namespace
