# What the whole main window costs: idle over each kind of stage, a long
# reply streaming with and without a wallpaper, and keys typed meanwhile.
moonshelf_add_bench(bench_window_costs SOURCES ${CMAKE_CURRENT_LIST_DIR}/window-costs/WindowCostsBench.cpp
  LIBS moonshelf_windowtestkit moonshelf_benchhistory)
