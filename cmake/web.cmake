# The program compiled to WebAssembly twice: `nsuica`, a Node program on the real file system,
# which the program tests run as they run the others; and the page `nsuica-VERSION.html`, the
# same program in a browser's worker with its WebAssembly inline, so that the one file runs
# when saved and opened, offline. The page's sum stands beside it, as the packages' do.

# Node 20 has fetch, which emscripten's loader would use on a file path: the WebAssembly goes
# inline there too.
target_link_options(nsuica PRIVATE -sNODERAWFS=1 -sSINGLE_FILE=1 -sEXIT_RUNTIME=1
                    --pre-js ${PROJECT_SOURCE_DIR}/web/node.js)
set_property(TARGET nsuica APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/web/node.js)

# The page's program has a second entry point, which lists every fault for its editor; it is
# loaded by Node too, where the program tests hold that list to the program's reports.
add_executable(nsuica_worker driver/main.cpp web/faults.cpp)
target_link_libraries(nsuica_worker PRIVATE nsuica_records nsuica_weights nsuica_common
                                            nsuica_warnings)
# No eval: the page's policy allows compiling WebAssembly, never script from a string. And
# no fetch, not even of the inline WebAssembly: it is compiled at once, as a worker may.
target_link_options(nsuica_worker PRIVATE
  -Oz -sENVIRONMENT=worker,node -sMODULARIZE=1 -sEXPORT_NAME=nsuica -sSINGLE_FILE=1 -sEXIT_RUNTIME=1
  -sWASM_ASYNC_COMPILATION=0 -sDYNAMIC_EXECUTION=0 -sEXPORTED_RUNTIME_METHODS=FS,ENV
  -sEXPORTED_FUNCTIONS=_main,_nsuica_faults -lworkerfs.js)

set(page ${PROJECT_NAME}-${PROJECT_VERSION}.html)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/${page} ${CMAKE_BINARY_DIR}/${page}.sha256
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/web/page.py ${PROJECT_SOURCE_DIR}/web/nsuica.html
          $<TARGET_FILE:nsuica_worker> ${PROJECT_VERSION} ${page}
  COMMAND sh -c "\"$1\" -E sha256sum \"$2\" > \"$2.sha256\"" sh ${CMAKE_COMMAND} ${page}
  DEPENDS nsuica_worker ${PROJECT_SOURCE_DIR}/web/nsuica.html ${PROJECT_SOURCE_DIR}/web/page.py
          ${PROJECT_SOURCE_DIR}/web/worker.js ${PROJECT_SOURCE_DIR}/web/editor.js
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
add_custom_target(nsuica_page ALL DEPENDS ${CMAKE_BINARY_DIR}/${page})
