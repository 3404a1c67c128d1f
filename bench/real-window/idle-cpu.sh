#!/usr/bin/env bash
# The real moonshelf executable under Xvfb, idle: CPU per second of wall
# time read from /proc/<pid>/stat, with the first-run sheet up and without
# it, for the default stage, a still image and no stage.
# Usage: idle-cpu.sh <moonshelf> [seconds per sample] [samples]
# Prints "name value unit" lines (the median of the samples).
set -euo pipefail
app="$(realpath "$1")"; seconds="${2:-4}"; samples="${3:-3}"
tick=$(getconf CLK_TCK)

measure() { # name, settings json (or empty), background json (or empty)
  local name="$1" settings="$2" background="$3"
  local home; home="$(mktemp -d)"
  mkdir -p "$home/run" "$home/share/com.ovu.QirvMac" && chmod 0700 "$home/run"
  [ -n "$settings" ] && printf '%s' "$settings" > "$home/share/com.ovu.QirvMac/settings.json"
  [ -n "$background" ] && printf '%s' "$background" > "$home/share/com.ovu.QirvMac/background.json"
  HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/share" XDG_CONFIG_HOME="$home/config" \
  XDG_CACHE_HOME="$home/cache" QT_QPA_PLATFORM=xcb APP="$app" SECONDS_PER="$seconds" SAMPLES="$samples" \
  TICK="$tick" NAME="$name" \
    xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
      "$APP" >/dev/null 2>&1 &
      pid=$!
      sleep 4 # started, first frames painted, images decoded
      values=()
      for i in $(seq "$SAMPLES"); do
        read -r -a a < <(cut -d")" -f2- /proc/$pid/stat)
        t0=$(date +%s.%N); c0=$(( a[11] + a[12] ))
        sleep "$SECONDS_PER"
        read -r -a b < <(cut -d")" -f2- /proc/$pid/stat)
        t1=$(date +%s.%N); c1=$(( b[11] + b[12] ))
        values+=("$(echo "($c1 - $c0) / $TICK / ($t1 - $t0)" | bc -l)")
      done
      kill "$pid"; wait "$pid" 2>/dev/null || true
      median=$(printf "%s\n" "${values[@]}" | sort -g | sed -n "$(( (SAMPLES + 1) / 2 ))p")
      printf "%s %.3f cores\n" "$NAME" "$median"
    '
  rm -rf "$home"
}

done='{"hasCompletedOnboarding":true}'
measure real_window.idle_default_stage_sheet "" ""
measure real_window.idle_default_stage "$done" ""
still='{"isEnabled":true,"overlayOpacity":0.35,"customURLString":"","animateKenBurns":false,"useVideo":false,"historyStack":[],"didFinishInitialSetup":true}'
measure real_window.idle_still_image "$done" "$still"
off='{"isEnabled":false,"overlayOpacity":0.35,"customURLString":"","animateKenBurns":true,"useVideo":false,"historyStack":[],"didFinishInitialSetup":true}'
measure real_window.idle_stage_off "$done" "$off"
