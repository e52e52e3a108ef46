# Every library, program, test, benchmark and fuzz target of the project is made by
# velloran_target, so that none can miss the project's warnings, definitions or header folder:
#
#   velloran_target(NAME KIND [HEADERS prefix] [OUTPUT_NAME name] [INSTALL] [MANUAL page.1.in]
#                   SOURCES file... [PUBLIC lib...] [PRIVATE lib...])
#
# KIND is what the target is:
#   LIBRARY       a static library of a program, or one the programs share
#   PROGRAM       a program or a developer tool, into build/bin
#   TEST_LIBRARY  a static library the tests share
#   TEST          a Qt Test program, run by CTest under the offscreen platform
#   BENCH         a benchmark, into build/bin
#   FUZZ          a libFuzzer target, run by CTest from its seed corpus for a few seconds
#
# HEADERS shows the target's folder (the one its CMakeLists.txt is in) as "prefix/Header.h" to
# itself and to whoever links it, from a folder of links of its own: an include that reaches a
# library not linked (core including ui) fails to compile.
#
# INSTALL puts a PROGRAM into the installation's bin folder, and MANUAL its manual page (a
# template that takes @PROJECT_VERSION@ and the like), compressed as Debian wants it, into
# man1. The programs installed are listed in the global property VELLORAN_INSTALLED, their
# pages' targets in VELLORAN_MANUALS, for the package to build them first.
#
# The stricter warnings are set per target, not globally, so that Qt's own headers, which come
# in as system headers, are not judged by them. The programs and their libraries also refuse
# silent const char* to QString: each text says whether it is Latin-1 or UTF-8. Tests,
# benchmarks and fuzz targets, full of literal expected texts, keep the implicit form.

set(VELLORAN_WARNINGS -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wcast-qual -Wformat=2)
set(VELLORAN_FUZZ_SECONDS 5 CACHE STRING "How long CTest runs each fuzz target")

function(velloran_target name kind)
    cmake_parse_arguments(PARSE_ARGV 2 arg "INSTALL" "HEADERS;OUTPUT_NAME;MANUAL"
                          "SOURCES;PUBLIC;PRIVATE")
    if(arg_UNPARSED_ARGUMENTS)
        message(FATAL_ERROR "velloran_target(${name}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
    endif()
    if(kind STREQUAL "LIBRARY" OR kind STREQUAL "TEST_LIBRARY")
        add_library(${name} STATIC ${arg_SOURCES})
    elseif(kind MATCHES "^(PROGRAM|TEST|BENCH|FUZZ)$")
        add_executable(${name} ${arg_SOURCES})
    else()
        message(FATAL_ERROR "velloran_target(${name}): unknown kind ${kind}")
    endif()

    target_compile_options(${name} PRIVATE ${VELLORAN_WARNINGS})
    if(kind STREQUAL "LIBRARY" OR kind STREQUAL "PROGRAM")
        target_compile_definitions(${name} PRIVATE QT_NO_CAST_FROM_ASCII)
    endif()
    if(arg_HEADERS)
        set(stage ${CMAKE_BINARY_DIR}/headers/${name})
        get_filename_component(parent ${stage}/${arg_HEADERS} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${stage}/${arg_HEADERS} SYMBOLIC)
        target_include_directories(${name} PUBLIC ${stage})
    endif()
    if(arg_PUBLIC)
        target_link_libraries(${name} PUBLIC ${arg_PUBLIC})
    endif()
    if(arg_PRIVATE)
        target_link_libraries(${name} PRIVATE ${arg_PRIVATE})
    endif()
    if(kind MATCHES "^(PROGRAM|BENCH)$")
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    endif()
    if(arg_OUTPUT_NAME)
        set_target_properties(${name} PROPERTIES OUTPUT_NAME ${arg_OUTPUT_NAME})
    endif()
    if((arg_INSTALL OR arg_MANUAL) AND NOT kind STREQUAL "PROGRAM")
        message(FATAL_ERROR "velloran_target(${name}): only a PROGRAM is installed")
    endif()
    if(arg_INSTALL)
        install(TARGETS ${name} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
        set_property(GLOBAL APPEND PROPERTY VELLORAN_INSTALLED ${name})
    endif()
    if(arg_MANUAL)
        set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
        configure_file(${arg_MANUAL} ${page} @ONLY)
        add_custom_command(OUTPUT ${page}.gz COMMAND gzip -9n -c ${page} > ${page}.gz
                           DEPENDS ${page} VERBATIM)
        add_custom_target(${name}_manual ALL DEPENDS ${page}.gz)
        install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
        set_property(GLOBAL APPEND PROPERTY VELLORAN_MANUALS ${name}_manual)
    endif()
    if(kind STREQUAL "TEST")
        add_test(NAME ${name} COMMAND ${name})
        set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    elseif(kind STREQUAL "FUZZ")
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        # New inputs found go to the build folder, never to the seeds.
        set(found ${CMAKE_CURRENT_BINARY_DIR}/found-${name})
        file(MAKE_DIRECTORY ${found})
        add_test(NAME ${name}
                 COMMAND ${name} -max_total_time=${VELLORAN_FUZZ_SECONDS} -rss_limit_mb=2048
                         -timeout=10 -print_final_stats=1 ${found}
                         ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${name})
    endif()
    set_property(GLOBAL APPEND PROPERTY VELLORAN_TARGETS ${name})
endfunction()

# Called once every folder is read: a library of any kind (static, shared, module or object) or
# an executable made by add_library or add_executable directly, without the project's
# warnings, stops the configuration.
function(velloran_check_targets)
    get_property(made GLOBAL PROPERTY VELLORAN_TARGETS)
    set(folders ${CMAKE_SOURCE_DIR})
    set(count 0)
    while(folders)
        list(POP_FRONT folders folder)
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
                if(NOT target IN_LIST made)
                    message(FATAL_ERROR "${target} (in ${folder}) is not made by velloran_target, "
                                        "so it would build without the project's warnings")
                endif()
                math(EXPR count "${count} + 1")
            endif()
        endforeach()
        get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
        list(APPEND folders ${subfolders})
    endwhile()
    message(STATUS "Velloran: ${count} targets, each with the project's warnings")
endfunction()
