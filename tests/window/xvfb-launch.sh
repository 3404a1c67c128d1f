#!/usr/bin/env bash
# The real moonshelf executable under Xvfb, in a temporary HOME with no
# credentials: its window appears with the stage under the title strip, and
# a second launch brings that window forward, says that one is running and
# exits 0.
# Usage: xvfb-launch.sh <moonshelf> <screen_check> <output folder>
set -euo pipefail
app="$1"; check="$2"; out="$3"
mkdir -p "$out"
source "$(dirname "$0")/xvfb-home.sh"
export APP="$app" CHECK="$check" OUT="$out"

xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
  set -u
  "$APP" > "$OUT/first-launch.log" 2>&1 &
  first=$!
  status=0
  if ! "$CHECK" "$OUT/moonshelf-xvfb.png" $((30 * SCALE)); then
    echo "FAIL: the window did not appear as expected"; status=1
  fi
  if ! kill -0 "$first" 2>/dev/null; then
    echo "FAIL: the first launch ended early"; cat "$OUT/first-launch.log"; status=1
  fi
  kill "$first" 2>/dev/null || true
  wait "$first" 2>/dev/null || true
  # Again past the first-run sheet, so nothing lies over the stage.
  printf "{\"hasCompletedOnboarding\":true}" > "$XDG_DATA_HOME/com.ovu.QirvMac/settings.json"
  "$APP" > "$OUT/third-launch.log" 2>&1 &
  third=$!
  if ! "$CHECK" "$OUT/moonshelf-xvfb-stage.png" $((30 * SCALE)) sky; then
    echo "FAIL: the stage does not show under the title strip"; status=1
  fi
  # A second launch brings the running window forward (here from behind its
  # settings window), says why on stderr and exits 0.
  main=$(timeout $((30 * SCALE)) xdotool search --sync --onlyvisible --name "^Moonshelf Mac\$" | head -1)
  xdotool windowfocus --sync "$main" && xdotool key ctrl+comma
  timeout $((30 * SCALE)) xdotool search --sync --onlyvisible --name "^Settings\$" > /dev/null
  # Looked at until it holds (or 10 s, scaled): how soon depends on the machine.
  focused() { for _ in $(seq $((50 * SCALE))); do [ "$(xdotool getwindowfocus)" "$1" "$main" ] && return 0; sleep 0.2; done; return 1; }
  focused != || { echo "FAIL: the settings window did not take the keyboard"; status=1; }
  second=0
  timeout $((20 * SCALE)) "$APP" > "$OUT/second-launch.log" 2>&1 || second=$?
  if [ "$second" -ne 0 ]; then
    echo "FAIL: a second launch did not hand over and exit 0 (status $second)"; cat "$OUT/second-launch.log"; status=1
  elif ! grep -q "Moonshelf Mac is already running" "$OUT/second-launch.log"; then
    echo "FAIL: a second launch did not say that one is running"; cat "$OUT/second-launch.log"; status=1
  fi
  focused = || { echo "FAIL: the running window did not come forward"; status=1; }
  kill "$third" 2>/dev/null || true
  wait "$third" 2>/dev/null || true
  exit $status
'
echo "PASS: window shown ($out/moonshelf-xvfb.png), stage under the title strip ($out/moonshelf-xvfb-stage.png), second launch handed over"
