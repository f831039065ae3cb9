# How the program reaches its users: the install rules (`cmake --install`), and with
# NSUICA_PACKAGE the packages CPack makes from the workflow presets `package` and
# `package-arm64` (a Debian package and a static Linux archive each) and `package-windows` (a
# zip), the same bytes from every build, and the source archive. The manual page, the Debian
# changelog's first entries and the script that writes the later ones, the copyright file and
# the script that takes the builder out of the packages are in packaging/.
include(GNUInstallDirs)

set(sources ${PROJECT_SOURCE_DIR})

# The release: the version of project(), and its date from the heading of its section in
# CHANGELOG.md. The guide and the manual page name them, as the build writes them into
# `documents` (their sources say @PROJECT_VERSION@ and @RELEASE_DATE@).
file(STRINGS ${sources}/CHANGELOG.md heading REGEX "^## ${PROJECT_VERSION} \\([0-9-]+\\)$")
if(NOT heading MATCHES "\\(([0-9]+-[0-9]+-[0-9]+)\\)")
  message(FATAL_ERROR "CHANGELOG.md has no section for version ${PROJECT_VERSION}, the one of "
                      "project() in CMakeLists.txt: head it \"## ${PROJECT_VERSION} (YYYY-MM-DD)\".")
endif()
set(RELEASE_DATE ${CMAKE_MATCH_1})
# The rule under the guide's title is as long as the title, whatever the version.
file(STRINGS ${sources}/LEIA-ME.txt title LIMIT_COUNT 1)
string(CONFIGURE "${title}" title @ONLY)
string(LENGTH "${title}" length)
string(REPEAT "=" ${length} TITLE_RULE)
set(documents ${CMAKE_BINARY_DIR}/documents)
configure_file(${sources}/LEIA-ME.txt ${documents}/LEIA-ME.txt @ONLY)
configure_file(${sources}/packaging/nsuica.1 ${documents}/nsuica.1 @ONLY)

# `cmake --install`: the program, its guide, licence and example, and its manual page. The
# component `program` is what the Debian package holds too, in the same places; the licence
# and the manual page are the plain install's own (`plain`): the Debian package has them as
# Debian wants them (below).
install(TARGETS nsuica RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
install(FILES ${documents}/LEIA-ME.txt DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT program)
install(FILES ${sources}/examples/NSuica.in DESTINATION ${CMAKE_INSTALL_DOCDIR}/exemplo
        COMPONENT program)
install(FILES ${sources}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT plain)
install(FILES ${documents}/nsuica.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT plain)

if(NOT NSUICA_PACKAGE)
  return()
endif()

# Every name of the target comes from its compiler, one rule for every target: the machine
# (x86_64, aarch64) from its triple, Debian's name for it (amd64, arm64) from dpkg.
execute_process(COMMAND ${CMAKE_C_COMPILER} -dumpmachine OUTPUT_VARIABLE triple
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE "-.*" "" machine ${triple})

# The sources are a git checkout of their own, or not (the source archive unpacked): a
# repository around them is not theirs.
execute_process(COMMAND git -C ${sources} rev-parse --show-toplevel OUTPUT_VARIABLE top
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
file(REAL_PATH "${sources}" real_sources)
set(checkout FALSE)
if(NOT "${top}" STREQUAL "")
  file(REAL_PATH "${top}" top)
  if(top STREQUAL real_sources)
    set(checkout TRUE)
  endif()
endif()

# Reproducible packages: every date in them is SOURCE_DATE_EPOCH, as the reproducible-builds
# convention has it; when it is not set, the last commit's date, and without git the release's
# date.
set(epoch $ENV{SOURCE_DATE_EPOCH})
if("${epoch}" STREQUAL "" AND checkout)
  execute_process(COMMAND git -C ${sources} log -1 --format=%ct OUTPUT_VARIABLE epoch
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if("${epoch}" STREQUAL "")
  execute_process(COMMAND date -u -d ${RELEASE_DATE} +%s OUTPUT_VARIABLE epoch
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
endif()

# No address is published yet: a reserved name that no mail can reach stands for it.
set(maintainer "the nsuica authors <nsuica@authors.invalid>")
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(program_targets nsuica)
set(library_targets nsuica_common nsuica_weights nsuica_records)
set(packaged ${CMAKE_BINARY_DIR}/packaged)
file(MAKE_DIRECTORY ${packaged})
set(strip_options --strip-unneeded)

# Files made for the packages from the sources, made again whenever their source changes.
function(nsuica_packaged to from)
  add_custom_command(OUTPUT ${packaged}/${to} COMMAND ${ARGN} DEPENDS ${from} VERBATIM)
  list(APPEND made ${packaged}/${to})
  set(made ${made} PARENT_SCOPE)
endfunction()
set(made)

if(WIN32)
  # The zip: the program at its top with what a user of Windows opens in Notepad, "\r\n" ends.
  foreach(pair "${documents}/LEIA-ME.txt;LEIA-ME.txt" "${sources}/LICENSE;LICENSE.txt")
    list(GET pair 0 from)
    list(GET pair 1 to)
    nsuica_packaged(${to} ${from} ${CMAKE_COMMAND} -DFROM=${from} -DTO=${packaged}/${to} -P
                    ${sources}/cmake/crlf.cmake)
  endforeach()
  install(TARGETS nsuica RUNTIME DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES ${packaged}/LEIA-ME.txt ${packaged}/LICENSE.txt DESTINATION .
          COMPONENT archive EXCLUDE_FROM_ALL)
  set(archive_system windows)
  set(archive_program nsuica.exe)
  # No time in the program's header: the same source makes the same bytes.
  target_link_options(nsuica PRIVATE -Wl,--no-insert-timestamp)
else()
  execute_process(COMMAND dpkg-architecture -t ${triple} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE deb_architecture OUTPUT_STRIP_TRAILING_WHITESPACE
                  COMMAND_ERROR_IS_FATAL ANY)
  # Debian's hardening flags for that architecture (fortify, stack protector, relro and now,
  # and its own: branch protection on arm64, CET on amd64), the only ones for both programs;
  # the optimisation and debug flags stay the build's own (the packages are stripped).
  foreach(flags cppflags cxxflags ldflags)
    string(TOUPPER ${flags} name)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            DEB_HOST_ARCH=${deb_architecture} dpkg-buildflags --get ${name}
                    OUTPUT_VARIABLE ${flags} OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  separate_arguments(compile_flags UNIX_COMMAND "${cppflags} ${cxxflags}")
  separate_arguments(link_flags UNIX_COMMAND "${ldflags}")
  list(FILTER compile_flags EXCLUDE REGEX "^-(g|O[0-9s]?)$")

  # The archive's program is linked statically, as a position-independent executable: it runs
  # on any Linux of its machine, with or without a C library.
  add_executable(nsuica_static ${sources}/driver/main.cpp)
  target_link_libraries(nsuica_static PRIVATE nsuica_records nsuica_weights nsuica_common
                                              nsuica_warnings)
  target_link_options(nsuica_static PRIVATE -static-pie)
  set_target_properties(nsuica_static PROPERTIES OUTPUT_NAME nsuica
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/static)
  list(APPEND program_targets nsuica_static)
  set_target_properties(${library_targets} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  foreach(target IN LISTS library_targets program_targets)
    target_compile_options(${target} PRIVATE ${compile_flags})
  endforeach()
  foreach(target IN LISTS program_targets)
    target_link_options(${target} PRIVATE ${link_flags})
  endforeach()

  # The Debian package: the component `program`, and the manual page and the changelog
  # compressed as Debian wants them (no name nor time in the header), the licence as the
  # copyright file.
  # The changelog's entries for the releases since those of packaging/changelog are made from
  # CHANGELOG.md.
  set(changelog_script ${sources}/packaging/debian_changelog.py)
  nsuica_packaged(changelog "${sources}/CHANGELOG.md;${sources}/packaging/changelog;${changelog_script}"
                  ${Python3_EXECUTABLE} ${changelog_script}
                  ${sources}/CHANGELOG.md ${sources}/packaging/changelog ${maintainer}
                  ${packaged}/changelog)
  foreach(from ${documents}/nsuica.1 ${packaged}/changelog)
    get_filename_component(name ${from} NAME)
    nsuica_packaged(${name}.gz ${from} sh -c "gzip -9nc \"$1\" > \"$2\"" gzip ${from}
                    ${packaged}/${name}.gz)
  endforeach()
  install(FILES ${sources}/packaging/copyright ${packaged}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT deb EXCLUDE_FROM_ALL)
  install(FILES ${packaged}/nsuica.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT deb
          EXCLUDE_FROM_ALL)

  install(TARGETS nsuica_static RUNTIME DESTINATION . COMPONENT archive EXCLUDE_FROM_ALL)
  install(FILES ${documents}/LEIA-ME.txt ${sources}/LICENSE DESTINATION . COMPONENT archive
          EXCLUDE_FROM_ALL)
  set(archive_system linux)
  set(archive_program nsuica)
  # Stripped as Debian strips: the compiler's notes go too.
  list(APPEND strip_options --remove-section=.comment --remove-section=.note)
endif()
install(FILES ${sources}/examples/NSuica.in DESTINATION exemplo COMPONENT archive
        EXCLUDE_FROM_ALL)
add_custom_target(nsuica_packaged ALL DEPENDS ${made})

# The source archive, beside the packages for this machine: the files git tracks at the last
# commit, under one folder, with its sum. git gives every member the commit's date and modes
# of its own, whatever the umask: the same bytes from every clone.
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING)
  set(source_archive ${PROJECT_NAME}-${PROJECT_VERSION}.tar.gz)
  if(checkout)
    add_custom_target(
      nsuica_source_archive ALL
      COMMAND git -C ${sources} archive --format=tar.gz --prefix=${PROJECT_NAME}-${PROJECT_VERSION}/
              -o ${CMAKE_BINARY_DIR}/${source_archive} HEAD
      COMMAND sh -c "\"$1\" -E sha256sum \"$2\" > \"$2.sha256\"" sh ${CMAKE_COMMAND} ${source_archive}
      COMMAND sh -c "git -C \"$1\" diff --quiet HEAD || echo \"$2 holds the last commit, without the changes since\""
              sh ${sources} ${source_archive}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR} VERBATIM)
  else()
    message(STATUS "${source_archive} is not made: these sources are no git checkout")
  endif()
endif()

# The one strip of every packaged program: the Debian package's and the archive's.
function(nsuica_strip component program)
  install(CODE "execute_process(COMMAND ${CMAKE_STRIP} ${strip_options}
                                \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${program}
                                COMMAND_ERROR_IS_FATAL ANY)"
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()
if(NOT WIN32)
  nsuica_strip(program ${CMAKE_INSTALL_BINDIR}/nsuica)
endif()
nsuica_strip(archive ${archive_program})

# What `cpack` and the `package` target make: a zip for Windows; a Debian package and a static
# archive for Linux.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()
set(CPACK_PACKAGE_NAME nsuica)
set(CPACK_PACKAGE_VENDOR "the nsuica authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "loads a table of numeric records from the file NSuica.in")
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(archive_name ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${archive_system}-${machine})

set(CPACK_DEBIAN_PACKAGE_NAME nsuica)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_architecture})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${maintainer})
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "nsuica is a small console program in Portuguese. It sets up a matrix of
weights, shows its corner, waits for a key and then loads up to 733 entries
of eight integers from the file NSuica.in of the current folder. A malformed
entry is reported with its line and column, and a file that cannot be opened
with the path looked for and why.")

# Run by CPack: each generator packs its own component, at the same date. The program needs
# the C library alone, from the version of its newest symbol on, which is what dpkg-shlibdeps
# would say of a program of this machine, and can be said of one of any other.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/cpack-generators.cmake)
file(CONFIGURE OUTPUT ${CPACK_PROJECT_CONFIG_FILE} CONTENT [[
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(ENV{SOURCE_DATE_EPOCH} @epoch@)
endif()
set(ENV{TZ} UTC0)  # a zip's dates are local times
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL program deb)
  execute_process(COMMAND @CMAKE_OBJDUMP@ -T @CMAKE_BINARY_DIR@/nsuica OUTPUT_VARIABLE symbols
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "GLIBC_[0-9.]+" versions "${symbols}")
  list(TRANSFORM versions REPLACE "GLIBC_" "")
  list(SORT versions COMPARE NATURAL ORDER DESCENDING)
  list(GET versions 0 newest)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${newest})")
else()
  set(CPACK_COMPONENTS_ALL archive)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)  # it unpacks into a folder of its own
  set(CPACK_PACKAGE_FILE_NAME @archive_name@)
  set(CPACK_ARCHIVE_FILE_NAME @archive_name@)
endif()
]] @ONLY)
# Beside each package, its SHA-256 sum as sha256sum writes it, so that `sha256sum -c` checks
# it; CPack writes it once the script below has written the package again.
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Each package written again so that nothing in it depends on who built it: what CPack cannot
# do itself is in the script.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_BINARY_DIR}/cpack-same-bytes.cmake)
file(CONFIGURE OUTPUT ${CPACK_POST_BUILD_SCRIPTS} CONTENT [[
execute_process(COMMAND @Python3_EXECUTABLE@ @sources@/packaging/same_bytes.py
                        ${CPACK_PACKAGE_FILES} COMMAND_ERROR_IS_FATAL ANY)
]] @ONLY)
include(CPack)
