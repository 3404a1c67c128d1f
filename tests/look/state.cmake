# Skins, photo credits, and the stage's state, files and actions.
moonshelf_add_test(test_look_skins SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_skins.cpp LIBS moonshelf_look TIMEOUT 60)
moonshelf_add_test(test_look_background_state SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_background_state.cpp
  LIBS moonshelf_look TIMEOUT 60)
moonshelf_add_test(test_look_background_actions
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_background_actions.cpp
          ${CMAKE_SOURCE_DIR}/tests/support/WebImagePeer.cpp ${CMAKE_SOURCE_DIR}/tests/support/WebImagePeer.h
  LIBS moonshelf_look TIMEOUT 120)
