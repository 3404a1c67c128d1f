# The chat pane's list: a 2,000-message session, first frame, scroll frames, widgets alive, width changes.
moonshelf_add_bench(bench_chat_pane SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat-pane/main.cpp LIBS moonshelf_chat)
