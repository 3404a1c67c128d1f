# Checked builds, each in a tree of its own (scripts/test.sh makes them):
# MOONSHELF_SANITIZE  the address, undefined-behaviour and leak sanitizers
#                     over the whole project (GCC); the tests run in it.
# MOONSHELF_FUZZ      libFuzzer targets under fuzz/ (clang), with the address
#                     and undefined-behaviour sanitizers.
option(MOONSHELF_SANITIZE "Build with ASan, UBSan and LSan" OFF)
option(MOONSHELF_FUZZ "Build the libFuzzer targets (clang)" OFF)

if(MOONSHELF_SANITIZE OR MOONSHELF_FUZZ)
  # Small debug info: line tables are enough for the reports' stacks, and
  # fuller info in every statically linked test program fills gigabytes.
  add_compile_options(-g1 -fno-omit-frame-pointer -fsanitize=address,undefined
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-gz)
    add_link_options(-gz)
    # GCC's sanitizers make it see uninitialised reads that are not there
    # (std::variant moves, above all); its manual advises against -Werror
    # with them. The normal build still fails on this warning.
    add_compile_options(-Wno-error=maybe-uninitialized)
  endif()
endif()

if(MOONSHELF_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "MOONSHELF_FUZZ needs clang (libFuzzer): -DCMAKE_CXX_COMPILER=clang++-14")
  endif()
  # Coverage for the fuzzer in every library; only the targets get its main().
  # Clang 14 cannot place the function-type check's prologue in coroutines
  # ("Cannot represent a difference across sections").
  add_compile_options(-fsanitize=fuzzer-no-link -fno-sanitize=function
                      -fsanitize-ignorelist=${CMAKE_SOURCE_DIR}/tests/sanitize/ubsan-ignorelist.txt)
endif()

# RapidJSON's SSE2 scans read up to 15 bytes past the end of a buffer (within
# the aligned block, so harmless), which stops the address sanitizer at the
# first parse. Defined here, not per file, so that every file that includes
# RapidJSON sees the same inline functions.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64" AND NOT MOONSHELF_SANITIZE AND NOT MOONSHELF_FUZZ)
  add_compile_definitions(RAPIDJSON_SSE2)
endif()
