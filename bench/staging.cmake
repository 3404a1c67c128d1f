# Staging ten 12-megapixel photos: time per image and peak memory.
moonshelf_add_bench(bench_staging
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/staging/bench_staging.cpp
          ${CMAKE_SOURCE_DIR}/tests/model/tst_staging_fixtures.cpp
  LIBS moonshelf_model PkgConfig::MOONSHELF_HEIF)
target_include_directories(bench_staging PRIVATE ${CMAKE_SOURCE_DIR}/tests/model)
