#include "records/report.hpp"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <climits>
#include <cstdint>

namespace {

const char* expected_text(Fault fault) {
    switch (fault) {
        case Fault::number:
            return "um numero";
        case Fault::digit:
            return "um algarismo logo depois do sinal";
        case Fault::comma:
            return "',' logo depois do numero";
        case Fault::hyphen:
            return "'-' logo depois do numero";
        case Fault::out_of_range:
            break;
    }
    return "";
}

// The code point of the well-formed UTF-8 multi-byte character that `b` starts with, or -1.
std::int32_t utf8_character(const std::array<unsigned char, 4>& b, std::int32_t size) {
    std::int32_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;  // below it, the encoding is longer than it need be
    if (b[0] >= 0xC2 && b[0] <= 0xDF) {
        length = 2, code = b[0] & 0x1FU, least = 0x80;
    } else if (b[0] >= 0xE0 && b[0] <= 0xEF) {
        length = 3, code = b[0] & 0x0FU, least = 0x800;
    } else if (b[0] >= 0xF0 && b[0] <= 0xF4) {
        length = 4, code = b[0] & 0x07U, least = 0x10000;
    } else {
        return -1;
    }
    if (size < length) return -1;
    for (std::int32_t i = 1; i < length; ++i) {
        const unsigned char next = b[static_cast<std::size_t>(i)];
        if ((next & 0xC0U) != 0x80U) return -1;
        code = (code << 6U) | (next & 0x3FU);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
    return static_cast<std::int32_t>(code);
}

void write_found(std::FILE* out, const ScanResult& r) {
    const unsigned char c = r.found[0];
    if (r.found_size == 0) {
        std::fputs("o fim do arquivo", out);
    } else if (c == ' ') {
        std::fputs("um espaco", out);
    } else if (c == '\t') {
        std::fputs("uma tabulacao", out);
    } else if (c == '\n' || c == '\r') {
        std::fputs("o fim da linha", out);
    } else if (c > ' ' && c < 0x7F) {
        std::fprintf(out, "'%c'", c);
    } else if (const std::int32_t code = utf8_character(r.found, r.found_size); code >= 0) {
        std::fprintf(out, "o caractere U+%04" PRIX32, static_cast<std::uint32_t>(code));
    } else {
        std::fprintf(out, "o byte 0x%02X", static_cast<unsigned>(c));
    }
}

// A long line is shown as this many bytes, starting this many before the column.
constexpr std::int64_t kShownWidth = 76;
constexpr std::int64_t kShownBefore = 38;
using LineBytes = std::array<char, kShownWidth + 1>;

// Reads up to kShownWidth + 1 bytes of a line from offset `from` on, stopping at the line's
// end. How many it got, or -1 when the input cannot be read there again.
std::int64_t read_line(std::FILE* input, std::int64_t from, LineBytes& bytes) {
    if (input == nullptr || from > LONG_MAX) return -1;
    if (std::fseek(input, static_cast<long>(from), SEEK_SET) != 0) return -1;
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), input);
    if (std::ferror(input) != 0) return -1;
    const char* stop = std::find_if(bytes.data(), bytes.data() + got,
                                    [](char c) { return c == '\n' || c == '\r'; });
    return stop - bytes.data();
}

void write_excerpt(std::FILE* out, const ScanResult& r, std::FILE* input) {
    LineBytes bytes{};
    const std::int64_t column = r.column - 1;
    std::int64_t first = 0;
    std::int64_t length = read_line(input, r.line_start, bytes);
    if (length > kShownWidth && column > kShownBefore) {
        first = column - kShownBefore;
        length = read_line(input, r.line_start + first, bytes);
    }
    // (A column past what was read again means the file changed since the scan.)
    if (length < 0 || column - first > kShownWidth) return;

    std::fputs(first > 0 ? "  ..." : "  ", out);
    for (std::int64_t i = 0; i < std::min(length, kShownWidth); ++i) {
        const auto c = static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
        std::fputc(c == '\t' ? ' ' : (c >= 0x20 && c <= 0x7E) ? c : '?', out);
    }
    std::fputs(length > kShownWidth ? "...\n" : "\n", out);
    const std::int64_t caret = 2 + (first > 0 ? 3 : 0) + column - first;
    std::fprintf(out, "%*s^\n", static_cast<int>(caret), "");
}

}  // namespace

void report_scan_failure(std::FILE* out, const char* path, const ScanResult& r, std::FILE* input) {
    switch (r.end) {
        case ScanEnd::loaded:
            return;
        case ScanEnd::malformed:
            break;
        case ScanEnd::too_many:
            std::fprintf(out, "O Arquivo %s tem mais de %" PRId32 " entradas.\n", path, r.entries);
            return;
        case ScanEnd::utf16:
            std::fprintf(out, "O Arquivo %s esta em UTF-16; salve-o como texto ASCII ou UTF-8.\n",
                         path);
            return;
        case ScanEnd::unreadable:
            std::fprintf(out, "O Arquivo %s nao pode ser aberto.\n", path);
            return;
        case ScanEnd::read_error:
            std::fprintf(out, "O Arquivo %s nao pode ser lido.\n", path);
            return;
    }
    std::fprintf(out,
                 "A entrada %" PRId32 " do arquivo %s esta mal formada (linha %" PRId64
                 ", coluna %" PRId64 "): ",
                 r.entry, path, r.line, r.column);
    if (r.fault == Fault::out_of_range) {
        std::fputs("numero fora do intervalo de -2147483648 a 2147483647.\n", out);
    } else {
        std::fprintf(out, "esperava %s, encontrou ", expected_text(r.fault));
        write_found(out, r);
        std::fputs(".\n", out);
    }
    write_excerpt(out, r, input);
}
