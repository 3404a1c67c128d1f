# The chat pane's memory: RSS after 50 replies of 20,000 characters.
moonshelf_add_bench(bench_chat_memory SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat-memory/main.cpp
  LIBS moonshelf_chat moonshelf_testsupport)
