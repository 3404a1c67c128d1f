# Glass, the stage view, the wallpaper panel and the brand marks, rendered offscreen.
set(moonshelf_paint_test_defs MOONSHELF_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
moonshelf_add_test(test_look_glass
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_glass.cpp ${CMAKE_CURRENT_LIST_DIR}/PaintFixture.h
  LIBS moonshelf_look TIMEOUT 60)
target_compile_definitions(test_look_glass PRIVATE ${moonshelf_paint_test_defs})
moonshelf_add_test(test_look_stage
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_stage.cpp ${CMAKE_CURRENT_LIST_DIR}/PaintFixture.h
  LIBS moonshelf_look TIMEOUT 120)
target_compile_definitions(test_look_stage PRIVATE ${moonshelf_paint_test_defs})
moonshelf_add_test(test_look_wallpaper_panel
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_wallpaper_panel.cpp ${CMAKE_CURRENT_LIST_DIR}/PaintFixture.h
  LIBS moonshelf_look TIMEOUT 60)
target_compile_definitions(test_look_wallpaper_panel PRIVATE ${moonshelf_paint_test_defs})
moonshelf_add_test(test_look_marks
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_marks.cpp ${CMAKE_CURRENT_LIST_DIR}/PaintFixture.h
  LIBS moonshelf_look TIMEOUT 60)
target_compile_definitions(test_look_marks PRIVATE ${moonshelf_paint_test_defs})
