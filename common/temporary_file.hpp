#pragma once

#include <cstdio>

// For the unit tests: a new empty file in the user's temporary folder, open for reading and
// writing in binary, removed when it is closed; null when none can be made. std::tmpfile will
// not do: on Windows it makes its file in the root of the drive, where a user who is not an
// administrator may not write, and where two test programs run side by side take the same names.
std::FILE* temporary_file();
