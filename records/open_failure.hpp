#pragma once

#include <cstdio>
#include <filesystem>

// Writes the lines that follow "cannot be opened" for the file `name` of `folder`: where it was
// looked for and, when it is known from `error` (the C library's errno) or the file system, why
// it could not be opened; and when it does not exist, a file of `folder` whose name is near
// enough to be the one the user meant (another case, a hidden extension, a stray space).
void explain_open_failure(std::FILE* out, const std::filesystem::path& folder, const char* name,
                          int error);
