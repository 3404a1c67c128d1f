# Tests of the streaming client, the request context and the agent loop.
moonshelf_add_test(test_agent_sse SOURCES tst_sse_assembler.cpp LIBS moonshelf_agent TIMEOUT 60)
moonshelf_add_test(test_agent_context SOURCES tst_request_context.cpp LIBS moonshelf_agent TIMEOUT 60)
moonshelf_add_test(test_agent_client SOURCES tst_ovu_client.cpp ../support/TaskWait.h LIBS moonshelf_agent TIMEOUT 120)
moonshelf_add_test(test_agent_runtime SOURCES tst_agent_runtime.cpp ../support/TaskWait.h LIBS moonshelf_agent TIMEOUT 120)
