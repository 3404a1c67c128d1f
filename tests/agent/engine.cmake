# Tests of the streaming client, the request context and the agent loop.
moonshelf_add_test(tst_sse_assembler SOURCES tst_sse_assembler.cpp LIBS moonshelf_agent TIMEOUT 60)
moonshelf_add_test(tst_request_context SOURCES tst_request_context.cpp LIBS moonshelf_agent TIMEOUT 60)
moonshelf_add_test(tst_ovu_client SOURCES tst_ovu_client.cpp LIBS moonshelf_agent TIMEOUT 120)
moonshelf_add_test(tst_agent_runtime SOURCES tst_agent_runtime.cpp LIBS moonshelf_agent TIMEOUT 120)
