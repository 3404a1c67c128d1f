#!/usr/bin/env bash
# Fails when a text the app shows names a place, program or key of the other
# platform (Finder, Keychain, System Settings, Apple, the command key...):
# each must say what is true on Linux. Only quoted texts are read, not
# comments or names in code. The product name "Moonshelf Mac" stays; the
# shell tool's table may describe that platform's own commands.
set -u
root=${1:-$(dirname "$0")/../..}

terms='Finder|Keychain|Apple|macOS|OS X|\bMac\b|System Settings|System Preferences|Privacy & Security'
terms+='|Spotlight|\bDock\b|Launchpad|iCloud|Safari|Touch ID|App Store|Activity Monitor|Application Support'
terms+='|~/Library|Terminal\.app|Silicon|Cmd\+|Command key|Option key|Option-click|Control-click'
terms+='|Launch daemon|launchd|Full Disk Access|Screen Recording'
terms+='|⌘|⌥|⌃|\\u2318|\\u2325|\\u2303'
# Rows of the shell tool's table that name that platform's own commands.
other_commands='Row\{u"(osascript|osacompile|tell application|tccutil|open -[ab] |automator|shortcuts |screencapture|mdfind |system_profiler|pmset |defaults write|security |diskutil|launchctl)'

bad=0
while IFS= read -r hit; do
  file=${hit%%:*}
  rest=${hit#*:}
  line=${rest#*:}
  [[ $line =~ $other_commands ]] && continue
  # Every quoted text on the line, without the product's name.
  texts=$(grep -oP '"(?:[^"\\]|\\.)*"' <<<"$line" | sed 's/Moonshelf Mac//g')
  if grep -qP "$terms" <<<"$texts"; then
    echo "$file:${rest%%:*}: $(grep -oP "$terms" <<<"$texts" | head -1) in: $(tr '\n' ' ' <<<"$texts")"
    bad=1
  fi
done < <(grep -rnP "$terms" "$root/src" "$root/resources" --include='*.cpp' --include='*.h' --include='*.json' \
           --include='*.in' | grep -vP '^[^:]*:[0-9]*:\s*(//|#\s*include)')

# The desktop entry's texts are not quoted.
if grep -nP "^(Name|GenericName|Comment)=.*($terms)" "$root/resources/desktop/moonshelf.desktop.in" | grep -v '=Moonshelf Mac$'; then
  bad=1
fi

if [ $bad -eq 0 ]; then echo "texts: none names the other platform"; fi
exit $bad
