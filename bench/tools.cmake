# Costs of the tools: file tools on large inputs, the line diff, and the fixed
# cost of a login shell.
moonshelf_add_bench(bench_tools SOURCES ${CMAKE_CURRENT_LIST_DIR}/tools/bench_tools.cpp LIBS moonshelf_agent)
