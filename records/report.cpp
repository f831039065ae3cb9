#include "records/report.hpp"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <climits>
#include <cstdint>
#include <string_view>

#include "common/user_text.hpp"
#include "records/open_failure.hpp"

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

constexpr const char* kSpace = "um espaco";
constexpr LookAlike kLookAlikes[] = {
    {0x00A0, "espaco inseparavel", kSpace},
    {0x060C, "virgula arabe", "','"},
    {0x2002, "meio quadratim", kSpace},
    {0x2003, "quadratim", kSpace},
    {0x2007, "espaco de algarismo", kSpace},
    {0x2009, "espaco fino", kSpace},
    {0x200A, "espaco finissimo", kSpace},
    {0x200B, "espaco de largura zero", nullptr},
    {0x2010, "hifen", "'-'"},
    {0x2011, "hifen inseparavel", "'-'"},
    {0x2012, "traco de algarismo", "'-'"},
    {0x2013, "meia-risca", "'-'"},
    {0x2014, "travessao", "'-'"},
    {0x201A, "aspa simples baixa", "','"},
    {0x202F, "espaco fino inseparavel", kSpace},
    {0x2060, "juntor de palavras", nullptr},
    {0x2212, "sinal de menos", "'-'"},
    {0x3000, "espaco ideografico", kSpace},
    {0x3001, "virgula ideografica", "','"},
    {0xFE63, "hifen-menos pequeno", "'-'"},
    {0xFEFF, "marca de ordem de bytes", nullptr},
    {0xFF0B, "sinal de mais de largura total", "'+'"},
    {0xFF0C, "virgula de largura total", "','"},
    {0xFF0D, "hifen-menos de largura total", "'-'"},
    {0xFF10, "algarismo zero de largura total", "'0'"},
    {0xFF11, "algarismo um de largura total", "'1'"},
    {0xFF12, "algarismo dois de largura total", "'2'"},
    {0xFF13, "algarismo tres de largura total", "'3'"},
    {0xFF14, "algarismo quatro de largura total", "'4'"},
    {0xFF15, "algarismo cinco de largura total", "'5'"},
    {0xFF16, "algarismo seis de largura total", "'6'"},
    {0xFF17, "algarismo sete de largura total", "'7'"},
    {0xFF18, "algarismo oito de largura total", "'8'"},
    {0xFF19, "algarismo nove de largura total", "'9'"},
};

}  // namespace

std::span<const LookAlike> look_alikes() {
    return kLookAlikes;
}

namespace {

void write_character(std::FILE* out, std::uint32_t code) {
    std::fprintf(out, "o caractere U+%04" PRIX32, code);
    const auto* found = std::find_if(std::begin(kLookAlikes), std::end(kLookAlikes),
                                     [code](const LookAlike& l) { return l.code == code; });
    if (found == std::end(kLookAlikes)) return;
    if (found->like == nullptr) {
        std::fprintf(out, " (%s, invisivel)", found->name);
    } else {
        std::fprintf(out, " (%s, parecido com %s)", found->name, found->like);
    }
}

std::string_view found_text(const ScanResult& r) {
    return {reinterpret_cast<const char*>(r.found.data()), static_cast<std::size_t>(r.found_size)};
}

void write_found(std::FILE* out, const ScanResult& r) {
    const unsigned char c = r.found[0];
    std::size_t length = 0;
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
    } else if (const std::int32_t code = utf8_character(found_text(r), length); code >= 0) {
        write_character(out, static_cast<std::uint32_t>(code));
    } else {
        std::fprintf(out, "o byte 0x%02X", static_cast<unsigned>(c));
    }
}

// A long line is shown as this many bytes, starting this many before the column.
constexpr std::int64_t kShownWidth = 76;
constexpr std::int64_t kShownBefore = 38;
// Past them, one byte more tells that the line is cut, and three more finish the character
// that the cut would split.
using LineBytes = std::array<char, kShownWidth + 4>;

// Reads up to a LineBytes' worth from offset `from` on. How many it got, or -1 when the
// input cannot be read there again.
std::int64_t read_at(std::FILE* input, std::int64_t from, LineBytes& bytes) {
    if (input == nullptr || from > LONG_MAX) return -1;
    if (std::fseek(input, static_cast<long>(from), SEEK_SET) != 0) return -1;
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), input);
    if (std::ferror(input) != 0) return -1;
    return static_cast<std::int64_t>(got);
}

// The same, stopping at the line's end.
std::int64_t read_line(std::FILE* input, std::int64_t from, LineBytes& bytes) {
    const std::int64_t got = read_at(input, from, bytes);
    if (got < 0) return -1;
    return std::find_if(bytes.data(), bytes.data() + got,
                        [](char c) { return c == '\n' || c == '\r'; }) -
           bytes.data();
}

// Whether the input still holds at the column what the scan found there: the same bytes; the
// start of a number, where that number was out of range; only blank, where the file ended. A
// file that changed since the scan does not, and a line of it would point at something else.
bool same_as_scanned(std::FILE* input, const ScanResult& r) {
    LineBytes bytes{};
    const std::int64_t got = read_at(input, r.line_start + r.column - 1, bytes);
    if (got < 0) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (r.fault == Fault::out_of_range) {
        return got > 0 && ((b[0] >= '0' && b[0] <= '9') || b[0] == '-' || b[0] == '+');
    }
    if (r.found_size > 0) {
        return got >= r.found_size && std::equal(b, b + r.found_size, r.found.begin());
    }
    return std::all_of(b, b + got, [](unsigned char c) {
        return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1A;  // Ctrl-Z, as the scan ends
    });
}

void write_excerpt(std::FILE* out, const ScanResult& r, std::FILE* input) {
    if (!same_as_scanned(input, r)) return;
    LineBytes bytes{};
    const std::int64_t column = r.column - 1;
    std::int64_t first = 0;
    std::int64_t length = read_line(input, r.line_start, bytes);
    if (length > kShownWidth && column > kShownBefore) {
        first = column - kShownBefore;
        length = read_line(input, r.line_start + first, bytes);
    }
    if (length < 0) return;

    // Everything before the column fits the pattern, so it is ASCII: the caret's place is
    // counted in bytes. A tab is shown as one space, so that it stays one column wide.
    std::replace(bytes.begin(), bytes.end(), '\t', ' ');
    std::string_view line(bytes.data(), static_cast<std::size_t>(length));
    if (length > kShownWidth) line = line.substr(0, whole_characters(line, kShownWidth));
    std::fputs(first > 0 ? "  ..." : "  ", out);
    write_user_text(out, line);
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
        case ScanEnd::utf32:
            std::fprintf(out, "O Arquivo %s esta em %s; salve-o como texto ASCII ou UTF-8.\n", path,
                         r.end == ScanEnd::utf16 ? "UTF-16" : "UTF-32");
            return;
        case ScanEnd::unreadable:
            std::fprintf(out, "O Arquivo %s nao pode ser aberto.\n", path);
            explain_open_failure(out, path, r.error);
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
