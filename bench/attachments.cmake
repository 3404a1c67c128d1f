# Attachment chips and the welcome card: keystroke-to-paint with 10 images
# staged; the connect capsule's CPU while shown and while hidden.
moonshelf_add_bench(bench_attachments SOURCES ${CMAKE_CURRENT_LIST_DIR}/attachments/main.cpp
  LIBS moonshelf_chat moonshelf_testsupport)
