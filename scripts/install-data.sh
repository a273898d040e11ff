#!/usr/bin/env bash
# Lays down the editor's data folder as an installer would, the first time only:
#   - the default settings file (colour scheme, size, first-run notice, MIDI out, MIDI in): the
#     editor reads it and only ever rewrites it;
#   - the "Patches" folder, and in it, while it holds nothing, the bank of 100 init sounds and the
#     bank of 100 init multis that ship in the bundle, so that a first session has a bank to
#     receive sounds into and one to receive multis into, and can save both; a library laid down
#     before the multi bank shipped gets the multi bank once.
# Nothing that is there already is touched. What cannot be done (a folder that may not be written,
# a read-only or full disk, a file where a folder belongs) is said on standard error, one line
# each with the system's reason, and the rest is still done; the exit status is then 1.
#   bash scripts/install-data.sh [BUNDLE]     (default: build/Sorvanta.component)
set -uo pipefail
cd "$(dirname "$0")/.."
bundle="${1:-build/Sorvanta.component}"
data="${XDG_DATA_HOME:-$HOME/.local/share}/Audio/Presets/Harrowgate Sound Labs/Tamsell Sorvanta Editor"
status=0
try() {  # what could not be done, then the command that does it
  local what=$1 out
  shift
  out=$("$@" 2>&1) && return 0
  echo "install-data.sh: could not $what: ${out##*: }" >&2
  status=1
  return 1
}
try "make the library folder $data/Patches" mkdir -p "$data/Patches"
[[ -e "$data/Sorvanta Editor UI.txt" ]] ||
  try "write the settings file $data/Sorvanta Editor UI.txt" \
    bash -c 'set -C; printf "yellow\nnormal\nno\n\n\n" > "$1"' _ "$data/Sorvanta Editor UI.txt"
layDown() {  # bank file name
  local bank="$bundle/Contents/Resources/$1"
  if [[ -f "$bank" ]]; then
    try "lay down $1 in $data/Patches" cp -n "$bank" "$data/Patches/"
  else
    echo "install-data.sh: $bank is missing; the library goes without it" >&2
  fi
}
# A library laid down before the multi bank shipped has init sounds and no multi bank: it gets the
# init multis once (the mark keeps a bank the user deleted deleted).
mark="$data/.Init Multis laid down"
if [[ -d "$data/Patches" && -z "$(ls -A "$data/Patches" 2>/dev/null)" ]]; then
  layDown "Init Sounds.syx"
  layDown "Init Multis.syx"
  try "mark the init multis laid down" touch "$mark"
elif [[ ! -e "$mark" && -f "$data/Patches/Init Sounds.syx" && ! -e "$data/Patches/Init Multis.syx" ]]; then
  layDown "Init Multis.syx"
  try "mark the init multis laid down" touch "$mark"
fi
exit $status
