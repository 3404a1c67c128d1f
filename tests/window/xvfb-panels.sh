#!/usr/bin/env bash
# The real moonshelf executable under Xvfb with no window manager, driven by
# keyboard through X as a person would, and nothing but the app moves the
# keyboard between its windows: the window takes it at start, so Ctrl+O
# opens the folder panel; a typed path and Return choose the project folder
# (stored under workspaceBookmark); the keyboard is back in the window, so
# Ctrl+Shift+E opens the save panel; a path typed without its extension and
# Return write the session there as .md.
# Usage: xvfb-panels.sh <moonshelf> <output folder>
set -euo pipefail
app="$1"; out="$2"
mkdir -p "$out"
source "$(dirname "$0")/xvfb-home.sh"
mkdir -p "$home/work/my project" "$XDG_DATA_HOME/com.ovu.QirvMac"
# Past the first-run sheet, so the keys reach the window.
printf '{"hasCompletedOnboarding":true}' > "$XDG_DATA_HOME/com.ovu.QirvMac/settings.json"
export APP="$app" OUT="$out"

xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  set -u
  "$APP" > "$OUT/panels-launch.log" 2>&1 &
  pid=$!
  status=0
  fail() { echo "FAIL: $*"; status=1; }

  # Waits until the visible window titled exactly $1 holds the keyboard.
  holds() {
    local id
    id=$(timeout $((20 * SCALE)) xdotool search --sync --onlyvisible --name "^$1\$" | head -1) || return 1
    [ -n "$id" ] || return 1
    for _ in $(seq $((50 * SCALE))); do
      [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ] && { sleep 0.3; return 0; }
      sleep 0.1
    done
    return 1
  }
  # Whether the visible window titled $1 goes within 5 s (scaled).
  gone() {
    for _ in $(seq $((25 * SCALE))); do
      xdotool search --onlyvisible --name "^$1\$" > /dev/null || return 0
      sleep 0.2
    done
    return 1
  }
  # Types $2 into the panel titled $1 and presses Return (once more if a
  # completion list took the first), until the panel has closed.
  answer() {
    holds "$1" || return 1
    xdotool key ctrl+a
    xdotool type --delay 20 "$2"
    sleep 0.3
    for _ in 1 2 3; do
      xdotool key Return
      gone "$1" && return 0
    done
    return 1
  }
  # Whether the command $@ succeeds within 15 s (scaled).
  within() {
    for _ in $(seq $((75 * SCALE))); do "$@" && return 0; sleep 0.2; done
    return 1
  }

  project="$HOME/work/my project"
  target="$HOME/work/session export.md"
  if ! holds "Moonshelf Mac"; then
    fail "the main window did not appear or did not take the keyboard"
  else
    xdotool key ctrl+o
    answer "Choose the project folder Qirv may read and edit." "$project" || fail "the folder panel did not open or close"
    conf="$XDG_CONFIG_HOME/com.ovu/QirvMac.conf"
    within grep -qF "workspaceBookmark=$project" "$conf" 2>/dev/null || { fail "the folder was not stored"; cat "$conf" 2>/dev/null; }

    holds "Moonshelf Mac" || fail "the keyboard did not come back to the window after the folder panel"
    xdotool key ctrl+shift+e
    answer "Export session" "${target%.md}" || fail "the save panel did not open or close"
    within test -s "$target"
    if ! head -1 "$target" 2>/dev/null | grep -qx "# New session"; then
      fail "the session was not written to the chosen file"
    fi
    [ -s "$target" ] && cp "$target" "$OUT/panels-export.md"
  fi
  kill -0 "$pid" 2>/dev/null || { fail "moonshelf ended early"; cat "$OUT/panels-launch.log"; }
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  exit $status
'
echo "PASS: folder chosen and stored, session exported ($out/panels-export.md)"
