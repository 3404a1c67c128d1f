#!/usr/bin/env bash
# Fails when a source file includes a header of a layer its folder may not use.
# The map mirrors the levels written down in the root CMakeLists.txt; the
# agent's, the chat pane's and the glass's subfolders have maps of their own
# (agent_allowed, chat_allowed, glass_allowed). It also fails a circle of
# includes between files.
set -u
src=${1:-$(dirname "$0")/../../src}

allowed() {
  case $1 in
    platform) echo "platform" ;;
    model) echo "model platform" ;;
    agent | auth | stage) echo "$1 model platform" ;;
    dictation) echo "dictation platform" ;;
    app) echo "app agent auth dictation stage model platform" ;;
    glass) echo "glass stage model platform" ;;
    chat | panels | palette | settings) echo "$1 app glass stage model platform" ;;
    window) echo "window chat panels palette settings app glass agent auth dictation stage model platform" ;;
    *) echo "" ;;
  esac
}

# Inside src/agent: what each subfolder may include of the others. "." is the
# agent's own root (the runtime), which uses them all and which none may use.
agent_allowed() {
  case $1 in
    calls | files | stream) echo "$1" ;;
    guard | shell) echo "$1 calls" ;;
    tools) echo "tools calls files guard shell" ;;
    .) echo ". calls files stream guard shell tools" ;;
    *) echo "" ;;
  esac
}

bad=0
for dir in "$src"/*/; do
  layer=$(basename "$dir")
  ok=$(allowed "$layer")
  if [ -z "$ok" ]; then
    echo "unknown layer folder: $layer (add it to the map)"
    bad=1
    continue
  fi
  while IFS=: read -r file line used; do
    case " $ok " in
      *" $used "*) ;;
      *) echo "$file:$line: $layer may not include $used/"; bad=1 ;;
    esac
  done < <(grep -rnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z]+/' "$dir" \
             | sed -E 's/^([^:]+):([0-9]+):.*"([a-z]+)\/$/\1:\2:\3/')
done

# Inside src/chat: the Markdown view is the floor every other part builds on
# and uses none of them; the parts use no other part; "." is the pane at the
# root, which uses them all and which none may use.
chat_allowed() {
  case $1 in
    markdown) echo "markdown" ;;
    composer | tray | transcript | welcome) echo "$1 markdown" ;;
    .) echo ". markdown composer tray transcript welcome" ;;
    *) echo "" ;;
  esac
}

# Inside src/glass: the look (theme, style values, ink, symbols) is the floor;
# the painter builds on it; controls use the look alone; sheets, the marks and
# the stage's view build on those below them; nothing sits at the root.
glass_allowed() {
  case $1 in
    look) echo "look" ;;
    paint | controls) echo "$1 look" ;;
    marks) echo "marks paint look" ;;
    sheets) echo "sheets controls paint look" ;;
    stageview) echo "stageview sheets controls paint look" ;;
    .) echo "." ;;
    *) echo "" ;;
  esac
}

# check_parts LAYER MAP: each subfolder of src/LAYER (and its root's own files)
# against the map MAP.
check_parts() {
  local layer=$1 map=$2 dir part ok file line used target
  [ -d "$src/$layer" ] || return 0
  for dir in "$src/$layer" "$src/$layer"/*/; do
    [ -d "$dir" ] || continue
    part=.
    [ "$dir" = "$src/$layer" ] || part=$(basename "$dir")
    ok=$("$map" "$part")
    if [ -z "$ok" ]; then
      echo "unknown $layer folder: $part (add it to the map)"
      bad=1
      continue
    fi
    # The root's own files only; each subfolder is read whole.
    depth=()
    [ "$part" = . ] && depth=(-maxdepth 1)
    while IFS=: read -r file line used; do
      [ -n "$used" ] || used=.
      case " $ok " in
        *" $used "*) continue ;;
      esac
      target="$layer/$used/"
      [ "$used" != . ] || target="the $layer's root"
      echo "$file:$line: $layer/$part may not include $target"
      bad=1
    done < <(find "$dir" "${depth[@]}" -type f \( -name '*.h' -o -name '*.cpp' \) -print0 \
               | xargs -0 -r grep -HnoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"'"$layer"'/([a-z]+/)?' \
               | sed -E 's/^([^:]+):([0-9]+):.*"'"$layer"'\/([a-z]*)\/?$/\1:\2:\3/')
  done
}
check_parts agent agent_allowed
check_parts chat chat_allowed
check_parts glass glass_allowed

# No file reaches itself through includes, inside a folder as across them.
# A header and its source are one unit (chat/transcript/TurnFade): a unit
# that includes another's header uses it, and two units that use each other,
# directly or around a longer circle, are one tangle no folder map can see.
# tsort names the units of each circle it meets; the first in order leads.
while read -r circle; do
  echo "include circle: $circle"
  bad=1
done < <(cd "$src" && find . -type f \( -name '*.h' -o -name '*.cpp' \) -print0 \
           | xargs -0 -r grep -HoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+\.h"' \
           | sed -E 's#^\./##; s#^([^:]+)\.(h|cpp):.*"([^"]+)\.h"$#\1 \3#' \
           | awk '$1 != $2' | sort -u | tsort 2>&1 >/dev/null \
           | awk '
               function flush(  i, lead, line) {
                 if (n == 0) return
                 lead = 1
                 for (i = 2; i <= n; i++) if (unit[i] < unit[lead]) lead = i
                 line = unit[lead]
                 for (i = 1; i < n; i++) line = line " -> " unit[(lead - 1 + i) % n + 1]
                 print line " -> " unit[lead]
                 n = 0
               }
               /input contains a loop/ { flush(); next }
               { sub(/^tsort: /, ""); unit[++n] = $0 }
               END { flush() }')

# The layers below the views must not reach for Widgets.
for layer in platform model agent auth dictation stage app; do
  [ -d "$src/$layer" ] || continue
  if grep -rnE '#[[:space:]]*include[[:space:]]*<(QtWidgets/|QWidget|QApplication|QDialog|QFileDialog|QMessageBox|QLabel)' "$src/$layer"; then
    echo "$layer must not use Qt Widgets"
    bad=1
  fi
done

if [ $bad -eq 0 ]; then echo "layers: every include points down"; fi
exit $bad
