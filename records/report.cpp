#include "records/report.hpp"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdint>
#include <iterator>
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

// The look-alike of that code, or null.
const LookAlike* look_alike(std::uint32_t code) {
    const auto* found = std::find_if(std::begin(kLookAlikes), std::end(kLookAlikes),
                                     [code](const LookAlike& l) { return l.code == code; });
    return found == std::end(kLookAlikes) ? nullptr : found;
}

void write_character(std::FILE* out, std::uint32_t code) {
    std::fprintf(out, "o caractere U+%04" PRIX32, code);
    const LookAlike* found = look_alike(code);
    if (found == nullptr) return;
    if (found->like == nullptr) {
        std::fprintf(out, " (%s, invisivel)", found->name);
    } else {
        std::fprintf(out, " (%s, parecido com %s)", found->name, found->like);
    }
}

std::string_view found_text(const Malformed& m) {
    return {reinterpret_cast<const char*>(m.found.data()), static_cast<std::size_t>(m.found_size)};
}

void write_found(std::FILE* out, const Malformed& m) {
    const unsigned char c = m.found[0];
    std::size_t length = 0;
    if (m.found_size == 0) {
        std::fputs("o fim do arquivo", out);
    } else if (c == ' ') {
        std::fputs("um espaco", out);
    } else if (c == '\t') {
        std::fputs("uma tabulacao", out);
    } else if (is_line_end(static_cast<char>(c))) {
        std::fputs("o fim da linha", out);
    } else if (c > ' ' && c < 0x7F) {
        std::fprintf(out, "'%c'", c);
    } else if (const std::int32_t code = utf8_character(found_text(m), length); code >= 0) {
        write_character(out, static_cast<std::uint32_t>(code));
    } else {
        std::fprintf(out, "o byte 0x%02X", static_cast<unsigned>(c));
    }
}

}  // namespace

Swap certain_swap(const Malformed& m) {
    // No ';' is ever right in the file: a spreadsheet in Portuguese puts it between columns.
    if (m.found[0] == ';') return m.fault == Fault::comma ? Swap{';', ','} : Swap{};
    std::size_t length = 0;
    // Where it is no character (the end of the input, a byte that no UTF-8 holds), it is no
    // look-alike either.
    const std::int32_t code = utf8_character(found_text(m), length);
    const LookAlike* found = look_alike(static_cast<std::uint32_t>(code));
    if (found == nullptr || found->like == nullptr) return {};
    return {static_cast<std::uint32_t>(code), found->like == kSpace ? ' ' : found->like[1]};
}

namespace {

void write_excerpt(std::FILE* out, const Malformed& m) {
    // Everything before the column fits the pattern, so it is ASCII: the caret's place is
    // counted in bytes. A tab is shown as one space, so that it stays one column wide.
    auto bytes = m.shown;
    std::replace(bytes.begin(), bytes.end(), '\t', ' ');
    const std::int64_t length = m.shown_size;
    std::string_view line(bytes.data(), static_cast<std::size_t>(length));
    if (length > SHOWN_WIDTH) line = line.substr(0, whole_characters(line, SHOWN_WIDTH));
    std::fputs(m.shown_from > 0 ? "  ..." : "  ", out);
    write_user_text(out, line);
    std::fputs(length > SHOWN_WIDTH ? "...\n" : "\n", out);
    const std::int64_t caret = 2 + (m.shown_from > 0 ? 3 : 0) + m.column - 1 - m.shown_from;
    std::fprintf(out, "%*s^\n", static_cast<int>(caret), "");
}

void write_malformed(std::FILE* out, const char* path, const Malformed& m) {
    report_malformed_headline(out, path, m);
    std::fputc('\n', out);
    write_excerpt(out, m);
}

// What each kind of file that is not text is, as a user knows it by.
const char* what_it_is(NotText kind) {
    switch (kind) {
        case NotText::zip:
            return "uma planilha ou um documento (xlsx, docx, ods, odt ou zip)";
        case NotText::office:
            return "uma planilha ou um documento do Office antigo (xls ou doc)";
        case NotText::pdf:
            return "um documento PDF";
        case NotText::rtf:
            break;
    }
    return "um documento RTF, como o WordPad salva";
}

}  // namespace

void report_malformed_headline(std::FILE* out, const char* path, const Malformed& m) {
    std::fprintf(out,
                 "A entrada %" PRId64 " do arquivo %s esta mal formada (linha %" PRId64
                 ", coluna %" PRId64 "): ",
                 m.entry, path, m.line, m.column);
    if (m.fault == Fault::out_of_range) {
        std::fputs("numero fora do intervalo de -2147483648 a 2147483647.", out);
    } else {
        std::fprintf(out, "esperava %s, encontrou ", expected_text(m.fault));
        write_found(out, m);
        std::fputc('.', out);
    }
}

void report_too_many(std::FILE* out, const char* path, std::int32_t capacity) {
    std::fprintf(out, "O Arquivo %s tem mais de %" PRId32 " entradas.\n", path, capacity);
}

void report_scan_failure(std::FILE* out, const char* path, const ScanResult& r) {
    switch (r.end) {
        case ScanEnd::loaded:
            return;
        case ScanEnd::malformed:
            break;
        case ScanEnd::too_many:
            report_too_many(out, path, r.entries);
            return;
        case ScanEnd::utf16:
        case ScanEnd::utf32:
            std::fprintf(out, "O Arquivo %s esta em %s; salve-o como texto ASCII ou UTF-8.\n", path,
                         r.end == ScanEnd::utf16 ? "UTF-16" : "UTF-32");
            return;
        case ScanEnd::not_text:
            // A spreadsheet in Portuguese saves its text with ';' between the columns.
            std::fprintf(out,
                         "O Arquivo %s nao e texto: e %s; salve-o como texto, cada entrada como "
                         "7, 10-25,3-4,12,100-140 (com virgulas, nao ';').\n",
                         path, what_it_is(r.kind));
            return;
        case ScanEnd::unreadable:
            std::fprintf(out, "O Arquivo %s nao pode ser aberto.\n", path);
            explain_open_failure(out, path, r.error);
            return;
        case ScanEnd::read_error:
            std::fprintf(out, "O Arquivo %s nao pode ser lido.\n", path);
            return;
    }
    const std::int64_t told = std::min<std::int64_t>(r.malformed_total, std::ssize(r.told));
    for (std::int64_t i = 0; i < told; ++i)
        write_malformed(out, path, r.told[static_cast<std::size_t>(i)]);
    if (const std::int64_t more = r.malformed_total - told; more == 1) {
        std::fprintf(out, "E mais uma entrada mal formada, na linha %" PRId64 ".\n", r.untold_line);
    } else if (more > 1) {
        std::fprintf(out,
                     "E mais %" PRId64 " entradas mal formadas, a primeira na linha %" PRId64 ".\n",
                     more, r.untold_line);
    }
    // A file can hold too many entries besides: the table's capacity is told then too.
    if (r.also_more_than > 0) report_too_many(out, path, r.also_more_than);
}
