#!/usr/bin/env bash
# Fails when a file of the core or of the windows includes a header of a later layer, or of no
# layer at all that it may use, and when the core includes Qt. The order: platform, data, link,
# measure, probes, session, dialogs, ui (the Qt windows).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

rank() {
  case "$1" in
    platform) echo 0 ;;
    data) echo 1 ;;
    link) echo 2 ;;
    measure) echo 3 ;;
    probes) echo 4 ;;
    session) echo 5 ;;
    dialogs) echo 6 ;;
    ui) echo 7 ;;
    *) echo 99 ;;
  esac
}

status=0
check() {  # check FILE LAYER
  local file=$1 own
  own=$(rank "$2")
  while IFS= read -r line; do
    local included=${line#*\"}
    included=${included%%\"*}
    local folder=${included%%/*}
    # Same-folder includes without a folder name, and the generated text table.
    [ "$folder" = "$included" ] && continue
    local theirs
    theirs=$(rank "$folder")
    if [ "$theirs" -gt "$own" ]; then
      echo "${file#"$top"/}: includes \"$included\" against the layer order" >&2
      status=1
    fi
  done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
  if [ "$2" != ui ] && grep -qE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
    echo "${file#"$top"/}: the core includes Qt" >&2
    status=1
  fi
}

while IFS= read -r file; do
  relative=${file#"$top"/core/}
  check "$file" "${relative%%/*}"
done < <(find "$top/core" -name '*.h' -o -name '*.cpp' | sort)
while IFS= read -r file; do
  check "$file" platform
done < <(find "$top/platform" -name '*.h' -o -name '*.cpp' | sort)
while IFS= read -r file; do
  check "$file" ui
done < <(find "$top/ui" -name '*.h' -o -name '*.cpp' | sort)

[ "$status" -eq 0 ] && echo "layers: every include follows the order"
exit "$status"
