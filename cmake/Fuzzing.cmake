# Coverage-guided fuzzing with libFuzzer under AddressSanitizer and UBSan. Needs clang; the
# fuzz preset sets it. Every library a fuzz target links is instrumented for coverage.
option(VANTREL_FUZZ "Build the libFuzzer targets (clang) under ASan and UBSan" OFF)
if(VANTREL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "VANTREL_FUZZ needs clang (cmake --preset fuzz)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
