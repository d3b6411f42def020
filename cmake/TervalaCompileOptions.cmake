# Options every Tervala target compiles with.
#
# -ffp-contract=off: many expressions have a fixed order and grouping, and the
# results must be the doubles that order gives. A fused multiply-add rounds
# once where the written expression rounds twice, so contraction is off
# everywhere and fast-math is never used.

set(TERVALA_WARNINGS -Wall -Wextra -Wpedantic)
set(TERVALA_FP_FLAGS -ffp-contract=off -fno-fast-math)

if(TERVALA_SANITIZE)
  set(TERVALA_SANITIZER_FLAGS -fsanitize=address,undefined
      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${TERVALA_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()

# The fuzzing build: every target instrumented for libFuzzer's coverage and
# checked by AddressSanitizer and UndefinedBehaviorSanitizer.
if(TERVALA_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TERVALA_BUILD_FUZZERS needs clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The WebAssembly build (emscripten): C++ exceptions stay on everywhere, as the
# library's own catch blocks and its refusals by exception need them (without
# -fexceptions a throw aborts the whole module), and the memory grows on
# demand for grids and coefficient tables.
if(EMSCRIPTEN)
  add_compile_options(-fexceptions)
  add_link_options(-fexceptions "SHELL:-s ALLOW_MEMORY_GROWTH=1")
endif()

function(tervala_target_options target)
  target_compile_options(${target} PRIVATE ${TERVALA_WARNINGS} ${TERVALA_FP_FLAGS})
endfunction()
