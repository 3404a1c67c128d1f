# Sourced by the Xvfb checks: a temporary HOME with no credentials (removed on
# exit), the XDG folders inside it, and the X platform. Sets $home.
home="$(mktemp -d)"
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/run" && chmod 0700 "$home/run"
export HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/share" XDG_CONFIG_HOME="$home/config" \
       XDG_CACHE_HOME="$home/cache" QT_QPA_PLATFORM=xcb
unset OVU_API_KEY MOONSHELF_SYSTEM_FRAME || true
export SCALE="${MOONSHELF_TEST_TIME_SCALE:-1}"
