# SPDX-License-Identifier: GPL-3.0-or-later
# Options shared by every target of the project, gathered in one interface
# library so that the libraries, programs, tests and benchmarks agree.
add_library(quarvel_options INTERFACE)
add_library(Quarvel::options ALIAS quarvel_options)

target_compile_options(quarvel_options INTERFACE
  -Wall -Wextra -Wpedantic
  # Reproducible arithmetic: the transforms and the calibration chain are
  # specified as sequences of rounded operations, so no fused multiply-add.
  -ffp-contract=off)

if(QUARVEL_SANITIZE STREQUAL "address")
  # A debug build keeps its assertions but is optimised a little: without
  # it the simulated measurements run ten times slower than in a release
  # build, and the sanitizers find as much.
  target_compile_options(quarvel_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer
    $<$<CONFIG:Debug>:-O1>)
  target_link_options(quarvel_options INTERFACE -fsanitize=address,undefined)
elseif(QUARVEL_SANITIZE STREQUAL "thread")
  target_compile_options(quarvel_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(quarvel_options INTERFACE -fsanitize=thread)
elseif(QUARVEL_SANITIZE STREQUAL "fuzz")
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUARVEL_SANITIZE=fuzz needs clang (libFuzzer): use the 'fuzz' preset")
  endif()
  # Every library instrumented for coverage; only the fuzz programs link
  # libFuzzer's main.
  target_compile_options(quarvel_options INTERFACE
    -fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(quarvel_options INTERFACE -fsanitize=address,undefined)
elseif(NOT QUARVEL_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QUARVEL_SANITIZE must be empty, 'address', 'thread' or 'fuzz'")
endif()
