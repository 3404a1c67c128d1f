# Glass, the stage view, the wallpaper panel and the brand marks, rendered offscreen.
function(moonshelf_add_paint_test name source timeout)
  moonshelf_add_test(${name}
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/${source} ${CMAKE_CURRENT_LIST_DIR}/PaintFixture.h
    LIBS moonshelf_look TIMEOUT ${timeout})
  target_compile_definitions(${name} PRIVATE MOONSHELF_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endfunction()

moonshelf_add_paint_test(test_look_glass tst_glass.cpp 60)
moonshelf_add_paint_test(test_look_stage tst_stage.cpp 120)
moonshelf_add_paint_test(test_look_wallpaper_panel tst_wallpaper_panel.cpp 60)
moonshelf_add_paint_test(test_look_marks tst_marks.cpp 60)
