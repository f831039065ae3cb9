#include "common/user_text.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <iterator>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#endif

std::int32_t utf8_character(std::string_view text, std::size_t& length) {
    length = 1;
    const auto octet = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (text.empty()) return -1;
    std::size_t size = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;  // below it, the encoding is longer than it need be
    if (octet(0) >= 0xC2 && octet(0) <= 0xDF) {
        size = 2, code = octet(0) & 0x1FU, least = 0x80;
    } else if (octet(0) >= 0xE0 && octet(0) <= 0xEF) {
        size = 3, code = octet(0) & 0x0FU, least = 0x800;
    } else if (octet(0) >= 0xF0 && octet(0) <= 0xF4) {
        size = 4, code = octet(0) & 0x07U, least = 0x10000;
    } else {
        return -1;
    }
    if (text.size() < size) return -1;
    for (std::size_t i = 1; i < size; ++i) {
        if ((octet(i) & 0xC0U) != 0x80U) return -1;
        code = (code << 6U) | (octet(i) & 0x3FU);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
    length = size;
    return static_cast<std::int32_t>(code);
}

namespace {

// The code points that Unicode marks Default_Ignorable_Code_Point: never seen, whatever they
// do (bidirectional controls, joiners, tags, variation selectors, fillers). Taken from
// DerivedCoreProperties.txt of Unicode 15.1.0, adjacent ranges merged; in order.
constexpr Invisible kInvisible[] = {
    {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
    {0x180B, 0x180F},   {0x200B, 0x200F},   {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
    {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
    {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

// What is not seen but may act: the C1 controls, the line and paragraph separators, and the
// characters above, which can reorder a line ("Trojan Source") or hide text in it.
bool acts_unseen(std::uint32_t code) {
    if ((code >= 0x80 && code <= 0x9F) || code == 0x2028 || code == 0x2029) return true;
    const auto* after =
        std::upper_bound(std::begin(kInvisible), std::end(kInvisible), code,
                         [](std::uint32_t c, const Invisible& i) { return c < i.first; });
    return after != std::begin(kInvisible) && code <= std::prev(after)->last;
}

#ifdef _WIN32
// Writes UTF-8 `shown` to the console behind `out`, if it is one, in wide characters: the
// console then shows them whatever its code page. False when `out` is no console.
bool write_to_console(std::FILE* out, std::string_view shown) {
    const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(out)));
    DWORD mode = 0;
    if (console == INVALID_HANDLE_VALUE || GetConsoleMode(console, &mode) == 0) return false;
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, shown.data(), static_cast<int>(shown.size()), nullptr, 0);
    auto* wide =
        static_cast<wchar_t*>(std::malloc(static_cast<std::size_t>(units) * sizeof(wchar_t)));
    if (wide == nullptr) return false;
    MultiByteToWideChar(CP_UTF8, 0, shown.data(), static_cast<int>(shown.size()), wide, units);
    std::fflush(out);  // what the program wrote before comes first
    DWORD written = 0;
    WriteConsoleW(console, wide, static_cast<DWORD>(units), &written, nullptr);
    std::free(wide);
    return true;
}
#endif

}  // namespace

std::span<const Invisible> invisible_characters() {
    return kInvisible;
}

bool environment_is_utf8() {
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        name = std::getenv(variable);
        if (name != nullptr && *name != '\0') break;
    }
    if (name == nullptr) return false;
    // The codeset stands between the dot and any modifier (pt_BR.UTF-8@euro); a name of it
    // alone (UTF-8) is how macOS sets it.
    std::string_view codeset(name);
    if (const std::size_t dot = codeset.find('.'); dot != std::string_view::npos) {
        codeset.remove_prefix(dot + 1);
    }
    codeset = codeset.substr(0, codeset.find('@'));
    const auto named = [codeset](std::string_view lower) {
        return std::equal(
            codeset.begin(), codeset.end(), lower.begin(), lower.end(),
            [](char c, char l) { return (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) == l; });
    };
    return named("utf-8") || named("utf8");
}

std::size_t render_user_text(std::string_view text, bool utf8, char* shown) {
    std::size_t size = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        std::int32_t code = -1;
        if (c >= 0x20 && c <= 0x7E) {
            code = c;
        } else if (utf8 && c >= 0x80) {
            code = utf8_character(text.substr(i), length);
        }
        if (code < 0 || acts_unseen(static_cast<std::uint32_t>(code))) {
            shown[size++] = '?';
        } else {
            std::copy_n(text.data() + i, length, shown + size);
            size += length;
        }
        i += length;
    }
    return size;
}

std::size_t whole_characters(std::string_view text, std::size_t limit) {
    std::size_t whole = 0;
    while (whole < text.size()) {
        std::size_t length = 1;
        utf8_character(text.substr(whole), length);
        if (whole + length > limit) break;
        whole += length;
    }
    return whole;
}

void write_user_text(std::FILE* out, std::string_view text) {
#ifdef _WIN32
    const bool utf8 = true;  // Windows keeps names in UTF-16, handed here as UTF-8
#else
    const bool utf8 = environment_is_utf8();
#endif
    auto* shown = static_cast<char*>(std::malloc(text.size() + 1));  // never 0 bytes
    if (shown == nullptr) return;
    const std::string_view rendered(shown, render_user_text(text, utf8, shown));
#ifdef _WIN32
    if (!write_to_console(out, rendered)) std::fwrite(rendered.data(), 1, rendered.size(), out);
#else
    std::fwrite(rendered.data(), 1, rendered.size(), out);
#endif
    std::free(shown);
}

#ifdef _WIN32
std::string utf8_of(std::wstring_view text) {
    std::string utf8;
    const auto put = [&utf8](std::uint32_t value) { utf8 += static_cast<char>(value); };
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size; ++i) {
        std::uint32_t code = static_cast<std::uint16_t>(text[i]);
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < size) {
            const std::uint32_t low = static_cast<std::uint16_t>(text[i + 1]);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10U) + (low - 0xDC00);
                ++i;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF) {
            put(0xFF);
        } else if (code < 0x80) {
            put(code);
        } else if (code < 0x800) {
            put(0xC0 | (code >> 6U)), put(0x80 | (code & 0x3FU));
        } else if (code < 0x10000) {
            put(0xE0 | (code >> 12U)), put(0x80 | ((code >> 6U) & 0x3FU)),
                put(0x80 | (code & 0x3FU));
        } else {
            put(0xF0 | (code >> 18U)), put(0x80 | ((code >> 12U) & 0x3FU));
            put(0x80 | ((code >> 6U) & 0x3FU)), put(0x80 | (code & 0x3FU));
        }
    }
    return utf8;
}
#endif
