#!/usr/bin/env bash
# The real moonshelf executable with the accessibility bridge on, on a
# virtual X screen of its own and a private session bus, while two readers
# walk its whole tree again and again: the window changes as a person works
# (the command palette, the settings window and Tab through it, an approval
# card arriving from a loopback service, the error sheet, a session row's
# menu) and the app must
# live through every round. Then every control of the main and settings
# windows must have a name, and the decorative marks must not be there; the
# conversation reads in order, part by part; and a third reader, listening
# on the bus, heard each reply's words as it streamed and each error's words
# as its sheet came. Last, quitting with an approval card up ends the run and
# the app, cleanly (in a sanitized build, with no leak). Each step waits for
# what it needs, never a fixed while: a loaded machine only makes it slower.
# The waits grow by MOONSHELF_TEST_TIME_SCALE.
# Usage: xvfb-reader.sh <moonshelf> <output folder>
set -euo pipefail
app="$1"; out="$2"
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$out"
rm -f "$out/reader-heard.jsonl"
source "$here/xvfb-home.sh"
project="$home/work/project"
mkdir -p "$project" "$XDG_DATA_HOME/com.ovu.QirvMac" "$XDG_CONFIG_HOME/com.ovu"
# Past the first-run sheet, with a project, so a write can be asked for.
printf '{"hasCompletedOnboarding":true}' > "$XDG_DATA_HOME/com.ovu.QirvMac/settings.json"
printf '[General]\nworkspaceBookmark=%s\n' "$project" > "$XDG_CONFIG_HOME/com.ovu/QirvMac.conf"
export APP="$app" OUT="$out" CLIENT="$here/reader_client.py" ROUNDS="${READER_ROUNDS:-6}"

# A display number nobody else holds: Xvfb picks it and says which.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$home/display" 2>"$out/reader-xvfb.log" &
xvfb=$!
# Whatever ends this script ends its display too.
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$home"' EXIT
for _ in $(seq $((100 * SCALE))); do [ -s "$home/display" ] && break; sleep 0.05; done
[ -s "$home/display" ] || { echo "FAIL: Xvfb did not start"; kill "$xvfb"; exit 1; }
export DISPLAY=":$(cat "$home/display")"

status=0
dbus-run-session -- bash -c '
  set -u
  status=0
  fail() { echo "FAIL: $*"; status=1; }
  started=()
  trap "kill \${started[*]} 2>/dev/null" EXIT
  # The key the app signs in with, in a keyring of this run.
  printf pw | gnome-keyring-daemon --foreground --unlock --components=secrets > /dev/null 2>&1 &
  keyring=$!
  started+=($keyring)
  # Once it holds its name: asked before, the bus would start one of its own.
  for _ in $(seq $((100 * SCALE))); do
    dbus-send --session --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner \
      string:org.freedesktop.secrets 2>/dev/null | grep -q true && break
    sleep 0.05
  done
  printf sk-reader | secret-tool store --label=key user api_key server com.ovu.QirvMac type plaintext ||
    fail "the key could not be stored in the keyring"
  /usr/bin/python3 "$CLIENT" service > "$HOME/port" &
  service=$!
  started+=($service)
  for _ in $(seq $((100 * SCALE))); do [ -s "$HOME/port" ] && break; sleep 0.05; done
  export MOONSHELF_API_BASE="http://127.0.0.1:$(cat "$HOME/port")" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

  "$APP" > "$OUT/reader-launch.log" 2>&1 &
  pid=$!
  started+=($pid)
  alive() { kill -0 "$pid" 2>/dev/null; }
  client() { /usr/bin/python3 "$CLIENT" "$@"; }
  # Waits until a reader finds ROLE NAME showing (a gone app is reported apart).
  awaits() { alive || return 0; client await "$1" "$2" || fail "$3"; }
  # Waits until ROLE NAME no longer shows.
  goes() { alive || return 0; client gone "$1" "$2" || fail "$3"; }
  # The X window shown with exactly this title.
  shown() { timeout $((20 * SCALE)) xdotool search --sync --onlyvisible --name "^$1\$" | head -1; }
  # Waits until the window titled $1 holds the keyboard (the app gives it).
  holds() {
    local id
    id=$(shown "$1") && [ -n "$id" ] || return 1
    for _ in $(seq $((100 * SCALE))); do
      [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ] && return 0
      sleep 0.1
    done
    return 1
  }
  # Waits until no window titled $1 shows.
  closed() {
    for _ in $(seq $((100 * SCALE))); do
      xdotool search --onlyvisible --name "^$1\$" > /dev/null || return 0
      sleep 0.1
    done
    return 1
  }
  # Types a message into the main window and sends it once the field holds it.
  say() {
    xdotool windowfocus --sync "$main" 2>/dev/null || true
    xdotool type --delay 10 "$1"
    client holds "Message" "$1" || fail "the message field did not take \"$1\""
    xdotool key ctrl+Return
  }
  main=$(shown "Moonshelf Mac") || true
  if [ -z "$main" ]; then
    fail "the main window did not appear"
  else
    /usr/bin/python3 "$CLIENT" walk 300 2> "$OUT/reader-walk-1.log" &
    walker1=$!
    /usr/bin/python3 "$CLIENT" walk 300 2> "$OUT/reader-walk-2.log" &
    walker2=$!
    started+=($walker1 $walker2)
    # And one that hears what the bus tells a reader as the person works (a
    # finished reply shows the crew mark, which must say nothing).
    /usr/bin/python3 "$CLIENT" listen "$OUT/reader-heard.jsonl" 2> "$OUT/reader-listen.log" &
    listener=$!
    started+=($listener)
    sleep 1
    for round in $(seq "$ROUNDS"); do
      xdotool windowfocus --sync "$main" 2>/dev/null || true
      xdotool key ctrl+k
      awaits "text" "Command Palette" "the command palette did not open"
      xdotool type --delay 10 "set"; xdotool key Escape
      goes "text" "Command Palette" "the command palette did not close"
      xdotool key ctrl+comma
      holds "Settings" || fail "the settings window did not open with the keyboard"
      for _ in $(seq 12); do xdotool key Tab; sleep 0.04; done
      xdotool key Escape
      closed "Settings" || fail "the settings window did not close"
      say "round $round"
      # The first request fails at once; each later one asks for a write.
      if [ "$round" = 1 ]; then
        awaits "push button" "OK" "the error sheet did not show"
        xdotool key Return
        goes "push button" "OK" "the error sheet did not close"
        alive && continue
        fail "moonshelf died in round $round while readers walked its tree"; break
      fi
      awaits "push button" "Approve" "the approval card did not show"
      if [ "$round" = "$ROUNDS" ] && alive; then
        # With the card up and a reply finished above it.
        client check main || status=1
        client dump main > "$OUT/reader-main.txt" 2>&1 || true
      fi
      # Deny: the run asks again and meets the error sheet.
      xdotool key Escape
      awaits "push button" "OK" "the error sheet did not show"
      if [ "$round" = "$ROUNDS" ] && alive; then
        client check alert || status=1
      fi
      xdotool key Return
      goes "push button" "OK" "the error sheet did not close"
      # The menu of a session row, opened where the row lies and closed again.
      # (The first message names the session.)
      if row=$(client point "list item" "round 1"); then
        xdotool mousemove $row click 3
        if [ "$round" = "$ROUNDS" ] && alive; then
          awaits "popup menu" "Session actions" "the session menu did not open"
          client check menu || status=1
        fi
        xdotool key Escape
        goes "popup menu" "Session actions" "the session menu did not close"
      elif [ "$round" = "$ROUNDS" ]; then
        fail "no session row in the tree to open the menu of"
      fi
      alive || { fail "moonshelf died in round $round while readers walked its tree"; break; }
    done
    if alive; then
      xdotool windowfocus --sync "$main" 2>/dev/null || true
      xdotool key ctrl+comma
      holds "Settings" || fail "the settings window did not open"
      client check settings || status=1
      client dump settings > "$OUT/reader-settings.txt" 2>&1 || true
      xdotool key Escape
      closed "Settings" || fail "the settings window did not close"
    fi
    kill "$walker1" "$walker2" "$listener" 2>/dev/null || true
    wait "$walker1" "$walker2" "$listener" 2>/dev/null || true
    [ -s "$OUT/reader-heard.jsonl" ] || fail "the listener heard nothing from the app"
    client check heard || status=1
  fi
  if ! alive; then
    fail "moonshelf is not running at the end"
    tail -20 "$OUT/reader-launch.log"
  elif [ -n "$main" ]; then
    # Quit while a run waits on its approval card.
    say "the last round"
    awaits "push button" "Approve" "the approval card did not show before quitting"
    xdotool key ctrl+q
    for _ in $(seq $((300 * SCALE))); do alive || break; sleep 0.1; done
    if alive; then
      fail "moonshelf did not quit with an approval card up"
    else
      code=0; wait "$pid" || code=$?
      [ "$code" -eq 0 ] || { fail "moonshelf quit with status $code"; tail -40 "$OUT/reader-launch.log"; }
    fi
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  kill "$service" "$keyring" 2>/dev/null || true
  wait "$service" "$keyring" 2>/dev/null || true
  started=()
  exit $status
' || status=1
[ "$status" -eq 0 ] && echo "PASS: the app lived through $ROUNDS rounds with readers walking its tree; every control has a name ($out/reader-main.txt, $out/reader-settings.txt); it quit cleanly with a run waiting on approval"
exit $status
