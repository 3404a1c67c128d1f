# The guard's worst time on short hostile command lines.
moonshelf_add_bench(bench_guard SOURCES ${CMAKE_CURRENT_LIST_DIR}/guard/bench_guard.cpp LIBS moonshelf_agent_guard)
