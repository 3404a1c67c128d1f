#!/usr/bin/env bash
# The real moonshelf executable showing a looping 1080p video stage, idle,
# against ffmpeg decoding the same file and scaling it to the window's size
# at its real-time rate, measured in the same run, one after the other:
#   ffmpeg -re -stream_loop -1 -i FILE -vf scale=W:H -f null -
# Both are measured the same way: CPU from /proc/<pid>/stat over the same
# window of seconds after the same warm-up, resident memory sampled each
# second (the largest sample) and the peak the kernel recorded.
# The app's figures only count when the stage is really playing: its window
# is grabbed from the X server for two seconds afterwards and the distinct
# frames it showed are counted. A busy machine moves both figures: the two
# are measured in turn, rounds times, each round giving a ratio of its
# own; the median ratio is printed with the lowest and highest beside it,
# the median CPU figures, and the machine's load (the 1-minute average,
# median and highest of the rounds) so a figure from a busy machine shows
# as one. Memory is the largest of the rounds.
# Usage: video-stage.sh <moonshelf> [video] [seconds] [rounds]
#   without a video, a 1080p 30 fps H.264 clip of 8 s is made with ffmpeg.
# Runs its own X server (Xvfb -displayfd) and session bus. Prints
# "name value unit" lines.
set -euo pipefail
app="$(realpath "$1")"
video="${2:-}"
seconds="${3:-10}"
rounds="${4:-5}"
warmup=5
tick=$(getconf CLK_TCK)
page_kb=$(( $(getconf PAGESIZE) / 1024 ))
work="$(mktemp -d)"
xvfb_pid=""
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

if [ -z "$video" ]; then
  video="$work/clip.mp4"
  ffmpeg -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=30" -vf "noise=alls=8:allf=t" -t 8 \
    -c:v libx264 -crf 23 -pix_fmt yuv420p "$video"
fi
video="$(realpath "$video")"

# An X server of our own, on the display number in VIDEO_STAGE_DISPLAY
# (a shared machine hands each user one) or else one it picks.
exec 3<> "$work/display"
if [ -n "${VIDEO_STAGE_DISPLAY:-}" ]; then
  Xvfb ":$VIDEO_STAGE_DISPLAY" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$VIDEO_STAGE_DISPLAY" ] && break; sleep 0.05; done
  echo "$VIDEO_STAGE_DISPLAY" > "$work/display"
else
  Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
fi
display=":$(head -n1 "$work/display")"
[ "$display" != ":" ] || { echo "Xvfb did not start" >&2; exit 1; }

cpu_ticks() { # utime + stime of a process, in clock ticks
  local s; s="$(cut -d')' -f2- "/proc/$1/stat")"
  set -- $s
  echo $(( ${12} + ${13} ))
}
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }
hwm_kb() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }

# Sets cores, rss_mb (largest sample), peak_mb for pid over $seconds after $warmup.
measure() {
  local pid="$1"
  sleep "$warmup"
  kill -0 "$pid" 2>/dev/null || { echo "process $pid ended during warm-up" >&2; exit 1; }
  local t0 c0 t1 c1 most=0 r
  t0=$(date +%s.%N); c0=$(cpu_ticks "$pid")
  for _ in $(seq "$seconds"); do
    sleep 1
    r=$(rss_kb "$pid"); (( r > most )) && most=$r
  done
  t1=$(date +%s.%N); c1=$(cpu_ticks "$pid")
  cores=$(echo "($c1 - $c0) / $tick / ($t1 - $t0)" | bc -l)
  rss_mb=$(echo "$most / 1024" | bc -l)
  peak_mb=$(echo "$(hwm_kb "$pid") / 1024" | bc -l)
}

# The app, in a home of its own set to a looping video stage, past the first-run sheet.
home="$work/home"
support="$home/share/com.ovu.QirvMac"
mkdir -p "$home/run" "$support" && chmod 0700 "$home/run"
printf '%s' '{"hasCompletedOnboarding":true}' > "$support/settings.json"
cp "$video" "$support/wallpaper-video.mp4"
printf '{"isEnabled":true,"overlayOpacity":0.35,"customURLString":"","animateKenBurns":true,"useVideo":true,"videoFilePath":"%s","historyStack":[],"didFinishInitialSetup":true}' \
  "$support/wallpaper-video.mp4" > "$support/background.json"

export DISPLAY="$display"
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
largest() { printf '%s\n' "$@" | sort -g | tail -n1; }
app_cpus=() app_rsss=() app_peaks=() ref_cpus=() ref_rsss=() showns=() ratios=() loads=()
for round in $(seq "$rounds"); do
  dbus-run-session -- env HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/share" \
    XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache" QT_QPA_PLATFORM=xcb "$app" >/dev/null 2>&1 &
  session=$!
  app_pid=""
  for _ in $(seq 200); do
    app_pid="$(pgrep -P "$(pgrep -P "$session" | head -n1 || true)" -x moonshelf 2>/dev/null || true)"
    [ -z "$app_pid" ] && app_pid="$(pgrep -P "$session" -x moonshelf 2>/dev/null || true)"
    [ -n "$app_pid" ] && break
    sleep 0.05
  done
  [ -n "$app_pid" ] || { echo "moonshelf did not start" >&2; kill "$session"; exit 1; }
  wid="$(xdotool search --sync --onlyvisible --pid "$app_pid" | head -n1)"
  eval "$(xdotool getwindowgeometry --shell "$wid")" # WIDTH HEIGHT X Y
  measure "$app_pid"
  loads+=("$(cut -d' ' -f1 /proc/loadavg)")
  app_cpus+=("$cores") app_rsss+=("$rss_mb") app_peaks+=("$peak_mb")
  # What the window showed: distinct frames over 2 s, grabbed after the measurement.
  shown=$(ffmpeg -v error -f x11grab -framerate 30 -video_size "${WIDTH}x${HEIGHT}" -i "$display+$X,$Y" -t 2 \
    -f framemd5 - | grep -v '^#' | awk -F, '{print $6}' | sort -u | wc -l)
  showns+=("$(echo "$shown / 2" | bc -l)")
  kill "$app_pid"; wait "$session" 2>/dev/null || true

  # The reference: decode and scale to the same size, nothing shown.
  ffmpeg -nostdin -v error -re -stream_loop -1 -i "$video" -vf "scale=$WIDTH:$HEIGHT" -f null - &
  ref_pid=$!
  measure "$ref_pid"
  ref_cpus+=("$cores") ref_rsss+=("$rss_mb")
  kill "$ref_pid"; wait "$ref_pid" 2>/dev/null || true
  loads+=("$(cut -d' ' -f1 /proc/loadavg)")
  ratios+=("$(echo "${app_cpus[-1]} / ${ref_cpus[-1]}" | bc -l)")
done
app_cores=$(median "${app_cpus[@]}") ref_cores=$(median "${ref_cpus[@]}")
app_rss=$(largest "${app_rsss[@]}") app_peak=$(largest "${app_peaks[@]}") ref_rss=$(largest "${ref_rsss[@]}")
shown=$(median "${showns[@]}")

printf 'video_stage.window_pixels %dx%d px\n' "$WIDTH" "$HEIGHT"
printf 'video_stage.app_cpu %.3f cores\n' "$app_cores"
printf 'video_stage.ffmpeg_cpu %.3f cores\n' "$ref_cores"
printf 'video_stage.cpu_ratio %.2f x\n' "$(median "${ratios[@]}")"
printf 'video_stage.cpu_ratio_lowest_round %.2f x\n' "$(printf '%s\n' "${ratios[@]}" | sort -g | head -n1)"
printf 'video_stage.cpu_ratio_highest_round %.2f x\n' "$(largest "${ratios[@]}")"
printf 'video_stage.rounds %d count\n' "$rounds"
printf 'video_stage.load_median %.2f load\n' "$(median "${loads[@]}")"
printf 'video_stage.load_highest %.2f load\n' "$(largest "${loads[@]}")"
printf 'video_stage.app_rss %.0f MB\n' "$app_rss"
printf 'video_stage.app_rss_peak %.0f MB\n' "$app_peak"
printf 'video_stage.ffmpeg_rss %.0f MB\n' "$ref_rss"
printf 'video_stage.app_frames_shown %.1f per_s\n' "$shown"
