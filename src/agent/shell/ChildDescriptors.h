#pragma once

// Code run between a fork and an exec, in a child that may share the app's
// memory until the exec: not instrumented by the sanitizers, whose
// bookkeeping there would be the app's.
#define MOONSHELF_BEFORE_EXEC __attribute__((no_sanitize("address", "undefined")))

namespace agent::ChildDescriptors {

// In a child between fork and exec: every descriptor but 0, 1, 2 and keep
// (-1: none) is made close-on-exec, so the program run holds none of the
// app's (its connections, pipes, files) whatever flags they were opened
// with. Marked rather than closed: what the process starter itself still
// uses until the exec stays usable. Only system calls.
MOONSHELF_BEFORE_EXEC void keepOnlyStandard(int keep = -1);

} // namespace agent::ChildDescriptors
