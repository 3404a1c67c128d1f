# A 1080p video frame made into the stage's picture: the CPU scaler against
# Qt's conversion and a smooth scale, in the same run.
moonshelf_add_bench(bench_video_frames SOURCES ${CMAKE_CURRENT_LIST_DIR}/video-frames/main.cpp LIBS moonshelf_glass)
