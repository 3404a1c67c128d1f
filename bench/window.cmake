# The main window: start-up to the first painted frame over a large history,
# and the export of a large session (time and peak memory).
moonshelf_add_bench(bench_window
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window/WindowBench.cpp
  LIBS moonshelf_window moonshelf_benchhistory)
