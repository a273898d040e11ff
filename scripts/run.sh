#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it in the stand-in host.
# Extra arguments go to the host (see build/platform/host/sorvanta-host --help), e.g.
#   bash scripts/run.sh --play --tempo 128
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
# Like an installer: the data folder's settings file, library folder and first bank, the first time.
bash scripts/install-data.sh build/Sorvanta.component

host=build/platform/host/sorvanta-host
bundle=build/Sorvanta.component
if [[ ! -x "$host" || ! -d "$bundle" ]]; then
  echo "run.sh: the build did not produce $host and $bundle" >&2
  exit 1
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "run.sh: no display; running the host without a window for 5 seconds"
  exec "$host" --headless --seconds 5 "$@" "$bundle"
fi
exec "$host" "$@" "$bundle"
