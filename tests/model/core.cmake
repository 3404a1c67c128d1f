# Records, their JSON, and the conversation and settings stores.
moonshelf_add_test(test_model_records SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_chatrecords.cpp LIBS moonshelf_model)
moonshelf_add_test(test_model_settings SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_settingsstore.cpp LIBS moonshelf_model)
moonshelf_add_test(test_model_conversations
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_conversationstore.cpp ${CMAKE_CURRENT_SOURCE_DIR}/tst_conversationharness.h
  LIBS moonshelf_model)
moonshelf_add_test(test_model_sessions
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/tst_sessionoperations.cpp ${CMAKE_CURRENT_SOURCE_DIR}/tst_conversationharness.h
  LIBS moonshelf_model)
