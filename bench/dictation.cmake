moonshelf_add_bench(bench_dictation
  SOURCES dictation/bench_dictation.cpp
  LIBS moonshelf_dictation)
