#include "records/open_failure.hpp"

#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>

namespace fs = std::filesystem;

namespace {

using Name = fs::path::string_type;

// A unit of a name (a byte on Linux, a UTF-16 unit on Windows) as a number, never negative.
std::uint32_t code(Name::value_type unit) {
    return static_cast<std::make_unsigned_t<Name::value_type>>(unit);
}

// A name as the console can show it whatever the system's characters are (bytes on Linux,
// UTF-16 units on Windows): printable ASCII as it is, anything else as '?'.
std::string printable(const Name& text) {
    std::string shown;
    for (const auto unit : text)
        shown += code(unit) >= 0x20 && code(unit) <= 0x7E ? static_cast<char>(unit) : '?';
    return shown;
}

enum class Why { unknown, missing, forbidden, folder };

Why reason(const fs::path& where, int error) {
    // A folder first: it opens on Linux, and fails on Windows as if forbidden.
    std::error_code ignored;
    if (fs::is_directory(where, ignored)) return Why::folder;
    if (error == ENOENT) return Why::missing;
    if (error == EACCES || error == EPERM) return Why::forbidden;
    return Why::unknown;
}

const char* reason_text(Why why) {
    switch (why) {
        case Why::missing:
            return ": o arquivo nao existe";
        case Why::forbidden:
            return ": sem permissao para ler o arquivo";
        case Why::folder:
            return ": e uma pasta, nao um arquivo";
        case Why::unknown:
            break;
    }
    return "";
}

// Whether a file so named is NSuica.in as editors and file managers mangle it: letter case,
// spaces at either end, an extension added (NSuica.in.txt) or put in place of ".in"
// (NSuica.txt), of 1 to 4 letters or digits.
bool near_miss(const Name& name) {
    std::string folded;  // lower-case ASCII; anything else as a byte that matches nothing
    for (const auto unit : name) {
        const std::uint32_t c = code(unit);
        folded += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a')
                  : c < 0x80           ? static_cast<char>(c)
                                       : '\x80';
    }
    const std::size_t first = folded.find_first_not_of(' ');
    const std::size_t last = folded.find_last_not_of(' ');
    if (first == std::string::npos) return false;
    const std::string_view trimmed = std::string_view(folded).substr(first, last - first + 1);
    if (trimmed == "nsuica.in") return true;
    for (const std::string_view stem : {"nsuica.in.", "nsuica."}) {
        if (trimmed.substr(0, stem.size()) != stem) continue;
        const std::string_view extension = trimmed.substr(stem.size());
        if (extension.empty() || extension.size() > 4) continue;
        if (extension.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz") ==
            std::string_view::npos)
            return true;
    }
    return false;
}

// The first, in the order of its bytes, of the regular files of `folder` that are near misses;
// empty when there is none.
Name nearest_file(const fs::path& folder) {
    Name best;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        const Name name = it->path().filename().native();
        if (it->is_regular_file(ignored) && near_miss(name) && (best.empty() || name < best))
            best = name;
    }
    return best;
}

}  // namespace

void explain_open_failure(std::FILE* out, const fs::path& folder, const char* name, int error) {
    const fs::path where = folder / name;
    const Why why = reason(where, error);
    std::fprintf(out, "  %s%s.\n", printable(where.native()).c_str(), reason_text(why));
    if (why != Why::missing) return;
    const Name near = nearest_file(folder);
    if (near.empty()) return;
    std::fprintf(out, "  Nesta pasta ha \"%s\": renomeie-o para %s.\n", printable(near).c_str(),
                 name);
}
