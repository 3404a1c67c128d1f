# The project file tree on a large folder and the tool log with many entries.
moonshelf_add_bench(bench_panels SOURCES ${CMAKE_CURRENT_LIST_DIR}/panels/PanelsBench.cpp LIBS moonshelf_panels Qt6::Test)
