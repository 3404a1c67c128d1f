# Tests of the tools side: confinement, file tools, shell, policy and previews.
moonshelf_add_test(test_agent_workspace SOURCES tst_workspace.cpp LIBS moonshelf_agent)
moonshelf_add_test(test_agent_filetools SOURCES tst_filetools.cpp LIBS moonshelf_agent)
moonshelf_add_test(test_agent_shell SOURCES tst_shell.cpp LIBS moonshelf_agent TIMEOUT 120)
moonshelf_add_test(test_agent_guard SOURCES tst_guard.cpp LIBS moonshelf_agent)
moonshelf_add_test(test_agent_preview SOURCES tst_preview.cpp LIBS moonshelf_agent)
