# A 1080p video frame made into the stage's picture: the CPU scaler against
# Qt's conversion and a smooth scale, and against libyuv and libswscale,
# in the same run.
find_package(PkgConfig REQUIRED)
pkg_check_modules(SWSCALE REQUIRED IMPORTED_TARGET libswscale)
find_library(LIBYUV yuv REQUIRED)
moonshelf_add_bench(bench_video_frames SOURCES ${CMAKE_CURRENT_LIST_DIR}/video-frames/main.cpp
  LIBS moonshelf_glass PkgConfig::SWSCALE ${LIBYUV})
