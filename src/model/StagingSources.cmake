# target_sources(moonshelf_model PRIVATE ...) for staging and the catalog.
