#include "records/open_failure.hpp"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string_view>
#include <type_traits>

#include "common/user_text.hpp"

// What the C library does not say (the current folder, what a folder holds) is asked of the
// system, in plain C. std::filesystem, or even std::string, would make the program load the
// C++ runtime at every start for a message few runs print: see BENCHMARKS.md.
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

// When a file was last written, as the system keeps it, in two parts that cannot overflow.
struct Stamp {
    std::int64_t seconds = 0;
    std::int64_t fraction = 0;
    auto operator<=>(const Stamp&) const = default;
};

// A file's name within its folder: NAME_MAX (255) bytes on Linux, MAX_PATH units on Windows.
struct FileName {
    std::array<Unit, 261> units{};
    std::size_t size = 0;
    Stamp written{};
};

// Writes a name or a path as the user wrote it, where the output can show it.
void write_name(std::FILE* out, const Unit* text, std::size_t size) {
#ifdef _WIN32
    // Where memory runs out the name is left out, as the folder is where it cannot be found.
    try {
        write_user_text(out, utf8_of({text, size}));
    } catch (const std::bad_alloc&) {
    }
#else
    write_user_text(out, std::string_view(text, size));
#endif
}

// The current folder, in memory to be freed, and its length; null when it cannot be found (it
// was removed, say).
struct Folder {
    Unit* units = nullptr;
    std::size_t size = 0;
};

Folder current_folder() {
#ifdef _WIN32
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0) return {};
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
    if (found) return {folder, length};
    std::free(folder);
    return {};
}

// Writes two spaces and the full path of `name` in `folder`.
void write_path(std::FILE* out, const Folder& folder, const char* name) {
    std::fputs("  ", out);
    write_name(out, folder.units, folder.size);
    if (folder.units[folder.size - 1] != kSeparator) std::fputc(static_cast<int>(kSeparator), out);
    std::fputs(name, out);
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

// A link's target holds at most PATH_MAX (4096) bytes with its NUL on Linux.
using LinkTarget = std::array<char, 4096>;

bool is_link(const char* name) {
#ifdef _WIN32
    (void)name;
    return false;
#else
    struct stat status {};
    return lstat(name, &status) == 0 && S_ISLNK(status.st_mode);
#endif
}

// The target of the link `name`, as the link holds it.
std::string_view link_target(const char* name, LinkTarget& target) {
#ifdef _WIN32
    (void)name, (void)target;
    return {};
#else
    const ssize_t size = readlink(name, target.data(), target.size());
    return {target.data(), size < 0 ? 0 : static_cast<std::size_t>(size)};
#endif
}

// Calls `take` with the name of each file of the current folder that is not a folder (nor, on
// Linux, a device, a pipe or a link to nothing), and when it was last written.
template <typename Take>
void for_each_file(Take take) {
#ifdef _WIN32
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(L"*", &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
        // In units of 100 ns.
        const std::uint64_t written = (std::uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32) |
                                      found.ftLastWriteTime.dwLowDateTime;
        take(found.cFileName, std::char_traits<wchar_t>::length(found.cFileName),
             Stamp{static_cast<std::int64_t>(written / 10000000),
                   static_cast<std::int64_t>(written % 10000000)});
    } while (FindNextFileW(search, &found) != 0);
    FindClose(search);
#else
    DIR* listing = opendir(".");
    if (listing == nullptr) return;
    while (const dirent* entry = readdir(listing)) {
        struct stat status {};
        if (stat(entry->d_name, &status) != 0 || !S_ISREG(status.st_mode)) continue;
        take(entry->d_name, std::char_traits<char>::length(entry->d_name),
             Stamp{status.st_mtim.tv_sec, status.st_mtim.tv_nsec});
    }
    closedir(listing);
#endif
}

enum class Why { other, missing, forbidden, folder, link_to_nothing, link_loop };

Why reason(const char* name, int error) {
    // A folder first: it opens on Linux, and fails on Windows as if forbidden.
    if (is_folder(name)) return Why::folder;
    if (error == ENOENT) return is_link(name) ? Why::link_to_nothing : Why::missing;
#ifdef ELOOP
    if (error == ELOOP) return Why::link_loop;
#endif
    if (error == EACCES || error == EPERM) return Why::forbidden;
    return Why::other;
}

// Writes why, after the path, from the colon to the line's end.
void write_reason(std::FILE* out, const char* name, Why why, int error) {
    switch (why) {
        case Why::missing:
            std::fputs(": o arquivo nao existe.\n", out);
            return;
        case Why::forbidden:
            std::fputs(": sem permissao para ler o arquivo.\n", out);
            return;
        case Why::folder:
            std::fputs(": e uma pasta, nao um arquivo.\n", out);
            return;
        case Why::link_to_nothing: {
            LinkTarget target{};
            std::fputs(": e um link para \"", out);
            write_user_text(out, link_target(name, target));
            std::fputs("\", que nao existe.\n", out);
            return;
        }
        case Why::link_loop:
            std::fputs(": e um link que forma um ciclo.\n", out);
            return;
        case Why::other:
            break;
    }
    std::fprintf(out, ": erro %d do sistema.\n", error);
}

// What a file of the folder is to the user looking for NSuica.in, in the order they are named:
// a second copy that a browser saved beside it, the file itself under a name that editors and
// file managers mangled, or a Windows shortcut to it, named only when no text file is.
enum class Near { copy, text_file, shortcut, nothing };

// A unit of a name as it is compared: lower-case ASCII; anything else as a byte that matches
// nothing.
char folded(std::uint32_t c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a')
           : c < 0x80           ? static_cast<char>(c)
                                : '\x80';
}

// A name as it is compared, in `into`: each unit folded; empty when the name is longer than a
// file's can be.
using Folded = std::array<char, sizeof(FileName::units) / sizeof(Unit)>;
template <typename C>
std::string_view fold(const C* name, std::size_t size, Folded& into) {
    if (size > into.size()) return {};
    std::transform(name, name + size, into.begin(),
                   [](C c) { return folded(static_cast<std::make_unsigned_t<C>>(c)); });
    return {into.data(), size};
}

// Whether `name` is `wanted` as a browser names a later download of it where it already is:
// "NSuica (2).in" in Chrome and Edge, "NSuica(2).in" in Firefox, from 1 up.
bool is_browsers_copy(std::string_view name, std::string_view wanted) {
    const std::size_t dot = std::min(wanted.rfind('.'), wanted.size());
    const std::string_view stem(wanted.data(), dot);
    const std::string_view extension(wanted.data() + dot, wanted.size() - dot);
    if (name.size() < wanted.size() + 3 || !name.starts_with(stem) || !name.ends_with(extension))
        return false;
    std::string_view count(name.data() + dot, name.size() - wanted.size());
    if (count.starts_with(' ')) count.remove_prefix(1);
    if (count.size() < 3 || count.front() != '(' || count.back() != ')' || count[1] == '0')
        return false;
    return std::all_of(count.begin() + 1, count.end() - 1,
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Whether a file so named is the one `wanted` (folded) as editors and file managers mangle it:
// letter case, spaces at either end, an extension that text is saved under added
// (NSuica.in.txt) or put in place of its own (NSuica.txt), a browser's second copy; or a
// shortcut to it (NSuica.in.lnk), which must not be renamed. A program, a document or an
// archive of that name is none of these.
Near near_miss(const Unit* name, std::size_t size, std::string_view wanted) {
    Folded lowered{};
    // (No substr: its bounds check would link the C++ runtime's exceptions in.)
    std::string_view trimmed = fold(name, size, lowered);
    const std::size_t first = trimmed.find_first_not_of(' ');
    if (first == std::string_view::npos) return Near::nothing;
    trimmed.remove_suffix(trimmed.size() - 1 - trimmed.find_last_not_of(' '));
    trimmed.remove_prefix(first);
    if (trimmed == wanted) return Near::text_file;
    if (is_browsers_copy(trimmed, wanted)) return Near::copy;
    const std::size_t dot = wanted.rfind('.');
    const std::string_view bare(wanted.data(), dot == std::string_view::npos ? wanted.size() : dot);
    for (const std::string_view stem : {wanted, bare}) {
        if (trimmed.size() <= stem.size() || !trimmed.starts_with(stem) ||
            trimmed[stem.size()] != '.')
            continue;
        std::string_view extension = trimmed;
        extension.remove_prefix(stem.size() + 1);
        if (extension == "lnk") return Near::shortcut;
        constexpr std::string_view kSavedAsText[] = {"txt", "text", "csv", "tsv", "dat", "prn"};
        if (std::find(std::begin(kSavedAsText), std::end(kSavedAsText), extension) !=
            std::end(kSavedAsText))
            return Near::text_file;
    }
    return Near::nothing;
}

// Writes the line that names a file of the current folder nearly named `name`, if there is one.
void name_near_miss(std::FILE* out, const char* name) {
    // Of each kind, the first in the order of its bytes, so that the choice does not depend on
    // the order in which the system lists the folder; of copies, the last written before that,
    // as the latest save.
    Folded lowered{};
    const std::string_view wanted = fold(name, std::char_traits<char>::length(name), lowered);
    if (wanted.empty()) return;
    std::array<FileName, 3> nearest{};  // a copy, a text file, a shortcut
    for_each_file([&nearest, wanted](const Unit* file, std::size_t size, Stamp written) {
        const Near likeness = near_miss(file, size, wanted);
        if (likeness == Near::nothing) return;
        if (likeness != Near::copy) written = {};
        FileName& first = nearest[static_cast<std::size_t>(likeness)];
        const auto before = [](Unit a, Unit b) { return code(a) < code(b); };
        if (first.size > 0 &&
            (written < first.written ||
             (written == first.written &&
              !std::lexicographical_compare(file, file + size, first.units.data(),
                                            first.units.data() + first.size, before))))
            return;
        std::copy_n(file, size, first.units.data());
        first.size = size;
        first.written = written;
    });
    const FileName* const first = nearest.data();
    const FileName* const end = first + nearest.size();
    const FileName* const found =
        std::find_if(first, end, [](const FileName& f) { return f.size > 0; });
    if (found == end) return;
    const FileName& named = *found;
    const bool text_file = found != end - 1;
    std::fputs("  Nesta pasta ha \"", out);
    write_name(out, named.units.data(), named.size);
    if (text_file) {
        std::fprintf(out, "\": renomeie-o para %s.\n", name);
    } else {
        std::fprintf(out, "\", um atalho: copie para esta pasta o proprio arquivo %s.\n", name);
    }
}

// Whether a folder so named (folded) is one where an archiver puts a program run from inside an
// archive that was not extracted, alone, without the user's file: Explorer's
// "Temp<digits>_<archive>.zip", 7-Zip's "7zO...", WinRAR's "Rar$EX...".
bool is_archivers_folder(std::string_view name) {
    if (name.starts_with("7zo") || name.starts_with("rar$ex")) return true;
    if (!name.starts_with("temp") || !name.ends_with(".zip")) return false;
    // Digits, '_' and at least one character of the archive's name before ".zip".
    std::size_t i = 4;
    while (name[i] >= '0' && name[i] <= '9')  // stops at ".zip" at the latest
        ++i;
    return i > 4 && name[i] == '_' && i + 1 < name.size() - 4;
}

// Whether the folder, or one that it lies in, is an archiver's.
bool inside_an_archivers_folder(const Folder& folder) {
    const Unit* const end = folder.units + folder.size;
    for (const Unit* name = folder.units;; ++name) {
        const Unit* const after = std::find(name, end, kSeparator);
        Folded lowered{};
        if (is_archivers_folder(fold(name, static_cast<std::size_t>(after - name), lowered)))
            return true;
        if (after == end) return false;
        name = after;
    }
}

}  // namespace

void explain_open_failure(std::FILE* out, const char* name, int error) {
    const Folder folder = current_folder();
    if (folder.units == nullptr) return;
    write_path(out, folder, name);
    const Why why = reason(name, error);
    write_reason(out, name, why, error);
    if (why == Why::missing) {
        name_near_miss(out, name);
        if (inside_an_archivers_folder(folder)) {
            std::fprintf(out,
                         "  O programa roda dentro do zip: extraia-o todo e ponha %s junto dele.\n",
                         name);
        }
    }
    std::free(folder.units);
}
