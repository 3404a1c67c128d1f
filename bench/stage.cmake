# The stage under glass: frames per second and CPU per second of wall time.
moonshelf_add_bench(bench_stage SOURCES ${CMAKE_CURRENT_LIST_DIR}/stage/main.cpp LIBS moonshelf_glass)
target_compile_definitions(bench_stage PRIVATE MOONSHELF_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_include_directories(bench_stage PRIVATE ${CMAKE_SOURCE_DIR}/tests)
