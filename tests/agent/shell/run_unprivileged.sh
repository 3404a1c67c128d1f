#!/bin/sh
# Runs a test program as the unprivileged user nobody, with a HOME and a
# temporary folder of its own, so real commands are tried in the sandbox as a
# normal person meets it (in a user namespace), not only as root. Prepares a
# setuid-root copy of cat and a file only root may read, for the test of what
# setuid programs can do in the sandbox, and a copy of the helper that runs a
# command as the app does. Exit 77 (skipped) when not root.
set -eu
program=$1
if [ "$(id -u)" != 0 ]; then
  echo "not root: the test program already runs unprivileged"
  exit 77
fi
user=nobody
group=$(id -gn "$user") || { echo "no user $user"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
chmod 755 "$dir"
cp "$program" "$dir/test"
helper=
if [ -n "${MOONSHELF_TEST_RUNNER_HELPER:-}" ]; then
  cp "$MOONSHELF_TEST_RUNNER_HELPER" "$dir/runner-helper"
  helper="$dir/runner-helper"
fi
cp /bin/cat "$dir/setuid-cat"
chmod 4755 "$dir/setuid-cat"
echo "root only" > "$dir/root-only"
chmod 600 "$dir/root-only"
mkdir "$dir/home"
chown "$user:$group" "$dir/home"
status=0
setpriv --reuid="$user" --regid="$group" --clear-groups \
  env HOME="$dir/home" TMPDIR="$dir/home" \
      MOONSHELF_TEST_SETUID_PROGRAM="$dir/setuid-cat" MOONSHELF_TEST_ROOT_ONLY_FILE="$dir/root-only" \
      MOONSHELF_TEST_RUNNER_HELPER="$helper" \
  "$dir/test" || status=$?
exit "$status"
