#!/usr/bin/env bash
# Runs every fuzz target of a built tree for a while on its seed corpus, a
# few at a time. New inputs go to a temporary folder, never into the tree; a
# target that breaks its property or crashes prints its log and the input.
# Usage: bash fuzz/run.sh <folder of the built targets> [seconds each] [at once]
set -uo pipefail
bin=$1; seconds=${2:-30}; jobs=${3:-$(nproc)}
corpus=$(cd "$(dirname "$0")" && pwd)/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_one() {
  local name=$1 bin=$2 seconds=$3 corpus=$4 work=$5
  mkdir -p "$work/$name/new" "$work/$name/found"
  if "$bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2560 -max_len=4096 \
       -artifact_prefix="$work/$name/found/" "$work/$name/new" "$corpus/$name" >"$work/$name/log" 2>&1; then
    echo "passed $name"
  else
    echo "FAILED $name"
  fi
}
export -f run_one

mapfile -t names < <(find "$bin" -maxdepth 1 -type f -executable -name 'fuzz_*' -printf '%f\n' | sort)
[ ${#names[@]} -gt 0 ] || { echo "no fuzz targets in $bin" >&2; exit 1; }
printf '%s\n' "${names[@]}" |
  xargs -P "$jobs" -I{} bash -c 'run_one "$@"' _ {} "$bin" "$seconds" "$corpus" "$work" | tee "$work/results"

failed=0
for name in "${names[@]}"; do
  if grep -qx "FAILED $name" "$work/results"; then
    failed=$((failed + 1))
    echo "---- $name"
    grep -v '^#\|^INFO\|^Done\|^MS:' "$work/$name/log" | tail -40
    for f in "$work/$name/found"/*; do
      [ -f "$f" ] && { echo "input $(basename "$f") (base64):"; base64 -w0 "$f"; echo; }
    done
  fi
done
echo "fuzz: $(( ${#names[@]} - failed )) passed, $failed failed"
[ "$failed" -eq 0 ]
