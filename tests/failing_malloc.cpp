// Preloaded into the program by the tests to make one allocation fail: the nth call of
// malloc for exactly NSUICA_FAIL_SIZE bytes (NSUICA_FAIL_NTH, from 1) returns null.
// Every other call goes to the C library's own allocator.
#include <cerrno>
#include <cstddef>
#include <cstdlib>

// glibc's allocator, under its own name.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" void* __libc_malloc(std::size_t size);

namespace {

std::size_t number_from(const char* name) {
    const char* text = std::getenv(name);
    std::size_t value = 0;
    for (; text != nullptr && *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<std::size_t>(*text - '0');
    }
    return value;
}

}  // namespace

extern "C" void* malloc(std::size_t size) {
    static const std::size_t fail_size = number_from("NSUICA_FAIL_SIZE");
    static const std::size_t fail_nth = number_from("NSUICA_FAIL_NTH");
    static std::size_t seen = 0;
    if (size == fail_size && ++seen == fail_nth) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}
