# The real executable under Xvfb: exec to the first frame that shows the
# window drawn, read back from the X server after each damage report, beside
# a plain Qt window (bench_first_frame); idle CPU (real-window/idle-cpu.sh);
# a looping video stage against ffmpeg decoding and scaling the same file
# (real-window/video-stage.sh).
find_package(PkgConfig REQUIRED)
pkg_check_modules(XCB_DAMAGE REQUIRED IMPORTED_TARGET xcb xcb-damage)
moonshelf_add_bench(bench_first_frame SOURCES ${CMAKE_CURRENT_LIST_DIR}/real-window/FirstFrame.cpp
  LIBS moonshelf_benchhistory PkgConfig::XCB_DAMAGE Qt6::Widgets)
target_compile_definitions(bench_first_frame PRIVATE MOONSHELF_EXECUTABLE="$<TARGET_FILE:moonshelf>")
# The real executable driven from outside (XTest) and watched on the screen
# (Damage and the pixels): keys typed while a reply streams, against a plain
# line edit, and wheel steps through a long session.
pkg_check_modules(XCB_XTEST REQUIRED IMPORTED_TARGET xcb-xtest)
moonshelf_add_bench(bench_real_window_chat SOURCES ${CMAKE_CURRENT_LIST_DIR}/real-window/ChatWindow.cpp
  LIBS moonshelf_benchhistory moonshelf_testsupport moonshelf_model moonshelf_platform Qt6::Widgets PkgConfig::XCB_DAMAGE
  PkgConfig::XCB_XTEST)
target_compile_definitions(bench_real_window_chat PRIVATE MOONSHELF_EXECUTABLE="$<TARGET_FILE:moonshelf>")
