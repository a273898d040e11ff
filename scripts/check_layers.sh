#!/usr/bin/env bash
# Fails when a library includes a header of a library above it. The order, lowest first:
#   util, platform, winx, gfx, plugin, uiconfig, librarian, engine, editor
# A file may include headers of its own folder and of any folder below it. The host program in
# platform/host sits on platform only (it loads the plug-in as a module, never links it).
set -euo pipefail
cd "$(dirname "$0")/.."

layers=(util platform winx gfx plugin uiconfig librarian engine editor)
declare -A rank owner
for i in "${!layers[@]}"; do
  rank[${layers[$i]}]=$i
  for h in "${layers[$i]}"/*.h; do
    [[ -e "$h" ]] || continue
    owner[$(basename "$h")]=${layers[$i]}
  done
done
rank[platform/host]=${rank[platform]}
for h in platform/host/*.h; do owner[$(basename "$h")]=platform/host; done

bad=0
for dir in "${layers[@]}" platform/host; do
  for f in "$dir"/*.h "$dir"/*.cpp "$dir"/*.c; do
    [[ -e "$f" ]] || continue
    while IFS= read -r inc; do
      to=${owner[$inc]:-}
      [[ -z "$to" || "$to" == "$dir" ]] && continue
      if [[ "$dir" != platform/host && "$to" == platform/host ]] || (( ${rank[$to]} > ${rank[$dir]} )); then
        echo "check_layers: $f includes $inc from $to/, which sits above $dir/" >&2
        bad=1
      fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$f" | xargs -rn1 basename)
  done
done
((bad == 0)) && echo "check_layers: every include points down the layers"
exit $bad
