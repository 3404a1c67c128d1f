# The controller: click to first request byte, and a long streamed reply.
moonshelf_add_bench(bench_app
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app/AppBench.cpp
          ${CMAKE_CURRENT_LIST_DIR}/app/FirstBytePeer.cpp ${CMAKE_CURRENT_LIST_DIR}/app/FirstBytePeer.h
  LIBS moonshelf_app moonshelf_testsupport)
target_include_directories(bench_app PRIVATE ${CMAKE_CURRENT_LIST_DIR}/app)
