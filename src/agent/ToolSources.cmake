# The tools side of the agent layer: tool schemas, the project folder and its
# path confinement, the tool router and its shell, the tool guard and previews.
target_sources(moonshelf_agent PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ApprovalPreview.cpp ${CMAKE_CURRENT_LIST_DIR}/ApprovalPreview.h
  ${CMAKE_CURRENT_LIST_DIR}/CommandTables.cpp ${CMAKE_CURRENT_LIST_DIR}/CommandTables.h
  ${CMAKE_CURRENT_LIST_DIR}/ConfinedWrite.cpp ${CMAKE_CURRENT_LIST_DIR}/ConfinedWrite.h
  ${CMAKE_CURRENT_LIST_DIR}/FileReading.cpp ${CMAKE_CURRENT_LIST_DIR}/FileReading.h
  ${CMAKE_CURRENT_LIST_DIR}/FileTools.cpp ${CMAKE_CURRENT_LIST_DIR}/FileTools.h
  ${CMAKE_CURRENT_LIST_DIR}/LineDiff.cpp ${CMAKE_CURRENT_LIST_DIR}/LineDiff.h
  ${CMAKE_CURRENT_LIST_DIR}/PathResolution.cpp ${CMAKE_CURRENT_LIST_DIR}/PathResolution.h
  ${CMAKE_CURRENT_LIST_DIR}/PolicyEngine.cpp ${CMAKE_CURRENT_LIST_DIR}/PolicyEngine.h
  ${CMAKE_CURRENT_LIST_DIR}/PreviewText.cpp ${CMAKE_CURRENT_LIST_DIR}/PreviewText.h
  ${CMAKE_CURRENT_LIST_DIR}/ShellRunner.cpp ${CMAKE_CURRENT_LIST_DIR}/ShellRunner.h
  ${CMAKE_CURRENT_LIST_DIR}/TextSearch.cpp ${CMAKE_CURRENT_LIST_DIR}/TextSearch.h
  ${CMAKE_CURRENT_LIST_DIR}/ToolArguments.cpp ${CMAKE_CURRENT_LIST_DIR}/ToolArguments.h
  ${CMAKE_CURRENT_LIST_DIR}/ToolDefinitions.cpp ${CMAKE_CURRENT_LIST_DIR}/ToolDefinitions.h
  ${CMAKE_CURRENT_LIST_DIR}/ToolExecutionResult.h
  ${CMAKE_CURRENT_LIST_DIR}/ToolRouter.cpp ${CMAKE_CURRENT_LIST_DIR}/ToolRouter.h
  ${CMAKE_CURRENT_LIST_DIR}/WorkspaceError.cpp ${CMAKE_CURRENT_LIST_DIR}/WorkspaceError.h
  ${CMAKE_CURRENT_LIST_DIR}/WorkspaceManager.cpp ${CMAKE_CURRENT_LIST_DIR}/WorkspaceManager.h
)
