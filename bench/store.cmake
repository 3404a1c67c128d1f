# Conversation store against raw file I/O on a large history.
moonshelf_add_bench(bench_store SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/store/StoreBench.cpp LIBS moonshelf_model)
