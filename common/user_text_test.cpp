#include "common/user_text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::string rendered(std::string_view text, bool utf8) {
    std::string shown(text.size(), '\0');
    shown.resize(render_user_text(text, utf8, shown.data()));
    return shown;
}

// Without UTF-8, every byte outside printable ASCII is '?': the program tests show it.
TEST(UserText, ShowsEveryCharacterThatCanBeSeenAndNothingThatActs) {
    struct Case {
        std::string_view text;
        std::string_view shown;  // as a UTF-8 terminal is given it
    };
    const Case kCases[] = {
        {"Jo\xC3\xA3o \xC3\x81rea 7\xE2\x88\x92"
         "8 \xF0\x9F\x98\x80",
         "Jo\xC3\xA3o \xC3\x81rea 7\xE2\x88\x92"
         "8 \xF0\x9F\x98\x80"},
        // Controls: an escape sequence that sets the title, a tab, DEL, the C1 controls.
        {"\x1B]0;x\x07\t\x7F~ \xC2\x80\xC2\x9F\xC2\xA0", "?]0;x???~ ??\xC2\xA0"},
        // Bidirectional controls, and the characters of no width beside visible neighbours.
        {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F\xE2\x80\xAA\xE2\x80\xAE\xE2\x81\xA6\xE2\x81\xA9",
         "???????"},
        {"\xE2\x80\x8A\xE2\x80\x8B\xE2\x80\x8D\xE2\x80\x90\xE2\x81\xA0\xEF\xBB\xBF\xE2\x81\xAA",
         "\xE2\x80\x8A??\xE2\x80\x90???"},
        // A soft hyphen, U+034F, a Hangul filler, a variation selector, a tag, U+1D173, U+180E,
        // an invisible operator.
        {"Jo\xC2\xAD"
         "a\xCD\x8F"
         "o\xE3\x85\xA4\xEF\xB8\x8F\xF3\xA0\x81\x81\xF0\x9D\x85\xB3"
         "\xE1\xA0\x8E\xE2\x81\xA1.",
         "Jo?a?o??????."},
        // Ill-formed: a lone continuation byte, overlong forms, a surrogate, a cut sequence, past
        // U+10FFFF; each byte one '?'.
        {"\x80"
         "a\xC0\x80\xE0\x80\x80\xED\xA0\x80\xE2\x88x\xF4\x90\x80\x80",
         "?a??????????x????"},
    };
    for (const Case& c : kCases)
        EXPECT_EQ(rendered(c.text, true), c.shown) << c.text;
}

// The UTF-8 of `code`.
std::string encoded(std::uint32_t code) {
    if (code < 0x80) return std::string(1, static_cast<char>(code));
    const unsigned extra = code < 0x800 ? 1U : code < 0x10000 ? 2U : 3U;
    constexpr std::array<std::uint32_t, 4> kLead = {0, 0xC0, 0xE0, 0xF0};
    std::string s(1, static_cast<char>(kLead[extra] | (code >> (6 * extra))));
    for (unsigned k = extra; k-- > 0;)
        s += static_cast<char>(0x80 | ((code >> (6 * k)) & 0x3F));
    return s;
}

// Each range of invisible characters is '?' from its first to its last, and not beyond.
TEST(UserText, ShowsEveryInvisibleRangeWholeAndNothingAroundIt) {
    const auto invisible = invisible_characters();
    const auto listed = [&](std::uint32_t code) {
        return std::any_of(invisible.begin(), invisible.end(), [code](const Invisible& i) {
            return code >= i.first && code <= i.last;
        });
    };
    for (const Invisible& i : invisible) {
        for (const std::uint32_t code : {i.first - 1, i.first, i.last, i.last + 1}) {
            const bool seen = !listed(code) && code > 0x9F && code != 0x2029;
            EXPECT_EQ(rendered(encoded(code), true) == "?", !seen) << std::hex << code;
        }
    }
}

#ifdef _WIN32
TEST(UserText, TakesWindowsNamesInUtf8AndAnUnpairedSurrogateAsOneMark) {
    struct Case {
        std::wstring_view text;
        std::string_view shown;
    };
    const Case kCases[] = {
        {L"Jo\u00E3o \u2212\u0001", "Jo\xC3\xA3o \xE2\x88\x92?"},
        {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {L"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},  // the last of two bytes, the first of three
        {L"\xDBFF\xDC00", "\xF4\x8F\xB0\x80"},      // the last high and the first low surrogate
        {L"\xD800\xDFFF", "\xF0\x90\x8F\xBF"},      // the first high and the last low surrogate
        {L"\xDFFF\xD800", "??"},  // the last surrogate, then the first, each unpaired
        // A pair cut at its half, as a name may be in a longer buffer: nothing past it is read.
        {std::wstring_view(L"a\xD83D\xDE00", 2), "a?"},
        {L"a\xD83D"
         L"b\xDE00",
         "a?b?"},
    };
    for (const Case& c : kCases) {
        EXPECT_EQ(rendered(utf8_of(c.text), true), c.shown);
    }
}
#else
TEST(UserText, TakesUtf8FromTheLocaleTheEnvironmentNamesFirst) {
    // LC_ALL, LC_CTYPE, LANG ("-": unset), and whether they name UTF-8.
    const std::array<std::string, 4> kCases[] = {
        {"C", "pt_BR.UTF-8", "pt_BR.UTF-8", "no"},
        {"", "-", "C.utf-8@euro", "yes"},
        {"-", "-", "UTF-8", "yes"},
        {"-", "-", "pt_BR.ISO-8859-1", "no"},
    };
    for (const auto& c : kCases) {
        for (std::size_t i = 0; i < 3; ++i) {
            const char* name = std::array{"LC_ALL", "LC_CTYPE", "LANG"}[i];
            c[i] == "-" ? unsetenv(name) : setenv(name, c[i].c_str(), 1);
        }
        EXPECT_EQ(environment_is_utf8() ? "yes" : "no", c[3]) << c[0] << "|" << c[1] << "|" << c[2];
    }
}
#endif

}  // namespace
