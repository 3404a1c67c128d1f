# target_sources(moonshelf_agent PRIVATE ...) for the engine side.
