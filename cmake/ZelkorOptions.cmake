# SPDX-License-Identifier: GPL-3.0-or-later
# One INTERFACE target carries the language standard, the warnings and the Qt
# defines; every target of the project links it.
add_library(zelkor_options INTERFACE)
target_compile_features(zelkor_options INTERFACE cxx_std_20)
target_compile_options(zelkor_options INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
    -Wcast-align -Woverloaded-virtual -Wnull-dereference -Wimplicit-fallthrough)
option(ZELKOR_FUZZ "Build the fuzz targets (clang's libFuzzer) and the libraries they test, nothing else" OFF)
# The fuzzing build uses another compiler, whose warnings differ; the GCC build
# is the one that keeps the code free of them.
if(NOT ZELKOR_FUZZ)
    target_compile_options(zelkor_options INTERFACE -Werror)
endif()
target_compile_definitions(zelkor_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_FOREACH
    QT_NO_KEYWORDS
    QT_USE_QSTRINGBUILDER
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)
target_include_directories(zelkor_options INTERFACE ${PROJECT_SOURCE_DIR})

option(ZELKOR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(ZELKOR_SANITIZE OR ZELKOR_FUZZ)
    target_compile_options(zelkor_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(zelkor_options INTERFACE -fsanitize=address,undefined)
endif()
# Coverage for libFuzzer in every library a fuzz target reaches.
if(ZELKOR_FUZZ)
    target_compile_options(zelkor_options INTERFACE -fsanitize=fuzzer-no-link)
endif()

# A static library for one subsystem folder: zelkor_add_library(NAME SOURCES... LINKS ...)
function(zelkor_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LINKS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_link_libraries(${name} PUBLIC zelkor_options ${ARG_LINKS})
endfunction()
