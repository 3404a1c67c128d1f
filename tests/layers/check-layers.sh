#!/usr/bin/env bash
# Fails when a source file includes a header of a layer its folder may not use.
# The map mirrors the levels written down in the root CMakeLists.txt.
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
