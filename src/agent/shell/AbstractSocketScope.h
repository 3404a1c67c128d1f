#pragma once

#include "platform/UniqueFd.h"

namespace agent::AbstractSocketScope {

// Whether the kernel can keep a process from abstract Unix sockets made
// outside its own Landlock domain (Linux 6.12 and later). A network namespace
// shared with the session leaves them reachable otherwise: a session bus or
// an X server listening on one.
bool available();

// The ruleset a command is confined with: it handles no file or network
// access, only the scope, and withSignals, signals too: none reaches a
// process outside the scope, nor does a trace. Closed on exec. Invalid where
// not available.
platform::UniqueFd prepare(bool withSignals = false);

// Confines the calling process (and all it starts) with the ruleset, setting
// no_new_privs first where the process may not do it without. Only system
// calls: safe between fork and exec. Whether it took effect.
bool applyToSelf(int ruleset);

} // namespace agent::AbstractSocketScope
