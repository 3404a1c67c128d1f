# Chat rendering: streaming replies fragment by fragment, frames, first paint.
moonshelf_add_bench(bench_chat_render SOURCES ${CMAKE_CURRENT_LIST_DIR}/chat-render/main.cpp LIBS moonshelf_chat)
