#pragma once

#include <cstdio>

// Writes the lines that follow "cannot be opened" for the file `name` of the current folder:
// where it was looked for and, when it is known from `error` (the C library's errno) or the
// file system, why it could not be opened; and when it does not exist, a file of the folder
// whose name is near enough to be the one the user meant (another case, a hidden extension, a
// stray space). Nothing when the current folder cannot be found.
void explain_open_failure(std::FILE* out, const char* name, int error);
