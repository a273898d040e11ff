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
newMode=$(printf '%o' $((0666 & ~$(umask))))
# A bank goes under a hidden temporary name of its own (made with O_EXCL), synced, and only then
# gets its name: a full disk or a stop halfway leaves no cut bank under the name, and what was
# copied is removed. replace: mend the bank under the name (one cut by an earlier install).
layDown() {  # bank file name, [replace]
  local bank="$bundle/Contents/Resources/$1" to="$data/Patches/$1" what="lay down $1 in $data/Patches" tmp keep=-n
  [[ -n ${2:-} ]] && keep=-f
  if [[ ! -f "$bank" ]]; then
    echo "install-data.sh: $bank is missing; the library goes without it" >&2
    return 0
  fi
  if ! tmp=$(mktemp "$data/Patches/.$1.install-XXXXXX" 2>&1); then
    echo "install-data.sh: could not $what: ${tmp##*: }" >&2
    status=1
    return 1
  fi
  if ! try "$what" cp "$bank" "$tmp" || ! try "$what" sync -- "$tmp" || ! try "$what" chmod "$newMode" "$tmp" ||
     ! try "$what" mv "$keep" -T "$tmp" "$to"; then
    rm -f "$tmp"
    return 1
  fi
  rm -f "$tmp"  # still there only when a file took the name meanwhile, which stays
}
# A bank an earlier install cut short (a full disk, a stop halfway) holds the first bytes of the
# bundle's copy and fewer of them: it is laid down again whole.
isCut() {  # bank file name
  local bank="$bundle/Contents/Resources/$1" to="$data/Patches/$1" size
  [[ -f "$bank" && -f "$to" && ! -L "$to" ]] || return 1
  size=$(stat -c %s "$to") || return 1
  (( size < $(stat -c %s "$bank") )) && cmp -s -n "$size" "$to" "$bank"
}
rm -f "$data/Patches/".*.syx.install-??????  # left by an install that was stopped
# A library laid down before the multi bank shipped has init sounds and no multi bank: it gets the
# init multis once (the mark, set once the bank landed, keeps a bank the user deleted deleted).
mark="$data/.Init Multis laid down"
if [[ -d "$data/Patches" && -z "$(ls -A "$data/Patches" 2>/dev/null)" ]]; then
  # With the init sounds refused the library stays empty, and the next run lays down both.
  layDown "Init Sounds.syx" && layDown "Init Multis.syx" && try "mark the init multis laid down" touch "$mark"
elif [[ ! -e "$mark" && -f "$data/Patches/Init Sounds.syx" && ! -e "$data/Patches/Init Multis.syx" ]]; then
  layDown "Init Multis.syx" && try "mark the init multis laid down" touch "$mark"
fi
for name in "Init Sounds.syx" "Init Multis.syx"; do
  if isCut "$name" && layDown "$name" replace && [[ $name == "Init Multis.syx" ]]; then
    try "mark the init multis laid down" touch "$mark"
  fi
done
exit $status
