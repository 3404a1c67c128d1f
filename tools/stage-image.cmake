# The first-run stage image, resources/default-stage.webp, painted by our own
# generator with a fixed seed. To render it again:
#   cmake --build <build> --target stage-image && <build>/tools/stage-image resources/default-stage.webp
add_executable(stage-image ${CMAKE_CURRENT_LIST_DIR}/stage-image/main.cpp)
target_link_libraries(stage-image PRIVATE Qt6::Gui)
