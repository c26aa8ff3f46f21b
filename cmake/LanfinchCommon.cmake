# Settings every target of the project shares: warnings, sanitizers, test registration.

add_library(lanfinch_warnings INTERFACE)
target_compile_options(lanfinch_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
    $<$<BOOL:${LANFINCH_WERROR}>:-Werror>)
target_compile_definitions(lanfinch_warnings INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING)

if(LANFINCH_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# lanfinch_coroutine_sources(file...): files that define coroutines. Clang 14 cannot emit the
# fuzzer's coverage tables for them ("Cannot represent a difference across sections"), so a fuzzing
# build compiles them without that instrumentation; the sanitizers stay.
function(lanfinch_coroutine_sources)
    if(LANFINCH_FUZZ)
        set_source_files_properties(${ARGN} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
            PROPERTIES COMPILE_OPTIONS -fno-sanitize=fuzzer-no-link)
    endif()
endfunction()

set(LANFINCH_LSAN_SUPPRESSIONS ${CMAKE_SOURCE_DIR}/tests/lsan.supp)
set(LANFINCH_NETNS_RUN ${CMAKE_SOURCE_DIR}/scripts/netns-run)

# add_lanfinch_test(NAME target [TIMEOUT s] [NETNS | NETNS_SETUP script] [LABELS l...] [ARGS a...])
# Registers an already defined executable target with ctest. Widgets run on the offscreen
# platform at a pinned DPI so that dialog-unit conversions are repeatable. NETNS runs the
# test inside a private network namespace (real broadcast address, real ports); NETNS_SETUP
# runs it under a script of its own that makes the private namespace, and the interfaces in it,
# that the test needs (the script's arguments: the test's command line).
function(add_lanfinch_test name)
    cmake_parse_arguments(ARG "NETNS" "TIMEOUT;TARGET;NETNS_SETUP" "LABELS;ARGS" ${ARGN})
    if(NOT ARG_TARGET)
        set(ARG_TARGET ${name})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    if(ARG_NETNS_SETUP)
        add_test(NAME ${name} COMMAND ${ARG_NETNS_SETUP} $<TARGET_FILE:${ARG_TARGET}> ${ARG_ARGS})
        list(APPEND ARG_LABELS netns)
    elseif(ARG_NETNS)
        add_test(NAME ${name} COMMAND ${LANFINCH_NETNS_RUN} $<TARGET_FILE:${ARG_TARGET}> ${ARG_ARGS})
        list(APPEND ARG_LABELS netns)
    else()
        add_test(NAME ${name} COMMAND $<TARGET_FILE:${ARG_TARGET}> ${ARG_ARGS})
    endif()
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        LABELS "${ARG_LABELS}"
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_FONT_DPI=96;QT_ENABLE_HIGHDPI_SCALING=0;ASAN_OPTIONS=detect_leaks=1:abort_on_error=0;LSAN_OPTIONS=suppressions=${LANFINCH_LSAN_SUPPRESSIONS}:print_suppressions=0;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()

# add_lanfinch_manpage(TARGET exe PAGE name SUMMARY text [VERSION v] [DIRECTORY dir])
# Writes the manual page PAGE.1 with help2man from the program's --help, run at build time (so
# the program must only print it), and installs it. VERSION stands in for a missing --version.
# Without help2man there is no page.
function(add_lanfinch_manpage)
    cmake_parse_arguments(ARG "" "TARGET;PAGE;SUMMARY;VERSION;DIRECTORY" "" ${ARGN})
    find_program(HELP2MAN help2man)
    if(NOT HELP2MAN)
        message(STATUS "help2man not found: no manual page for ${ARG_PAGE}")
        return()
    endif()
    if(NOT ARG_DIRECTORY)
        set(ARG_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    set(page ${ARG_DIRECTORY}/${ARG_PAGE}.1)
    set(version_option)
    if(ARG_VERSION)
        set(version_option --version-string ${ARG_VERSION})
    endif()
    add_custom_command(OUTPUT ${page}
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0
                ${HELP2MAN} --no-info --section 1 ${version_option}
                --name ${ARG_SUMMARY} --output ${page} $<TARGET_FILE:${ARG_TARGET}>
        DEPENDS ${ARG_TARGET}
        COMMENT "Manual page ${ARG_PAGE}.1"
        VERBATIM)
    add_custom_target(${ARG_PAGE}-man ALL DEPENDS ${page})
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
