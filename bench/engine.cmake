# The streaming client, the request context and the agent loop against the
# loopback service.
moonshelf_add_bench(bench_engine
  SOURCES engine/bench_engine.cpp engine/EventPeer.cpp engine/EventPeer.h
  LIBS moonshelf_agent moonshelf_testsupport)
