#pragma once

// Where a write lands, judged as a class: the targets any program names by
// an option's shape or by its operands, the places whose contents run later
// outside any box (git hooks and settings), and the places the app takes
// its credentials from.

#include "agent/guard/CommandReviewer.h"

#include <QString>

#include <optional>

namespace agent::CommandReview {

// Output options by their shape (-o FILE, --output=FILE, --output-dir DIR,
// of=FILE, ...), in-place rewriters, archive and positional outputs, and the
// folders a command works in (patch -d, git -C, git apply --directory,
// make -C), for the programs the named writers do not cover.
void judgeTargets(Review &review, const Invocation &inv, Scope &scope);

// Checks of a place written that come before every other: a place the app
// takes credentials from, and git's hooks and repository settings.
void judgeLanding(Review &review, const Place &place);

// A place made (mkdir, touch): only what a new file or folder plants there.
void judgeMade(Review &review, const Place &place);

// git config, git clone --config and git init --template: settings and hooks
// that run programs at a later git command.
void judgeGitSettings(Review &review, const Invocation &inv, Scope &scope);

// GIT_CONFIG_PARAMETERS, GIT_CONFIG_KEY_n / GIT_CONFIG_VALUE_n and
// GIT_CONFIG_GLOBAL before git: one-shot settings, judged as "git -c" ones.
void judgeGitEnvironment(Review &review, const std::vector<const Word *> &assignments, Scope &scope);

// Whether a git setting, given this value, makes git run a program: hooks,
// pagers, editors, helpers, drivers, filters, "!" aliases, includes ...
bool settingRunsProgram(const QString &key, const QString &value);
// Whether a setting's value is a program's command line (core.pager,
// diff.NAME.textconv, gpg.program ...), whatever the value.
bool settingNamesProgram(const QString &key);

// ".git/hooks/pre-commit", ".git/config": a place whose contents git runs or
// reads for programs to run; nothing for other places.
std::optional<QString> gitPersistence(const Place &p);

// A place the app reads a credential from, its data folder, or a place
// inside them; nothing for other places.
bool isAppCredentialPlace(const Place &p);

} // namespace agent::CommandReview
