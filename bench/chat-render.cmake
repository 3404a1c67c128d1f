# Chat rendering: streaming replies fragment by fragment, frames, first paint.
moonshelf_add_bench(bench_chat_render SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat-render/main.cpp LIBS moonshelf_chat)
# One finished reply that is a single long paragraph: its first paint in the chat list.
moonshelf_add_bench(bench_long_paragraph SOURCES ${CMAKE_CURRENT_LIST_DIR}/long-paragraph/main.cpp LIBS moonshelf_chat moonshelf_testsupport)
