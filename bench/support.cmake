# What several benchmarks share: a generated history in an application folder.
add_library(moonshelf_benchhistory STATIC ${CMAKE_CURRENT_LIST_DIR}/support/BenchHistory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/BenchHistory.h)
target_link_libraries(moonshelf_benchhistory PUBLIC moonshelf_model)
target_include_directories(moonshelf_benchhistory PUBLIC ${CMAKE_CURRENT_LIST_DIR}/support)
