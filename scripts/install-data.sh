#!/usr/bin/env bash
# Lays down the editor's data folder as an installer would, the first time only:
#   - the default settings file (colour scheme, size, first-run notice, MIDI out, MIDI in): the
#     editor reads it and only ever rewrites it;
#   - the "Patches" folder, and in it, while it holds nothing, the bank of 100 init sounds and the
#     bank of 100 init multis that ship in the bundle, so that a first session has a bank to
#     receive sounds into and one to receive multis into, and can save both; a library laid down
#     before the multi bank shipped gets the multi bank once.
# Nothing that is there already is touched.
#   bash scripts/install-data.sh [BUNDLE]     (default: build/Sorvanta.component)
set -euo pipefail
cd "$(dirname "$0")/.."
bundle="${1:-build/Sorvanta.component}"
data="${XDG_DATA_HOME:-$HOME/.local/share}/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor"
mkdir -p "$data/Patches"
[[ -f "$data/Sorvanta Editor UI.txt" ]] || printf 'yellow\nnormal\nno\n\n\n' > "$data/Sorvanta Editor UI.txt"
layDown() {  # bank file name
  local bank="$bundle/Contents/Resources/$1"
  if [[ -f "$bank" ]]; then
    cp "$bank" "$data/Patches/"
  else
    echo "install-data.sh: $bank is missing; the library goes without it" >&2
  fi
}
# A library laid down before the multi bank shipped has init sounds and no multi bank: it gets the
# init multis once (the mark keeps a bank the user deleted deleted).
mark="$data/.Init Multis laid down"
if [[ -z "$(ls -A "$data/Patches")" ]]; then
  layDown "Init Sounds.syx"
  layDown "Init Multis.syx"
  touch "$mark"
elif [[ ! -e "$mark" && -f "$data/Patches/Init Sounds.syx" && ! -e "$data/Patches/Init Multis.syx" ]]; then
  layDown "Init Multis.syx"
  touch "$mark"
fi
