# i386 Linux: 32-bit pointers and long.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(triple i686-linux-gnu)
set(qemu qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
