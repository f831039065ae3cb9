# x86-64 Linux with clang and LLVM's C++ library, libc++, in place of GCC's.
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_FLAGS_INIT -stdlib=libc++)
set(CMAKE_EXE_LINKER_FLAGS_INIT -stdlib=libc++)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -stdlib=libc++)
