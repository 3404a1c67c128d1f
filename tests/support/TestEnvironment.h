#pragma once

#include <QString>

namespace testsupport {

// Points HOME and every XDG folder at a fresh temporary folder, so a test
// never touches the user's files. Call before the application object exists.
// Returns the temporary HOME; it is removed at process exit.
QString isolateHome();

// Where tests may leave files for a person to look at (rendered PNGs).
QString outputDirectory();

// How many times longer a wait on real work may take here: the sanitized
// build's factor (MOONSHELF_TEST_TIME_SCALE, set by CMake), else 1. For
// time limits only, never for a time that is itself the behaviour tested.
int timeScale();

} // namespace testsupport
