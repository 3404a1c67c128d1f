# The prose clean-up on long single lines: ordinary prose and hostile input.
moonshelf_add_bench(bench_markdown_text SOURCES ${CMAKE_CURRENT_LIST_DIR}/markdown-text/main.cpp LIBS moonshelf_chat_markdown_text)
