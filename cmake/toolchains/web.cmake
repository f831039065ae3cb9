# WebAssembly: Debian's emscripten; its programs run here under Node. Its optimiser runs in
# Node at the link, and finds Debian's acorn only through NODE_PATH.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=/usr/share/nodejs)
