// Preloaded into the program by the tests, to make the C library fail where a test says:
// - NSUICA_FAIL_SIZE=s and NSUICA_FAIL_NTH=n: the nth call of malloc for exactly s bytes
//   returns null; with n = 0, every call for s bytes or more does.
// - NSUICA_FAIL_READ_AFTER=b: fread hands out b bytes in all and then fails, as a disk would,
//   and ferror says so for that stream.
// Everything else goes to the C library.
#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
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

template <typename Function>
Function* next(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}

std::FILE* g_failed = nullptr;  // the stream whose read failed

}  // namespace

extern "C" void* malloc(std::size_t size) {
    static const std::size_t fail_size = number_from("NSUICA_FAIL_SIZE");
    static const std::size_t fail_nth = number_from("NSUICA_FAIL_NTH");
    static std::size_t seen = 0;
    const bool fails = fail_nth == 0 ? fail_size > 0 && size >= fail_size
                                     : size == fail_size && ++seen == fail_nth;
    if (fails) {
        errno = ENOMEM;
        return nullptr;
    }
    return __libc_malloc(size);
}

extern "C" std::size_t fread(void* ptr, std::size_t size, std::size_t n, std::FILE* stream) {
    static auto* real = next<std::size_t(void*, std::size_t, std::size_t, std::FILE*)>("fread");
    static const bool fails = std::getenv("NSUICA_FAIL_READ_AFTER") != nullptr;
    static const std::size_t after = number_from("NSUICA_FAIL_READ_AFTER");
    static std::size_t handed = 0;
    if (!fails || size != 1) return real(ptr, size, n, stream);
    if (handed >= after) {
        g_failed = stream;
        errno = EIO;
        return 0;
    }
    const std::size_t got = real(ptr, 1, std::min(n, after - handed), stream);
    handed += got;
    return got;
}

extern "C" int ferror(std::FILE* stream) {
    static auto* real = next<int(std::FILE*)>("ferror");
    return stream == g_failed ? 1 : real(stream);
}
