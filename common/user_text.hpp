#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#ifdef _WIN32
#include <string>
#endif

// The user's own text (a folder's name, a file's, a line of their file) as the console can
// show it: in UTF-8, or as the bytes the system keeps it in. The program's own words are plain
// ASCII and never pass through here.

// The code point of the well-formed UTF-8 character that `text` starts with, its bytes in
// `length`; -1 (and `length` 1) for a byte that starts none: a lone continuation byte, an
// overlong form, an encoded surrogate, a sequence cut short, an ASCII byte.
std::int32_t utf8_character(std::string_view text, std::size_t& length);

// Whether the locale that the environment names for characters is UTF-8: the first of LC_ALL,
// LC_CTYPE and LANG that is set and not empty, as the C library ranks them, read by its name
// alone, so that it holds whether or not that locale is installed.
bool environment_is_utf8();

// A range of code points that are never seen, first to last.
struct Invisible {
    std::uint32_t first;
    std::uint32_t last;
};
// Every such range, in order; each of its code points is shown as one '?'.
std::span<const Invisible> invisible_characters();

// Writes into `shown`, which has room for `text.size()` bytes, `text` as it may safely be
// shown, and returns how many bytes that is. Printable ASCII stays; with `utf8`, so does every
// well-formed character that can be seen. Each control character, bidirectional control and
// invisible character becomes one '?', as does each byte of an ill-formed sequence, and
// without `utf8` each byte outside printable ASCII: nothing shown can move the cursor, change
// the terminal, or reorder what is read.
std::size_t render_user_text(std::string_view text, bool utf8, char* shown);

// How many of the first `limit` bytes of `text` hold whole characters: a cut there falls
// between two characters, never inside one.
std::size_t whole_characters(std::string_view text, std::size_t limit);

// Writes the user's text to `out`, rendered as above: on Linux in UTF-8 when the environment's
// locale is (otherwise in ASCII), on Windows in UTF-8 to a file or a pipe and through the
// console's wide characters to a console, whatever its code page. Whatever was written to
// `out` before comes out first.
void write_user_text(std::FILE* out, std::string_view text);

#ifdef _WIN32
// The UTF-16 `text` as UTF-8. An unpaired surrogate becomes the one byte 0xFF, which no UTF-8
// holds, so that it is shown as one '?'. Throws std::bad_alloc when memory runs out.
std::string utf8_of(std::wstring_view text);
#endif
