#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it in the stand-in host.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
host=build/platform/sorvanta-host
if [[ -x "$host" ]]; then
  exec "$host" "$@"
fi
echo "run.sh: built the libraries; the host program that opens the editor is not part of this build yet."
