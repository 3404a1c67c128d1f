# The engine side of the agent layer: the streaming client, the request
# context and the agent loop.
target_sources(moonshelf_agent PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AgentRuntime.cpp ${CMAKE_CURRENT_LIST_DIR}/AgentRuntime.h
  ${CMAKE_CURRENT_LIST_DIR}/OneShot.h
  ${CMAKE_CURRENT_LIST_DIR}/OVUAssistantTurn.h
  ${CMAKE_CURRENT_LIST_DIR}/OVUClient.cpp ${CMAKE_CURRENT_LIST_DIR}/OVUClient.h
  ${CMAKE_CURRENT_LIST_DIR}/OVUClientError.cpp ${CMAKE_CURRENT_LIST_DIR}/OVUClientError.h
  ${CMAKE_CURRENT_LIST_DIR}/RequestContext.cpp ${CMAKE_CURRENT_LIST_DIR}/RequestContext.h
  ${CMAKE_CURRENT_LIST_DIR}/RunCancellation.h
  ${CMAKE_CURRENT_LIST_DIR}/SseAssembler.cpp ${CMAKE_CURRENT_LIST_DIR}/SseAssembler.h
  ${CMAKE_CURRENT_LIST_DIR}/StreamExchange.cpp ${CMAKE_CURRENT_LIST_DIR}/StreamExchange.h
  ${CMAKE_CURRENT_LIST_DIR}/SystemPrompt.cpp ${CMAKE_CURRENT_LIST_DIR}/SystemPrompt.h
)
