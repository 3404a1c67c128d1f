#!/usr/bin/env bash
# Installs what is missing, builds everything (app, tests, benchmarks) and runs every test.
#   bash scripts/test.sh                      the normal tree, build/
#   bash scripts/test.sh --sanitize [REGEX [EXCLUDE]]
#                                             a tree of its own, build-sanitize/, with the address,
#                                             undefined-behaviour and leak sanitizers; builds and runs
#                                             the tests whose names match REGEX (all by default) and
#                                             not EXCLUDE
#   bash scripts/test.sh --fuzz [SECONDS]     the fuzz targets, built with clang in build-fuzz/, each
#                                             run for SECONDS (30) on its seed corpus in fuzz/corpus/
# A compiler warning fails each build; MOONSHELF_WERROR=OFF lets warnings through.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=normal
case "${1:-}" in
  --sanitize) mode=sanitize; shift ;;
  --fuzz) mode=fuzz; shift ;;
  "") ;;
  *) echo "usage: $0 [--sanitize [REGEX [EXCLUDE]] | --fuzz [SECONDS]]" >&2; exit 2 ;;
esac
jobs=${MOONSHELF_JOBS:-$(nproc)}
werror=-DMOONSHELF_WERROR=${MOONSHELF_WERROR:-ON}

bash scripts/install-deps.sh

# The keyring tests talk to a real Secret Service on a private session bus,
# whose keyring file lies in a folder of this run's own: in the user's data
# folder it is shared with every other run on the machine.
keyrings=$(mktemp -d)
trap 'rm -rf "$keyrings"' EXIT
run_ctest() {
  QT_QPA_PLATFORM=offscreen KEYRINGS="$keyrings" dbus-run-session -- sh -c '
    printf pw | XDG_DATA_HOME="$KEYRINGS" gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1
    exec ctest "$@"
  ' ctest "$@"
}

case $mode in
normal)
  # No debug info: with it the 70 statically linked test programs fill several gigabytes.
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" "$werror"
  cmake --build build --parallel "$jobs"
  run_ctest --test-dir build --output-on-failure --parallel "$jobs"
  ;;

sanitize)
  regex=${1:-.}
  chosen=(-R "$regex")
  [ -z "${2:-}" ] || chosen+=(-E "$2")
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1" \
    -DMOONSHELF_SANITIZE=ON "$werror" >/dev/null
  # Only the programs the chosen tests run: a test is named after its program, and
  # a script's test names the built programs it starts.
  mapfile -t programs < <(
    { ctest --test-dir build-sanitize -N "${chosen[@]}" | sed -n 's/^ *Test *#[0-9]*: *//p'
      ctest --test-dir build-sanitize -N "${chosen[@]}" --show-only=json-v1 |
        grep -o "\"$PWD/build-sanitize/[^\"]*\"" | tr -d '"' | xargs -r -n1 basename; } | sort -u |
    while read -r t; do ninja -C build-sanitize -t query "$t" >/dev/null 2>&1 && echo "$t"; done)
  [ ${#programs[@]} -gt 0 ] || { echo "no test program matches $regex" >&2; exit 1; }
  cmake --build build-sanitize --parallel "$jobs" --target "${programs[@]}"
  supp=$PWD/tests/sanitize
  # Stacks unwound whole at each allocation: the fast unwinder stops at the first
  # library built without frame pointers (GLib, GStreamer), so a leak report
  # would neither show who called in nor be told apart from the libraries' own.
  # No watch on __tls_get_addr: GCC 12's runtime then takes a dynamic TLS block
  # that starts 16 bytes into a page for one of glibc 2.19's, reads its bounds
  # from the 16 bytes before it (glibc 2.36 puts none there, so they are
  # garbage), and the leak checker's tracer faults scanning them, after the
  # test has passed (test_stage_background_state: a block at 0x602000003010,
  # "DTLS" bounds 0x1695-0x800002797). Without the watch the blocks are still
  # scanned, as heap blocks that the thread's TLS reaches through glibc's own
  # table, so no leak can hide.
  export ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1:fast_unwind_on_malloc=0:intercept_tls_get_addr=0"
  export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  run_ctest --test-dir build-sanitize --output-on-failure --parallel "$jobs" "${chosen[@]}"
  ;;

fuzz)
  seconds=${1:-30}
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1" \
    -DCMAKE_CXX_COMPILER=clang++-14 -DMOONSHELF_FUZZ=ON "$werror" >/dev/null
  cmake --build build-fuzz --parallel "$jobs" --target moonshelf_fuzz
  bash fuzz/run.sh build-fuzz/fuzz "$seconds" "$jobs"
  ;;
esac
