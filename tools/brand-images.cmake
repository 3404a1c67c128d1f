# Draws the application icon (all sizes) and the razevu mark into resources/.
# Run by hand after changing the drawing: cmake --build <dir> --target brand-images
add_executable(moonshelf_brand_images ${CMAKE_CURRENT_LIST_DIR}/brand-images/main.cpp)
target_link_libraries(moonshelf_brand_images PRIVATE Qt6::Gui)
add_custom_target(brand-images
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
          $<TARGET_FILE:moonshelf_brand_images> ${CMAKE_SOURCE_DIR}/resources
  DEPENDS moonshelf_brand_images
  COMMENT "Drawing the application icon and the razevu mark"
  VERBATIM)
