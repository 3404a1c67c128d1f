# Skins and the stage: the per-draw skin look-ups and the wallpaper work
# done off the UI thread.
moonshelf_add_bench(bench_stage_state SOURCES ${CMAKE_CURRENT_LIST_DIR}/stage-state/main.cpp LIBS moonshelf_stage)
