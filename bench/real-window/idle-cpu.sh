#!/usr/bin/env bash
# The real moonshelf executable under Xvfb, idle: CPU per second of wall
# time read from /proc/<pid>/stat, for the default stage (over one whole
# 24 s leg of its drift, with the first-run sheet up and without it), a
# still image and a looping video (when ffmpeg is there).
# Usage: idle-cpu.sh <moonshelf>
# Prints "name value unit" lines.
set -euo pipefail
app="$(realpath "$1")"
tick=$(getconf CLK_TCK)

measure() { # name, seconds, settings json (or empty), background json (or empty), video (or empty)
  local name="$1" seconds="$2" settings="$3" background="$4" video="$5"
  local home; home="$(mktemp -d)"
  local support="$home/share/com.ovu.QirvMac"
  mkdir -p "$home/run" "$support" && chmod 0700 "$home/run"
  [ -n "$settings" ] && printf '%s' "$settings" > "$support/settings.json"
  [ -n "$background" ] && printf '%s' "${background//@SUPPORT@/$support}" > "$support/background.json"
  [ -n "$video" ] && cp "$video" "$support/wallpaper-video.mp4"
  HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/share" XDG_CONFIG_HOME="$home/config" \
  XDG_CACHE_HOME="$home/cache" QT_QPA_PLATFORM=xcb APP="$app" SECONDS_PER="$seconds" TICK="$tick" NAME="$name" \
    xvfb-run -a -s "-screen 0 1600x1000x24" bash -c '
      "$APP" >/dev/null 2>&1 &
      pid=$!
      sleep 4 # started, first frames painted, images decoded
      read -r -a a < <(cut -d")" -f2- /proc/$pid/stat)
      t0=$(date +%s.%N); c0=$(( a[11] + a[12] ))
      sleep "$SECONDS_PER"
      read -r -a b < <(cut -d")" -f2- /proc/$pid/stat)
      t1=$(date +%s.%N); c1=$(( b[11] + b[12] ))
      kill "$pid"; wait "$pid" 2>/dev/null || true
      printf "%s %.3f cores\n" "$NAME" "$(echo "($c1 - $c0) / $TICK / ($t1 - $t0)" | bc -l)"
    '
  rm -rf "$home"
}

done='{"hasCompletedOnboarding":true}'
measure real_window.idle_default_stage_sheet 24 "" "" ""
measure real_window.idle_default_stage 24 "$done" "" ""
still='{"isEnabled":true,"overlayOpacity":0.35,"customURLString":"","animateKenBurns":false,"useVideo":false,"historyStack":[],"didFinishInitialSetup":true}'
measure real_window.idle_still_image 8 "$done" "$still" ""
if command -v ffmpeg >/dev/null; then
  clip="$(mktemp -d)/clip.mp4"
  ffmpeg -v error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 -t 4 -pix_fmt yuv420p "$clip"
  video='{"isEnabled":true,"overlayOpacity":0.35,"customURLString":"","animateKenBurns":true,"useVideo":true,"videoFilePath":"@SUPPORT@/wallpaper-video.mp4","historyStack":[],"didFinishInitialSetup":true}'
  measure real_window.idle_video 8 "$done" "$video" "$clip"
  rm -rf "$(dirname "$clip")"
fi
