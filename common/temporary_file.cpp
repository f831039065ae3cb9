#include "common/temporary_file.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>  // NOLINT(modernize-deprecated-headers): mkstemp is POSIX's, not C++'s
#include <unistd.h>

#include <filesystem>
#include <string>
#endif

std::FILE* temporary_file() {
#ifdef _WIN32
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"nsu", 0, name) == 0)
        return nullptr;
    // 'D': the system removes the file when its last handle is closed.
    std::FILE* file = _wfopen(name, L"w+bD");
    if (file == nullptr) DeleteFileW(name);
    return file;
#else
    std::error_code error;
    std::string name = (std::filesystem::temp_directory_path(error) / "nsuica-XXXXXX").string();
    const int descriptor = error ? -1 : mkstemp(name.data());
    if (descriptor < 0) return nullptr;
    unlink(name.c_str());
    std::FILE* file = fdopen(descriptor, "w+b");
    if (file == nullptr) close(descriptor);
    return file;
#endif
}
