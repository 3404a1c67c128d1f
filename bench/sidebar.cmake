# The session sidebar with 5,000 sessions: search keystrokes and scrolling.
moonshelf_add_bench(bench_sidebar SOURCES ${CMAKE_CURRENT_LIST_DIR}/sidebar/SidebarBench.cpp
  LIBS moonshelf_panels moonshelf_testsupport)
