#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it in the stand-in host.
# Extra arguments go to the host (see build/platform/host/sorvanta-host --help), e.g.
#   bash scripts/run.sh --play --tempo 128
# Like a host with its project, the host keeps the editor's session in the data folder: saved on
# quit, restored at the next start. --no-session starts fresh and keeps nothing; --restore FILE
# starts from that project instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only what this command starts: the host and the bundle with its interface resources. Tests,
# benchmarks and review sheets are the test command's (scripts/test.sh). The build folder is
# configured once; after that ninja re-runs cmake itself when a CMakeLists.txt changes.
[[ -f build/build.ninja ]] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "${SORVANTA_BUILD_JOBS:-$(nproc)}" --target sorvanta-host sorvanta_editor_bundle_resources
# Like an installer: the data folder's settings file, library folder and first bank, the first time.
# What it could not do (a data folder that may not be written, say) does not stop the start: the
# host says it, in the window as on the terminal.
notes=()
while IFS= read -r line; do
  if [[ -n "$line" ]]; then notes+=(--note "$line"); fi
done < <(bash scripts/install-data.sh build/Sorvanta.component 2>&1 >/dev/null)

host=build/platform/host/sorvanta-host
bundle=build/Sorvanta.component
data="${XDG_DATA_HOME:-$HOME/.local/share}/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor"
session=(--session "$data/Sorvanta Editor Session.plist")
if [[ ! -x "$host" || ! -d "$bundle" ]]; then
  echo "run.sh: the build did not produce $host and $bundle" >&2
  exit 1
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run.sh: no display; running the host without a window for 5 seconds"
  exec "$host" --headless --seconds 5 "${session[@]}" "${notes[@]}" "$@" "$bundle"
fi
exec "$host" "${session[@]}" "${notes[@]}" "$@" "$bundle"
