# moonshelf_add_test(<name> SOURCES <files...> LIBS <targets...>)
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
  if(MOONSHELF_SANITIZE)
    # Sanitized programs run a few times slower.
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 4")
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;MOONSHELF_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
endfunction()

# moonshelf_add_bench(<name> SOURCES <files...> LIBS <targets...>)
function(moonshelf_add_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()
