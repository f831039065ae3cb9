#pragma once

#include <cstdio>

#include "records/scanner.hpp"

// Writes to `out` what the user is told when the scan of `path` ended other than `loaded`:
// one line, and for a malformed entry two more, the line of the input where it lies and a
// caret under its column. Those two are read again from `input`, and left out when it cannot
// be read there again (a pipe, say, or a null `input`).
void report_scan_failure(std::FILE* out, const char* path, const ScanResult& r, std::FILE* input);
