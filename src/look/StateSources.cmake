# target_sources(moonshelf_look PRIVATE ...) and qt_add_resources for skins and stage state.
