#!/usr/bin/env bash
# Installs the launcher entry and the icons of Moonshelf into the user's data
# folder (~/.local/share by default), pointing at the given executable.
set -euo pipefail
cd "$(dirname "$0")/.."

exec_path="$(realpath "${1:?usage: install-desktop-entry.sh <path of moonshelf>}")"
data_home="${XDG_DATA_HOME:-$HOME/.local/share}"

for size in 16 24 32 48 64 128 256 512; do
  dir="$data_home/icons/hicolor/${size}x${size}/apps"
  mkdir -p "$dir"
  install -m 0644 "resources/AppIcon-${size}.png" "$dir/moonshelf.png"
done

mkdir -p "$data_home/applications"
# The path is quoted by the Exec key's rules (a backslash, quote, backquote
# or dollar escaped inside double quotes, "%" doubled), then by the rules of
# a desktop-entry string (each backslash doubled).
quoted="$(printf '%s' "$exec_path" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g' -e 's/\\/\\\\/g')"
Q="\"$quoted\"" awk '{
  i = index($0, "@MOONSHELF_EXEC@")
  if (i) $0 = substr($0, 1, i - 1) ENVIRON["Q"] substr($0, i + 16)
  print
}' resources/desktop/moonshelf.desktop.in > "$data_home/applications/moonshelf.desktop.tmp"
chmod 0644 "$data_home/applications/moonshelf.desktop.tmp"
mv -f "$data_home/applications/moonshelf.desktop.tmp" "$data_home/applications/moonshelf.desktop"

# Refresh the caches where the tools are there; a missing tool is no failure.
command -v update-desktop-database >/dev/null && update-desktop-database -q "$data_home/applications" || true
command -v gtk-update-icon-cache >/dev/null && gtk-update-icon-cache -q -t "$data_home/icons/hicolor" || true
