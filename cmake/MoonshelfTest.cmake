# Sanitized programs run a few times slower: each test's time limit, and the
# waits of the scripts that drive the real window (told through the
# environment variable of the same name), grow by this factor.
if(MOONSHELF_SANITIZE)
  set(MOONSHELF_TEST_TIME_SCALE 4)
else()
  set(MOONSHELF_TEST_TIME_SCALE 1)
endif()

# moonshelf_test_limits(<test> <seconds> <environment...>)
# The test's time limit (scaled) and environment, with the time scale in it.
function(moonshelf_test_limits name seconds)
  math(EXPR seconds "${seconds} * ${MOONSHELF_TEST_TIME_SCALE}")
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${seconds}
    ENVIRONMENT "${ARGN};MOONSHELF_TEST_TIME_SCALE=${MOONSHELF_TEST_TIME_SCALE}")
endfunction()

# moonshelf_add_test(<name> SOURCES <files...> LIBS <targets...> [TIMEOUT <seconds>])
# One Qt Test executable per area. Each runs offscreen in its own temporary
# HOME (set up by tests/support/TestMain.h), never in the user's folders.
function(moonshelf_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE moonshelf_testsupport Qt6::Test ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  moonshelf_test_limits(${name} ${ARG_TIMEOUT}
    QT_QPA_PLATFORM=offscreen MOONSHELF_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output)
endfunction()

# moonshelf_add_bench(<name> SOURCES <files...> LIBS <targets...>)
function(moonshelf_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()
